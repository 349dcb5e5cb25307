"""The device store: s2n-devkit show/set round trips, bytes the program does
not own, and the library's own calls (port check, logs, status)."""

import os
import shlex

from devkit import DEVKIT, DeviceTest, command

PORTS_AT, PORT_SIZE, MBUS_AT = 80, 768, 3408  # device.bin: port records, then Modbus records
# PortInfo bytes the program owns: (offset, width).
OWNED = [(8, 4), (12, 4), (16, 4), (70, 6), (496, 4), (564, 16), (664, 4), (678, 6), (740, 4)]
OWNED_AT = {PORTS_AT + PORT_SIZE * p + off + i
            for p in range(4) for off, n in OWNED + [(502 + 16 * k, 6) for k in range(4)] for i in range(n)}
# Record bytes before the Modbus records that no program field covers.
UNOWNED = [i for i in range(16, MBUS_AT) if i not in OWNED_AT]

ROUND_TRIP = [
    # path, value given, value show reports (the parallel writers also round-trip most port fields)
    ("ports.2.idle_timeout", "-300", -300),
    ("ports.0.alive_check", "2147483647", 2147483647),
    ("ports.1.flags", "0x4000001", 0x4000001),
    ("ports.3.ctrl_addr.port", "65535", 65535),
    ("ports.3.ctrl_addr.ip", "10.0.0.255", "10.0.0.255"),
    ("ports.1.links.3.port", "502", 502),
    ("ports.1.host_cnt.3", "-1", -1),
    ("ports.0.encrypt_enable", "1", 1),
    ("ports.2.mbus_mode", "7", 7),
    ("ports.0.rtuslave.max_try", "0", 0),
    ("ports.2.asciislave.connect_timeout", "30", 30),
    ("ports.3.rtumaster.host_addr", "plc.example 1", "plc.example 1"),
    ("ports.3.rtumaster.host_port", "5020", 5020),
    ("ports.0.asciimaster.idle_timeout", "-2147483648", -2147483648),
    ("system_conf.serial.DataPort1", "4012", "4012"),
    ("system_conf.fresh.key.with.dots", "v=1 2", "v=1 2"),
    ("system_conf.serial.long", "L" * 515, "L" * 515),
]

REFUSED = [
    ("unknown top level", "device.name=x"),
    ("port index out of range", "ports.4.port_mode=1"),
    ("negative port index", "ports.-1.port_mode=1"),
    ("unknown field", "ports.0.speed=1"),
    ("field with extra level", "ports.0.port_mode.x=1"),
    ("not a number", "ports.0.port_mode=abc"),
    ("int32 overflow", "ports.0.idle_timeout=2147483648"),
    ("port above 65535", "ports.0.net_addr.port=65536"),
    ("short address", "ports.0.links.1.ip=10.0.0"),
    ("address octet above 255", "ports.0.net_addr.ip=1.2.3.256"),
    ("link index out of range", "ports.0.links.4.port=1"),
    ("encryption not 0/1", "ports.0.encrypt_enable=2"),
    ("host address too long", "ports.0.rtumaster.host_addr=" + "h" * 256),
    ("unknown Modbus field", "ports.0.rtuslave.host_port=1"),
    ("configuration key without section", "system_conf.DataPort1=1"),
    ("line break in a configuration value", "system_conf.serial.x=a\nb=c"),
    ("bracket in a section name", "system_conf.a]b.k=v"),
    ("configuration value too long", "system_conf.serial.x=" + "v" * 516),
    ("missing '='", "ports.0.port_mode"),
]


def lookup(state, path):
    parts = path.split(".")
    if parts[0] == "system_conf":
        return state["system_conf"][parts[1]][".".join(parts[2:])]
    for part in parts:
        state = state[int(part)] if isinstance(state, list) else state[part]
    return state


