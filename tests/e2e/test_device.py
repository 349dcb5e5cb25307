"""The built CGI on a simulated device: requests the CGI library must parse
defensively show exactly the page of their port and store nothing; saves
running at once all keep what they stored, system.conf follows them, the
bytes the program and the system.conf entries it writes do not own are
kept, and the firewall is reloaded."""

import os
import re
import threading
import time
from concurrent.futures import ThreadPoolExecutor

from devkit import DeviceTest, cgi_env

PORTS_AT, PORT_SIZE, MBUS_AT = 80, 768, 3408  # device.bin: port records, then Modbus records
# PortInfo bytes the program owns: (offset, width); byte 0 holds the port's
# index, which the library relies on.
OWNED = [(0, 1), (8, 4), (12, 4), (16, 4), (70, 6), (496, 4), (564, 16), (664, 4), (678, 6), (740, 4)]
OWNED_AT = {PORTS_AT + PORT_SIZE * p + off + i
            for p in range(4) for off, n in OWNED + [(502 + 16 * k, 6) for k in range(4)] for i in range(n)}
UNOWNED = [i for i in range(16, MBUS_AT) if i not in OWNED_AT]
RELOAD = ["fw_renewconf lo", "fw_reload ser2net_remote_man"]
# Rounds of saves at once; emulated and sanitized builds run fewer.
ROUNDS = int(os.environ.get("S2N_E2E_ROUNDS", "20"))


def version(r, port):
    """What round r saves on port, UDP in even rounds and a TCP server in odd
    ones: its form, and the port's mode and data port then."""
    mode, data_port = (2, 4) if r % 2 == 0 else (0, 2), 10000 + 100 * r + port
    field = "udp_port" if mode[0] == 2 else "tcp_server_port"
    return "h_ServiceMode=%d&%s=%d" % (mode[1], field, data_port), (mode[0], data_port)


def post(body, length=None):
    return {"REQUEST_METHOD": "POST", "CONTENT_TYPE": "application/x-www-form-urlencoded",
            "CONTENT_LENGTH": length or str(len(body))}, body


# Refused ports and page names are the program's own logic, checked against the fake.
REQUESTS = [
    # description, environment, body, port whose page shows
    ("body above the limit is an empty form", *post(b"h_PortIndex=2&p=" + b"x" * (70 * 1024)), 0),
    ("body shorter than its length", *post(b"h_PortIndex=3", length="500"), 3),
    ("more fields than kept: the first count",
     *post(b"h_PortIndex=1&" + b"&".join(b"f%d=%d" % (i, i) for i in range(5000))), 1),
    ("malformed escapes stay literal", {"QUERY_STRING": "h_PortIndex=1%&lang=%zz%4"}, b"", 1),
    ("NUL in a value drops the field", {"QUERY_STRING": "h_PortIndex=3&next_page=rtu_slave_mode.htm%00x"}, b"", 3),
]


