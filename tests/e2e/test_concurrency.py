"""Many processes store whole-port versions into one device folder at once;
afterwards every record is one complete stored version and system.conf
holds every key exactly once."""

import os
import subprocess
from concurrent.futures import ThreadPoolExecutor

from devkit import DEVKIT, PROBE, DeviceTest, command

WRITERS = 16
# Stores per writer; emulated and sanitized builds run fewer (each writer
# still overlaps the others many times).
ROUNDS = int(os.environ.get("S2N_E2E_ROUNDS", "20"))
SLAVE = ["server_port", "max_connect", "max_try", "rqstpause", "respwait", "connect_timeout"]


def ip_of(v):
    """The address the probe stores for v: its little-endian bytes."""
    return ".".join(str(v >> (8 * i) & 0xFF) for i in range(4))


def version(v):
    """The fields of version v of a port, as show reports them."""
    return {
        "port_mode": v % 8, "net_enable": v % 2, "idle_timeout": v * 3,
        "net_addr": {"port": 1000 + v, "ip": ip_of(v)}, "link_cnt": v % 4,
        "links": [{"port": 0, "ip": ip_of(v + k)} for k in range(4)],
        "host_cnt": [v * 10 + k for k in range(4)], "alive_check": v * 7, "flags": v,
        "encrypt_enable": v & 1, "rtuslave": dict(zip(SLAVE, range(v, v + 6))),
    }


def set_args(path, node):
    """s2n-devkit set arguments storing every value of node under path."""
    if not isinstance(node, (dict, list)):
        return ["%s=%s" % (path, node)]
    items = node.items() if isinstance(node, dict) else enumerate(node)
    return [arg for k, child in items for arg in set_args("%s.%s" % (path, k), child)]


class ConcurrencyTest(DeviceTest):
    def writer(self, w):
        """Writer w stores versions w*1000+r into port w // 2 % 4; even writers
        go through s2n-devkit, odd ones through the library, so each port has
        writers of both kinds. Returns the first failure, or None."""
        port = w // 2 % 4
        for r in range(ROUNDS):
            v = w * 1000 + r
            if w % 2:
                cmd = command(PROBE, "save:%d:%d" % (port, v))
            else:
                cmd = command(DEVKIT, "set", self.dev, *set_args("ports.%d" % port, version(v)),
                              "system_conf.serial.DataPort%d=%d" % (port, 1000 + v),
                              "system_conf.writers.w%d=%d" % (w, v))
            p = subprocess.run(cmd, env=dict(os.environ, DEVKIT_ROOT=self.dev), capture_output=True, timeout=60)
            if p.returncode != 0:
                return "writer %d round %d: %s" % (w, r, p.stderr.decode())
        return None

    def test_parallel_versions_never_mix(self):
        with ThreadPoolExecutor(WRITERS) as pool:
            self.assertEqual([e for e in pool.map(self.writer, range(WRITERS)) if e], [])
        for port, rec in enumerate(self.show()["ports"]):
            with self.subTest(port=port):
                # The Modbus record is stored by a call of its own: one whole
                # version, not necessarily the port record's.
                v, s = rec["flags"], rec["rtuslave"]["server_port"]
                self.assertEqual([(x // 1000 // 2 % 4, x // 1000 < WRITERS, x % 1000 < ROUNDS) for x in (v, s)],
                                 [(port, True, True)] * 2, "a version written to this port")
                want = dict(version(v), rtuslave=version(s)["rtuslave"],
                            ctrl_addr={"port": 4101 + port, "ip": "0.0.0.0"})
                self.assertEqual({k: rec[k] for k in want}, want, "port %d mixes versions" % port)

        entries, section = [], None
        with open(os.path.join(self.dev, "var", "run", "system.conf")) as f:
            for line in f.read().splitlines():
                if line.startswith("["):
                    section = line
                    entries.append(("section", line))
                elif "=" in line:
                    entries.append((section, line.split("=", 1)[0]))
        self.assertEqual([e for e in set(entries) if entries.count(e) > 1], [], "entries twice")
        self.assertEqual({k for s, k in entries if s == "[writers]"}, {"w%d" % w for w in range(0, WRITERS, 2)})
        self.assertLessEqual({("[serial]", "DataPort%d" % p) for p in range(4)}, set(entries))
        self.assertEqual([n for n in os.listdir(self.dev) if n.endswith(".tmp")], [], "temporary files left")
