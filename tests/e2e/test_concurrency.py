"""Many processes store whole-port versions into one device folder at once;
afterwards every record is one complete stored version and system.conf
holds every key exactly once."""

import os
import re
import subprocess
from concurrent.futures import ThreadPoolExecutor

from devkit import DEVKIT, PROBE, DeviceTest, command

WRITERS = 16
# Stores per writer; emulated and sanitized builds run fewer (each writer
# still overlaps the others many times).
ROUNDS = int(os.environ.get("S2N_E2E_ROUNDS", "20"))


def tool_version(port, v):
    """s2n-devkit set arguments writing version v of a port (all its fields)."""
    return [
        "ports.%d.port_mode=%d" % (port, v % 8),
        "ports.%d.net_enable=%d" % (port, v % 2),
        "ports.%d.idle_timeout=%d" % (port, v * 3),
        "ports.%d.net_addr.port=%d" % (port, 1000 + v),
        "ports.%d.net_addr.ip=%s" % (port, ip_of(v)),
        "ports.%d.link_cnt=%d" % (port, v % 4),
        "ports.%d.alive_check=%d" % (port, v * 7),
        "ports.%d.flags=%d" % (port, v),
        "ports.%d.encrypt_enable=%d" % (port, v & 1),
    ] + [
        "ports.%d.links.%d.ip=%s" % (port, k, ip_of(v + k)) for k in range(4)
    ] + [
        "ports.%d.host_cnt.%d=%d" % (port, k, v * 10 + k) for k in range(4)
    ] + [
        "ports.%d.rtuslave.%s=%d" % (port, f, v + i) for i, f in enumerate(
            ["server_port", "max_connect", "max_try", "rqstpause", "respwait", "connect_timeout"])
    ] + [
        "system_conf.serial.DataPort%d=%d" % (port, 1000 + v),
        "system_conf.writers.w%d=%d" % (v // 1000, v),
    ]


def ip_of(v):
    """The address the probe stores for v: its little-endian bytes."""
    return ".".join(str(v >> (8 * i) & 0xFF) for i in range(4))


def expected_port(v):
    return {
        "port_mode": v % 8, "net_enable": v % 2, "idle_timeout": v * 3,
        "net_addr": {"port": 1000 + v, "ip": ip_of(v)}, "link_cnt": v % 4,
        "links": [{"port": 0, "ip": ip_of(v + k)} for k in range(4)],
        "host_cnt": [v * 10 + k for k in range(4)], "alive_check": v * 7, "flags": v,
        "encrypt_enable": v & 1,
        "rtuslave": {"server_port": v, "max_connect": v + 1, "max_try": v + 2,
                     "rqstpause": v + 3, "respwait": v + 4, "connect_timeout": v + 5},
    }


class ConcurrencyTest(DeviceTest):
    def writer(self, w):
        """Writer w stores versions w*1000+r into port (w // 2) % 4; even
        writers go through s2n-devkit, odd ones through the library, so each
        port has writers of both kinds."""
        port = w // 2 % 4
        env = dict(os.environ, DEVKIT_ROOT=self.dev)
        done = []
        for r in range(ROUNDS):
            v = w * 1000 + r
            if w % 2 == 0:
                cmd = command(DEVKIT, "set", self.dev, *tool_version(port, v))
            else:
                cmd = command(PROBE, "save", str(port), str(v))
            p = subprocess.run(cmd, env=env, capture_output=True, timeout=60)
            if p.returncode != 0:
                return "writer %d round %d: %s" % (w, r, p.stderr.decode() or p.stdout.decode())
            done.append(v)
        return done

    def test_parallel_versions_never_mix(self):
        with ThreadPoolExecutor(WRITERS) as pool:
            results = list(pool.map(self.writer, range(WRITERS)))
        errors = [r for r in results if isinstance(r, str)]
        self.assertEqual(errors, [])
        stored = {v for r in results for v in r}

        state = self.show()
        for port, rec in enumerate(state["ports"]):
            with self.subTest(port=port):
                v = rec["flags"]
                self.assertIn(v, stored, "port %d holds a version nobody wrote" % port)
                self.assertEqual(v // 1000 // 2 % 4, port)
                want = expected_port(v)
                # The Modbus record is stored by a call of its own, so it is
                # one whole version, not necessarily the port record's.
                slave = want.pop("rtuslave")
                got = {k: rec[k] for k in want}
                self.assertEqual(got, want, "port %d mixes versions" % port)
                s = rec["rtuslave"]["server_port"]
                self.assertIn(s, stored)
                self.assertEqual(s // 1000 // 2 % 4, port)
                slave = expected_port(s)["rtuslave"]
                self.assertEqual(rec["rtuslave"], slave, "port %d Modbus record mixes versions" % port)
                self.assertEqual(rec["ctrl_addr"]["port"], 4101 + port)

        with open(os.path.join(self.dev, "var", "run", "system.conf")) as f:
            text = f.read()
        keys, section = [], None
        for line in text.splitlines():
            m = re.match(r"\[(.*)\]$", line)
            if m:
                section = m.group(1)
                self.assertNotIn(("[section]", section), keys, "section %s twice" % section)
                keys.append(("[section]", section))
            elif "=" in line:
                keys.append((section, line.split("=", 1)[0]))
        dups = {k for k in keys if keys.count(k) > 1}
        self.assertEqual(dups, set())
        writers = {k for s, k in keys if s == "writers"}
        self.assertEqual(writers, {"w%d" % w for w in range(0, WRITERS, 2)})
        for port in range(4):
            self.assertIn(("serial", "DataPort%d" % port), keys)
        self.assertFalse([n for n in os.listdir(self.dev) if n.endswith(".tmp")], "temporary files left")