class DeviceE2E(DeviceTest):
    def saves_at_once(self, r):
        """Round r: one save per port, started together behind a barrier."""
        barrier = threading.Barrier(4)

        def save(port):
            form, _ = version(r, port)
            env, body = post(("todo=save&h_PortIndex=%d&%s" % (port, form)).encode())
            barrier.wait()
            return self.run_cgi(cgi_env(self.dev, **env), body)

        with ThreadPoolExecutor(4) as pool:
            for port, res in enumerate(pool.map(save, range(4))):
                shown = re.search(r'role="alert">([^<]*)<', res.body)
                self.assertEqual((res.exit, res.status, res.stderr, shown and shown.group(1)), (0, 200, "", ""),
                                 "round %d, port %d" % (r, port))

    def test_parallel_saves(self):
        """Round after round, four saves (one per port) run at once: each port
        then holds what its save of the round stored and system.conf names it;
        the bytes the program does not own are kept, in the records and in
        system.conf (hand-edited lines too); every save renews and reloads
        the firewall."""
        path, conf = os.path.join(self.dev, "device.bin"), os.path.join(self.dev, "var", "run", "system.conf")
        with open(path, "r+b") as f:
            image = bytearray(f.read())
            for i in UNOWNED:
                image[i] = (i * 7 + 3) & 0xFF
            f.seek(0)
            f.write(image)
        with open(conf, "a", newline="") as f:
            f.write("; kept comment\n[extra]\nodd line without equals\nk = v \r\n")
        with open(conf, newline="") as f:
            conf_before = f.read()
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
        with open(path, "rb") as f:
            after = f.read()
        self.assertEqual([i for i in UNOWNED if after[i] != image[i]], [], "bytes the program does not own")
        with open(conf, newline="") as f:
            self.assertEqual(entry.sub("", f.read()), entry.sub("", conf_before))
        self.assertEqual([n for n in os.listdir(self.dev) if n.endswith(".tmp")], [], "temporary files left")
        end = time.monotonic() + 10
        while (log := self.show()["logs"]["firewall"]).count(RELOAD[1]) < 4 * ROUNDS:
            self.assertLess(time.monotonic(), end, log)
            time.sleep(0.02)
        self.assertEqual(sorted(log), sorted(RELOAD * 4 * ROUNDS))

    def test_hostile_requests(self):
        self.set(*["ports.%d.port_mode=%d" % pm for pm in enumerate([0, 2, 5, 3])])
        # The uptime ticks between requests: it is left out of the comparison.
        def page(r):
            return re.sub(r"(\d+ days?, )?\d{2,}:\d\d:\d\d", "uptime", r.body)
        pages = [page(self.run_cgi(cgi_env(self.dev, QUERY_STRING="h_PortIndex=%d" % p))) for p in range(4)]
        self.assertEqual([p.rstrip()[-7:] for p in pages], ["</html>"] * 4)
        before = self.snapshot()
        for desc, env, body, port in REQUESTS:
            with self.subTest(desc):
                r = self.run_cgi(cgi_env(self.dev, **env), body)
                self.assertEqual((r.exit, r.status, r.stderr, r.headers[0]),
                                 (0, 200, "", "Content-Type: text/html; charset=utf-8"))
                self.assertEqual(page(r), pages[port])
        self.assertEqual(self.snapshot(), before)

    def test_show_reads_back_what_is_stored(self):
        """show nests dotted field names (a numeric part makes an array), keeps
        system.conf's first entry of a key, gives a log one string per line,
        and stays valid JSON for stored bytes that are not UTF-8."""
        self.set("ports.1.links.0.ip=10.0.0.1", "ports.1.links.3.port=7", "ports.2.host_cnt.3=5",
                 'ports.0.rtumaster.host_addr=a"\\<', "ports.3.asciimaster.host_addr=" + os.fsdecode(b"a\xffb"))
        with open(os.path.join(self.dev, "var/run/system.conf"), "a") as f:
            f.write("[extra]\nkey=first\nkey=second\n[network]\nlate=1\n")
        with open(os.path.join(self.dev, "log/firewall.log"), "w") as f:
            f.write('one\n\nthree "q"\tx\n')
        shown = self.show()
        cases = [
            # description, path in the output, value (an object: its member names in order)
            ("element of a repeated field", ("ports", 1, "links", 0, "ip"), "10.0.0.1"),
            ("last repeat", ("ports", 1, "links", 3, "port"), 7),
            ("repeated plain field", ("ports", 2, "host_cnt"), [0, 0, 0, 5]),
            ("quote and backslash", ("ports", 0, "rtumaster", "host_addr"), 'a"\\<'),
            ("bytes that are not UTF-8", ("ports", 3, "asciimaster", "host_addr"), "a\ufffdb"),
            ("sections in file order", ("system_conf",), ["system", "serial", "network", "extra"]),
            ("first entry of a key", ("system_conf", "extra", "key"), "first"),
            ("a section named again adds to the first", ("system_conf", "network", "late"), "1"),
            ("one string per log line", ("logs", "firewall"), ["one", "", 'three "q"\tx']),
        ]
        for desc, path, value in cases:
            with self.subTest(desc):
                at = shown
                for step in path:
                    at = at[step]
                self.assertEqual(list(at) if isinstance(at, dict) else at, value)
