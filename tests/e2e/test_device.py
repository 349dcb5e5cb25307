"""The built CGI on a simulated device: saves running at once all keep what
they stored, system.conf follows them, and the firewall is reloaded. (The
form parser's hostile input: fuzz_form.)"""

import os
import re
import threading
import time
from concurrent.futures import ThreadPoolExecutor

from devkit import DeviceTest, cgi_env

RELOAD = ["fw_renewconf lo", "fw_reload ser2net_remote_man"]
# Rounds of saves at once; emulated and sanitized builds run fewer.
ROUNDS = int(os.environ.get("S2N_E2E_ROUNDS", "20"))


def version(r, port):
    """What round r saves on port, UDP in even rounds and a TCP server in odd
    ones: its form, and the port's mode and data port then."""
    mode, data_port = (2, 4) if r % 2 == 0 else (0, 2), 10000 + 100 * r + port
    field = "udp_port" if mode[0] == 2 else "tcp_server_port"
    return "h_ServiceMode=%d&%s=%d" % (mode[1], field, data_port), (mode[0], data_port)


class DeviceE2E(DeviceTest):
    def saves_at_once(self, r):
        """Round r: one save per port, started together behind a barrier."""
        barrier = threading.Barrier(4)

        def save(port):
            form, _ = version(r, port)
            body = ("todo=save&h_PortIndex=%d&%s" % (port, form)).encode()
            barrier.wait()
            return self.run_cgi(cgi_env(self.dev, REQUEST_METHOD="POST", CONTENT_LENGTH=str(len(body))), body)

        with ThreadPoolExecutor(4) as pool:
            for port, res in enumerate(pool.map(save, range(4))):
                shown = re.search(r'role="alert">([^<]*)<', res.body)
                self.assertEqual((res.exit, res.status, res.stderr, shown and shown.group(1)), (0, 200, "", ""),
                                 "round %d, port %d" % (r, port))

    def test_parallel_saves(self):
        """Round after round, four saves (one per port) run at once: each port
        then holds what its save of the round stored and system.conf names it;
        every save renews and reloads the firewall. (The record bytes the
        program does not own: request_tests and fuzz_request.)"""
        conf = os.path.join(self.dev, "var", "run", "system.conf")
        entry = re.compile(r"^(\w+Port)(\d)=(\d+)\n", re.M)
        for r in range(ROUNDS):
            self.saves_at_once(r)
            state = self.show()
            self.assertEqual([(p["port_mode"], p["net_addr"]["port"]) for p in state["ports"]],
                             [version(r, port)[1] for port in range(4)], "round %d" % r)
            with open(conf, newline="") as f:
                entries = {(name, int(port)): int(value) for name, port, value in entry.findall(f.read())}
            self.assertEqual(entries, {key: value for port, p in enumerate(state["ports"]) for key, value in (
                (("DataPort", port), p["net_addr"]["port"]), (("CtrlPort", port), p["ctrl_addr"]["port"]),
                (("ProtolPort", port), int(p["port_mode"] == 2)))}, "round %d" % r)
        self.assertEqual([n for n in os.listdir(self.dev) if n.endswith(".tmp")], [], "temporary files left")
        end = time.monotonic() + 10
        while (log := self.show()["logs"]["firewall"]).count(RELOAD[1]) < 4 * ROUNDS:
            self.assertLess(time.monotonic(), end, log)
            time.sleep(0.02)
        self.assertEqual(sorted(log), sorted(RELOAD * 4 * ROUNDS))
