"""Saves cut short and stores that fail, on the built CGI over the devkit:
strace stops the program at a step (no hook in the program) or makes a
rename fail. What a later save finds is whole: the Modbus mode code matches
port_mode, the records are the last save's, system.conf agrees with them and
the firewall was renewed and reloaded after the entries last changed."""

import os
import re
import shutil
import subprocess
import time

from devkit import CGI, EMULATOR, TIMEOUT, DeviceTest, Response, cgi_env

STRACE = shutil.which("strace")
RELOAD = ["fw_renewconf lo", "fw_reload ser2net_remote_man"]
RENAMES = "rename,renameat,renameat2"
FORKS = "clone,clone3,fork,vfork"

# Saves of port 0: the settings set before, the form, the renames the save
# makes (each store, each system.conf write) in order, and what port 0 holds
# then: port_mode, data port and, on the Modbus page, its record's two values.
CASES = [
    ("Modbus", ["ports.0.port_mode=2", "system_conf.serial.ProtolPort0=1"],
     "h_ServiceMode=5&next_page=rtu_slave_mode.htm&rtuslave_server_port=1502&rtuslave_max_try=9",
     ["mode code", "RTU slave record", "SaveNewConfig", "ProtolPort0", "items"], (4, 4001, 1502, 9)),
    ("UDP", [], "h_ServiceMode=4&next_page=s2n_service_mode_udp.htm&udp_port=5005",
     ["mode code", "SaveNewConfig", "DataPort0", "CtrlPort0", "ProtolPort0", "items"], (2, 5005, 0, 0)),
]
# A save of port 1 that changes no entry.
OTHER = "h_PortIndex=1&h_ServiceMode=2&next_page=s2n_service_mode_tcpsrv.htm&tcp_server_port=4002"


class InterruptedSaveTest(DeviceTest):
    def setUp(self):
        if not STRACE:
            self.skipTest("strace is not installed (apt-get install strace)")
        if EMULATOR:
            self.skipTest("strace would count the emulator's own calls")
        super().setUp()

    def save(self, form, calls=None, inject=None):
        """Posts a save of form to the CGI; under strace, inject
        ("signal=SIGKILL:when=2", "error=ENOSPC:when=3+") applies to calls."""
        body = ("todo=save&" + form).encode()
        env = cgi_env(self.dev, REQUEST_METHOD="POST", CONTENT_LENGTH=str(len(body)))
        trace = [STRACE, "-qq", "-o", "/dev/null", "-e", "trace=%s" % calls, "-e", "inject=%s:%s" % (calls, inject)]
        return Response(subprocess.run((trace if calls else []) + [CGI], input=body, env=env, capture_output=True,
                                       timeout=TIMEOUT))

    def assert_whole(self, what, held):
        """The mode codes match port_mode, system.conf agrees with the records,
        the firewall was reloaded after its last write, and ports 0 and 1 hold
        what was saved."""
        conf, fw_log = (os.path.join(self.dev, *p) for p in (("var", "run", "system.conf"), ("log", "firewall.log")))
        end = time.monotonic() + 30
        while not (os.path.exists(fw_log) and os.stat(fw_log).st_mtime_ns >= os.stat(conf).st_mtime_ns
                   and self.show()["logs"]["firewall"][-2:] == RELOAD):
            self.assertLess(time.monotonic(), end, "%s: no reload after the entries changed" % what)
            time.sleep(0.02)
        state = self.show()
        ports = state["ports"]
        self.assertEqual({k: int(v) for k, v in state["system_conf"]["serial"].items() if re.match(r"\w+Port\d$", k)},
                         {"%s%d" % (key, i): value for i, p in enumerate(ports) for key, value in (
                             ("DataPort", p["net_addr"]["port"]), ("CtrlPort", p["ctrl_addr"]["port"]),
                             ("ProtolPort", int(p["port_mode"] == 2)))}, what)
        self.assertEqual([p["mbus_mode"] for p in ports], [p["port_mode"] for p in ports], what)
        self.assertEqual((ports[0]["port_mode"], ports[0]["net_addr"]["port"], ports[0]["rtuslave"]["server_port"],
                          ports[0]["rtuslave"]["max_try"], ports[1]["port_mode"], ports[1]["net_addr"]["port"]),
                         held + (0, 4002), what)

    def test_kill_points(self):
        """Each save killed at each rename and at the reload hand-off: with
        SIGKILL it stops there, with SIGTERM it waits and finishes. Then the
        same save again and a save of port 1 leave everything whole."""
        for case, before, form, steps, held in CASES:
            points = [(RENAMES, i + 1, step) for i, step in enumerate(steps)] + [(FORKS, 1, "reload hand-off")]
            for signal, code in (("SIGKILL", -9), ("SIGTERM", -15)):
                for calls, when, step in points:
                    what = "%s save, %s at %s" % (case, signal, step)
                    with self.subTest(what):
                        self.setUp()
                        if before:
                            self.set(*before)
                        r = self.save("h_PortIndex=0&" + form, calls, "signal=%s:when=%d" % (signal, when))
                        self.assertEqual(r.exit, code, what + ": " + r.stderr)
                        if signal == "SIGTERM":  # it finished before the signal took effect
                            self.assert_whole(what + ", alone", held)
                        self.assertEqual([self.save(f).exit for f in ("h_PortIndex=0&" + form, OTHER)], [0, 0])
                        self.assert_whole(what, held)

    def test_failed_store_puts_back(self):
        """SaveNewConfig's rename fails (ENOSPC): the mode code and the Modbus
        record stored before it are put back, and the device folder (records,
        system.conf, logs) is byte for byte as it was. When every rename from
        there fails, the page says the settings may be partly stored."""
        for when, message in (("3", "save failed"), ("3+", "save failed: the settings may be partly stored")):
            with self.subTest(when=when):
                before = self.snapshot()
                r = self.save("h_PortIndex=0&" + CASES[0][2], RENAMES, "error=ENOSPC:when=" + when)
                self.assertIn('role="alert">%s<' % message, r.body)
                # Only a store undone whole is a refusal the page labels "Not saved:", one that marks no field.
                refusals = re.search(r'<template id="refusals">(.*?)</template>', r.body).group(1)
                self.assertEqual(re.findall(r"<p( data-save)?>%s</p>" % re.escape(message), refusals),
                                 [" data-save"] if when == "3" else [])
                self.assertEqual(self.snapshot() == before, when == "3")
                self.assertEqual(self.show()["logs"]["firewall"], [])