class StoreTest(DeviceTest):
    def test_round_trip_keeps_unowned_bytes(self):
        path = os.path.join(self.dev, "device.bin")
        with open(path, "rb") as f:
            image = bytearray(f.read())
        for i in UNOWNED:
            image[i] = (i * 7 + 3) & 0xFF
        for port in range(4):  # byte 0 of a port record is its index, which the library relies on
            image[PORTS_AT + PORT_SIZE * port] = port
        with open(path, "wb") as f:
            f.write(image)

        self.set(*["%s=%s" % (k, v) for k, v, _ in ROUND_TRIP])
        state = self.show()
        self.assertEqual([(k, lookup(state, k)) for k, _, _ in ROUND_TRIP], [(k, v) for k, _, v in ROUND_TRIP])
        # Fields not named keep their values.
        self.assertEqual((state["ports"][0]["net_addr"], state["system_conf"]["serial"]["DataPort0"]),
                         ({"port": 4001, "ip": "0.0.0.0"}, "4001"))

        for port in range(4):
            for query in ("todo=save&h_PortIndex=%d&h_ServiceMode=4&next_page=s2n_service_mode_udp.htm"
                          "&udp_port=4100&HostStartIp1=10.0.0.1&HostEndIp1=10.0.0.9&SendPort1=5000"
                          "&HostStartIp4=10.0.1.1&HostEndIp4=10.0.1.2&SendPort4=5004",
                          "todo=save&h_PortIndex=%d&next_page=rtu_slave_mode.htm"):
                r = self.request(query % port, post=True)
                self.assertEqual(r.exit, 0, r.stderr)
        with open(path, "rb") as f:
            after = f.read()
        self.assertEqual([i for i in UNOWNED if after[i] != image[i]], [], "bytes the program does not own")

    def test_refused_changes_store_nothing(self):
        self.set("ports.0.port_mode=3")
        before = self.snapshot()
        for desc, arg in REFUSED:
            with self.subTest(desc):
                # A good change beside the bad one is not stored either.
                p = self.devkit("set", self.dev, "ports.0.port_mode=1", arg, check=False)
                self.assertEqual(p.returncode, 2, p.stderr)
                self.assertTrue(p.stderr.strip(), "a refusal explains itself")
        self.assertNotEqual(self.devkit("init", self.dev, check=False).returncode, 0, "init over a device")
        self.assertEqual(self.snapshot(), before)

    def test_library_calls(self):
        self.set("ports.1.mbus_mode=4", "ports.1.rtuslave.server_port=502",
                 "ports.2.mbus_mode=7", "ports.2.asciimaster.host_port=5020",
                 # Records of modes a port does not run do not count.
                 "ports.3.mbus_mode=0", "ports.3.rtuslave.server_port=503",
                 "ports.0.mbus_mode=5", "ports.0.asciimaster.host_port=504", "ports.2.encrypt_enable=1")
        cases = [
            # description, probe operation, output line; all in one process
            ("data port of port 0 is in use", "check:4001", "1 0"),
            ("data port of port 3", "check:4004", "1 3"),
            ("RTU slave server port", "check:502", "1 1"),
            ("ASCII master host port", "check:5020", "1 2"),
            ("slave record of a TCP port", "check:503", "0 -1"),
            ("master record of another mode", "check:504", "0 -1"),
            ("control ports are not data ports", "check:4101", "0 -1"),
            ("zero is not set", "check:0", "0 -1"),
            ("free number", "check:8080", "0 -1"),
            ("clear a port", "clear:2", "0"),
            ("clear a port out of range", "clear:4", "-1"),
            ("address of lo", "ifaddr:lo", "0 127.0.0.1"),
            ("unknown interface", "ifaddr:nosuchif0", "1 0.0.0.0"),
            ("interface name too long", "ifaddr:" + "x" * 40, "1 0.0.0.0"),
            ("WAN interface", "wanif", "0 [lo]"),
            ("a WAN interface name longer than the buffer", "set:network:wan_ifname:eth0long", "set 0"),
            ("is refused", "wanif", "1 []"),
            # A port's encryption copy is found by the record's index byte; a
            # save stores only its own ports and keeps what others stored since.
            ("encryption of port 2", "ssl:2", "1"),
            ("encryption of port 1", "ssl:1", "0"),
            ("another process stores ports 0 and 3", "shell:%s >/dev/null" % shlex.join(command(
                DEVKIT, "set", self.dev, "ports.0.encrypt_enable=1", "ports.3.port_mode=5")), "0"),
            ("save of port 1 with encryption", "save:1:7", "saved"),
            ("save of port 2 without", "save:2:8", "saved"),
        ]
        got = self.probe(*[op for _, op, _ in cases])
        self.assertEqual([(desc, line) for (desc, _, _), line in zip(cases, got)] + got[len(cases):],
                         [(desc, line) for desc, _, line in cases])
        state = self.show()
        ports = state["ports"]
        self.assertEqual((state["logs"], [p["encrypt_enable"] for p in ports], ports[3]["port_mode"]),
                         ({"clear_conn": ["clearConn 2"], "firewall": []}, [1, 1, 0, 0], 5))

        rc, d, h, m, s = map(int, self.probe("uptime")[0].split())
        with open("/proc/uptime") as f:
            host = float(f.read().split()[0])
        self.assertTrue(rc == 0 and 0 <= h < 24 and 0 <= m < 60 and 0 <= s < 60, (rc, d, h, m, s))
        self.assertLessEqual(abs(d * 86400 + h * 3600 + m * 60 + s - host), 5)
