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
    def firewall_log(self, reloads=1):
        """Firewall log lines, once `reloads` reloads are there (the reload runs
        in a detached child) or after a while; then no later line may follow."""
        end = time.monotonic() + 5
        while self.show()["logs"]["firewall"].count(RELOAD) < reloads and time.monotonic() < end:
            time.sleep(0.02)
        time.sleep(0.2)
        return self.show()["logs"]["firewall"]

    def save(self, query):
        r = self.request("todo=save&" + query, post=True)
        self.assertEqual((r.exit, r.status), (0, 200), r.stderr)

    def test_changed_data_port_updates_the_file_and_reloads_once(self):
        # The record says 4010, the file still 4001: the save brings it in line.
        self.set("ports.0.net_addr.port=4010")
        want = self.show()["system_conf"]
        want["serial"]["DataPort0"] = "4010"
        self.save("h_PortIndex=0&h_ServiceMode=2&next_page=s2n_service_mode_tcpsrv.htm")
        # Only port 0's data port changes; every other entry goes back as it was.
        self.assertEqual(self.show()["system_conf"], want)
        # The firewall takes the WAN interface's rules, then reloads once.
        self.assertEqual(self.firewall_log(), ["fw_renewconf lo", RELOAD])

    def test_save_without_change_touches_neither_store_nor_firewall(self):
        device = os.path.join(self.dev, "device.bin")
        # Held open, so a rewritten file cannot get the same inode number back.
        with open(device, "rb") as held:
            self.save("h_PortIndex=1&h_ServiceMode=2&next_page=s2n_service_mode_tcpsrv.htm")
            self.assertTrue(os.path.samestat(os.fstat(held.fileno()), os.stat(device)), "device.bin rewritten")
        self.assertEqual(self.firewall_log(reloads=0), [])

    def test_modbus_save_checks_the_host_port(self):
        cases = [
            # description, host port, stored
            ("free host port is stored", 5020, True),
            ("data port of port 2 is refused", 4002, False),
        ]
        for desc, host_port, stored in cases:
            with self.subTest(desc):
                self.devkit("init", "--force", self.dev)
                # A changed data port that a stored save would write to the file.
                self.set("ports.0.net_addr.port=4010", "ports.0.rtumaster.host_port=%d" % host_port)
                before = self.snapshot()
                self.save("h_PortIndex=0&next_page=rtu_master_mode.htm")
                if stored:
                    state = self.show()
                    self.assertEqual((state["ports"][0]["mbus_mode"], state["ports"][0]["net_enable"],
                                      state["system_conf"]["serial"]["DataPort0"]), (5, 0, "4010"))
                    self.assertEqual(self.firewall_log().count(RELOAD), 1)
                else:
                    time.sleep(0.2)
                    self.assertEqual(self.snapshot(), before)


if __name__ == "__main__":
    unittest.main()
