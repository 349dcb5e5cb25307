"""Saves through the built CGI on a simulated device: the per-port entries of
the system configuration, the firewall reload and refused saves.

Binaries come from S2N_DEVKIT and S2N_CGI, or as the first two arguments:
    python3 test_save.py S2N_DEVKIT S2N_CGI [unittest options]
"""

import os
import sys
import time
import unittest

if __name__ == "__main__" and len(sys.argv) >= 3 and not sys.argv[1].startswith("-"):
    os.environ["S2N_DEVKIT"], os.environ["S2N_CGI"] = sys.argv[1], sys.argv[2]
    del sys.argv[1:3]

from devkit import DeviceTest  # noqa: E402  (reads the variables above)

RELOAD = "fw_reload ser2net_remote_man"


class SaveTest(DeviceTest):
    def snapshot(self):
        """Every file of the device folder, by relative path, with its bytes."""
        files = {}
        for base, _, names in os.walk(self.dev):
            for name in names:
                path = os.path.join(base, name)
                with open(path, "rb") as f:
                    files[os.path.relpath(path, self.dev)] = f.read()
        return files

    def firewall_log(self, want_reloads=1, timeout=5.0):
        """Firewall log lines, after waiting for the detached reload child."""
        path = os.path.join(self.dev, "log", "firewall.log")
        end = time.monotonic() + timeout
        while True:
            with open(path) as f:
                lines = f.read().splitlines()
            if lines.count(RELOAD) >= want_reloads or time.monotonic() >= end:
                return lines
            time.sleep(0.02)

    def test_changed_data_port_updates_the_file_and_reloads_once(self):
        # The record says 4010, the file still 4001: the save brings it in line.
        self.set("ports.0.net_addr.port=4010")
        r = self.request("todo=save&h_PortIndex=0&h_ServiceMode=2"
                         "&next_page=s2n_service_mode_tcpsrv.htm", post=True)
        self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
        serial = self.show()["system_conf"]["serial"]
        self.assertEqual(serial["DataPort0"], "4010")
        self.assertEqual(serial["CtrlPort0"], "4101")
        self.assertEqual(serial["ProtolPort0"], "0")
        # The other ports were in line already.
        self.assertEqual([serial["DataPort%d" % p] for p in (1, 2, 3)], ["4002", "4003", "4004"])
        # The configuration items went back unchanged.
        self.assertEqual(serial["s2n_remoteman"], "1")
        self.assertEqual(self.show()["system_conf"]["system"]["fw_version"], "devkit-1.0")

        lines = self.firewall_log()
        self.assertEqual(lines.count(RELOAD), 1, lines)
        renew = [l for l in lines if l.startswith("fw_renewconf")]
        self.assertEqual(len(renew), 1, lines)
        self.assertLess(lines.index(renew[0]), lines.index(RELOAD))
        # No second reload shows up later.
        time.sleep(0.2)
        self.assertEqual(self.firewall_log(want_reloads=0).count(RELOAD), 1)

    def test_save_without_change_touches_neither_store_nor_firewall(self):
        device = os.path.join(self.dev, "device.bin")
        before = os.stat(device)
        r = self.request("todo=save&h_PortIndex=1&h_ServiceMode=2"
                         "&next_page=s2n_service_mode_tcpsrv.htm", post=True)
        self.assertEqual(r.exit, 0, r.stderr)
        # The stored image was not rewritten: same file, same contents.
        self.assertEqual(os.stat(device).st_ino, before.st_ino)
        time.sleep(0.2)
        self.assertEqual(self.firewall_log(want_reloads=0), [])

    def test_modbus_save_checks_the_host_port(self):
        cases = [
            # desc, host port, stored
            ("free host port is stored", 5020, True),
            ("data port of port 2 is refused", 4002, False),
        ]
        for desc, host_port, stored in cases:
            with self.subTest(desc):
                self.devkit("init", "--force", self.dev)
                # A changed data port that a stored save would write to the file.
                self.set("ports.0.net_addr.port=4010",
                         "ports.0.rtumaster.host_port=%d" % host_port)
                before = self.snapshot()
                r = self.request("todo=save&h_PortIndex=0&next_page=rtu_master_mode.htm",
                                 post=True)
                self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
                if stored:
                    state = self.show()
                    self.assertEqual(state["ports"][0]["mbus_mode"], 5)
                    self.assertEqual(state["ports"][0]["net_enable"], 0)
                    self.assertEqual(state["system_conf"]["serial"]["DataPort0"], "4010")
                    self.assertEqual(self.firewall_log().count(RELOAD), 1)
                else:
                    time.sleep(0.2)
                    after = self.snapshot()
                    self.assertEqual(sorted(after), sorted(before))
                    changed = [name for name in before if before[name] != after[name]]
                    self.assertEqual(changed, [])


if __name__ == "__main__":
    unittest.main()
