"""The built CGI on a simulated device: requests the CGI library must parse
defensively show exactly the page of their port and store nothing; saves
running at once store whole versions and keep the bytes the program and the
system.conf entries it writes do not own, and reload the firewall."""

import os
import re
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
# Saves per writer; emulated and sanitized builds run fewer.
ROUNDS = int(os.environ.get("S2N_E2E_ROUNDS", "8"))


def version(v):
    """The UDP fields of version v: data port, first range and its count."""
    return 1000 + v, {"port": 20000 + v, "ip": "10.%d.%d.1" % (v // 256, v % 256)}, v % 200 + 1


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
    def save(self, query):
        r = self.request("todo=save&" + query, post=True)
        return None if (r.exit, r.status) == (0, 200) else "%s: %s" % (query, r.stderr)

    def writer(self, w):
        """Writer w saves UDP versions w*1000+r of port w // 2, each followed by
        a Modbus save; returns the failures."""
        failed = []
        for v in range(w * 1000, w * 1000 + ROUNDS):
            port, link, count = version(v)
            failed += [self.save("h_PortIndex=%d&h_ServiceMode=4&udp_port=%d&HostStartIp1=%s&HostEndIp1=%s&SendPort1=%d"
                                 % (w // 2, port, link["ip"], link["ip"][:-1] + str(count), link["port"])),
                       self.save("h_PortIndex=%d&next_page=rtu_slave_mode.htm" % (w // 2))]
        return [f for f in failed if f]

    def test_parallel_saves(self):
        """Two writers per port at once: each port ends as a whole version of
        its writers, the bytes the program does not own are kept, and so is
        every byte of system.conf (hand-edited lines too) but the per-port
        entries, each once; a save that changes one renews and reloads the
        firewall."""
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
        with ThreadPoolExecutor(8) as pool:
            self.assertEqual(sum(pool.map(self.writer, range(8)), []), [])
        with open(path, "rb") as f:
            after = f.read()
        self.assertEqual([i for i in UNOWNED if after[i] != image[i]], [], "bytes the program does not own")
        for port, rec in enumerate(self.show()["ports"]):
            with self.subTest(port=port):
                # A save stores all four records as it read them: a version of this
                # port's writers, or the first record when a save that read it before
                # they stored anything was the last to store.
                v = rec["net_addr"]["port"] - 1000
                if rec["port_mode"] == 0:
                    self.assertEqual((rec["net_addr"]["port"], rec["links"][0]["port"], rec["host_cnt"][0]),
                                     (4001 + port, 0, 0))
                    continue
                self.assertIn(v // 1000, (2 * port, 2 * port + 1))
                self.assertEqual((rec["port_mode"], rec["mbus_mode"]), (2, 4))
                self.assertEqual((rec["net_addr"]["port"], rec["links"][0], rec["host_cnt"][0]), version(v))
        entry = re.compile(r"^(\w+Port\d)=\d+\n", re.M)
        with open(conf, newline="") as f:
            conf_after = f.read()
        self.assertEqual((entry.sub("", conf_after), sorted(entry.findall(conf_after))),
                         (entry.sub("", conf_before), sorted(entry.findall(conf_before))))
        self.assertEqual([n for n in os.listdir(self.dev) if n.endswith(".tmp")], [], "temporary files left")
        end = time.monotonic() + 10
        while len(set(log := self.show()["logs"]["firewall"])) != 2 or log.count(RELOAD[0]) != log.count(RELOAD[1]):
            self.assertLess(time.monotonic(), end, log)
            time.sleep(0.02)
        self.assertEqual(set(log), set(RELOAD))

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
