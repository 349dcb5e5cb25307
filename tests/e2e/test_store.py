"""The device store: s2n-devkit show/set round trips, bytes the program does
not own, and the library's own calls (port check, logs, status)."""

import os

from devkit import HEADER, IMAGE_SIZE, PORT_SIZE, PORTS_AT, DeviceTest, owned_mask

# (path, value given, value show reports)
ROUND_TRIP = [
    ("ports.0.port_mode", "5", 5),
    ("ports.1.net_enable", "0", 0),
    ("ports.2.idle_timeout", "-300", -300),
    ("ports.3.link_cnt", "3", 3),
    ("ports.0.alive_check", "2147483647", 2147483647),
    ("ports.1.flags", "0x4000001", 0x4000001),
    ("ports.2.net_addr.port", "4010", 4010),
    ("ports.2.net_addr.ip", "192.168.1.10", "192.168.1.10"),
    ("ports.3.ctrl_addr.port", "65535", 65535),
    ("ports.3.ctrl_addr.ip", "10.0.0.255", "10.0.0.255"),
    ("ports.1.links.0.ip", "10.0.0.1", "10.0.0.1"),
    ("ports.1.links.3.port", "502", 502),
    ("ports.1.host_cnt.0", "5", 5),
    ("ports.1.host_cnt.3", "-1", -1),
    ("ports.0.encrypt_enable", "1", 1),
    ("ports.2.mbus_mode", "7", 7),
    ("ports.0.rtuslave.max_try", "0", 0),
    ("ports.1.rtuslave.server_port", "502", 502),
    ("ports.2.asciislave.connect_timeout", "30", 30),
    ("ports.3.rtumaster.host_addr", "plc.example 1", "plc.example 1"),
    ("ports.3.rtumaster.host_port", "5020", 5020),
    ("ports.0.asciimaster.idle_timeout", "-2147483648", -2147483648),
    ("ports.0.asciimaster.alive_check", "9", 9),
    ("system_conf.serial.DataPort1", "4012", "4012"),
    ("system_conf.fresh.key.with.dots", "v=1 2", "v=1 2"),
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
    ("missing '='", "ports.0.port_mode"),
]


def lookup(state, path):
    node = state
    parts = path.split(".")
    if parts[0] == "system_conf":
        return state["system_conf"][parts[1]][".".join(parts[2:])]
    for part in parts:
        node = node[int(part)] if isinstance(node, list) else node[part]
    return node


class StoreTest(DeviceTest):
    def poison(self):
        """Fills every byte the program does not own with a pattern, except
        byte 0 of each port record (the library's port index)."""
        img = self.image()
        mask = owned_mask()
        for i in range(HEADER, IMAGE_SIZE):
            rel = i - PORTS_AT
            if 0 <= rel < 4 * PORT_SIZE and (mask[rel % PORT_SIZE] or rel % PORT_SIZE == 0):
                continue
            if 3408 <= i < IMAGE_SIZE:   # Modbus records and encryption: fields, not padding
                continue
            img[i] = (i * 7 + 3) & 0xFF
        self.write_image(img)
        return img

    def assert_unowned_kept(self, before):
        after = self.image()
        mask = owned_mask()
        for i in range(HEADER, 3408):
            rel = i - PORTS_AT
            if 0 <= rel < 4 * PORT_SIZE and mask[rel % PORT_SIZE]:
                continue
            self.assertEqual(after[i], before[i], "byte %d of the image changed" % i)

    def test_round_trip_every_key_kind(self):
        before = self.poison()
        self.set(*["%s=%s" % (k, v) for k, v, _ in ROUND_TRIP])
        state = self.show()
        for path, _, shown in ROUND_TRIP:
            with self.subTest(path):
                self.assertEqual(lookup(state, path), shown)
        # Fields not named keep their values.
        self.assertEqual(state["ports"][0]["net_addr"], {"port": 4001, "ip": "0.0.0.0"})
        self.assertEqual(state["system_conf"]["serial"]["DataPort0"], "4001")
        self.assert_unowned_kept(before)

    def test_requests_keep_unowned_bytes(self):
        before = self.poison()
        for port in range(4):
            for query in ("h_PortIndex=%d" % port,
                          "todo=save&h_PortIndex=%d&h_ServiceMode=4&next_page=s2n_service_mode_udp.htm" % port,
                          "todo=save&h_PortIndex=%d&next_page=rtu_slave_mode.htm" % port):
                with self.subTest(query=query):
                    r = self.request(query, post=True)
                    self.assertEqual(r.exit, 0, r.stderr)
        self.assert_unowned_kept(before)

    def test_refused_changes_store_nothing(self):
        before = self.folder_digest()
        for desc, arg in REFUSED:
            with self.subTest(desc):
                # A good change beside the bad one is not stored either.
                p = self.devkit("set", self.dev, "ports.0.port_mode=3", arg, check=False)
                self.assertEqual(p.returncode, 2, p.stderr)
                self.assertTrue(p.stderr.strip(), "a refusal explains itself")
        self.assertEqual(self.folder_digest(), before)

    def test_init_refuses_existing_device(self):
        self.set("ports.0.port_mode=3")
        p = self.devkit("init", self.dev, check=False)
        self.assertNotEqual(p.returncode, 0)
        self.assertEqual(self.show()["ports"][0]["port_mode"], 3)
        self.devkit("init", "--force", self.dev)
        state = self.show()
        self.assertEqual([p["port_mode"] for p in state["ports"]], [0, 0, 0, 0])
        self.assertEqual([p["net_addr"]["port"] for p in state["ports"]], [4001, 4002, 4003, 4004])
        self.assertEqual(state["system_conf"]["network"], {"wan_ifname": "lo", "wan_conn_type": "dhcp"})

    def test_port_number_check(self):
        self.set("ports.1.mbus_mode=4", "ports.1.rtuslave.server_port=502",
                 "ports.2.mbus_mode=7", "ports.2.asciimaster.host_port=5020",
                 # Records of modes a port does not run do not count.
                 "ports.3.mbus_mode=0", "ports.3.rtuslave.server_port=503",
                 "ports.0.mbus_mode=5", "ports.0.asciimaster.host_port=504")
        cases = [
            ("data port of port 0", 4001, "1 0"),
            ("data port of port 3", 4004, "1 3"),
            ("RTU slave server port", 502, "1 1"),
            ("ASCII master host port", 5020, "1 2"),
            ("slave record of a TCP port", 503, "0 -1"),
            ("master record of another mode", 504, "0 -1"),
            ("control ports are not data ports", 4101, "0 -1"),
            ("zero is not set", 0, "0 -1"),
            ("free number", 8080, "0 -1"),
        ]
        for desc, num, expected in cases:
            with self.subTest(desc):
                self.assertEqual(self.probe("check", str(num)).strip(), expected)

    def test_logs_and_status(self):
        self.assertEqual(self.probe("clear", "2").strip(), "0")
        self.assertEqual(self.probe("clear", "4").strip(), "-1")
        self.assertEqual(self.probe("fw", "lo", "ser2net_remote_man").strip(), "0 0")
        logs = self.show()["logs"]
        self.assertEqual(logs["clear_conn"], ["clearConn 2"])
        self.assertEqual(logs["firewall"], ["fw_renewconf lo", "fw_reload ser2net_remote_man"])

        rc, d, h, m, s = map(int, self.probe("uptime").split())
        with open("/proc/uptime") as f:
            host = float(f.read().split()[0])
        self.assertEqual(rc, 0)
        self.assertTrue(0 <= h < 24 and 0 <= m < 60 and 0 <= s < 60)
        self.assertLessEqual(abs(d * 86400 + h * 3600 + m * 60 + s - host), 5)

        self.assertEqual(self.probe("ifaddr", "lo").strip(), "0 127.0.0.1")
        self.assertEqual(self.probe("ifaddr", "nosuchif0").split()[0], "1")
        self.assertEqual(self.probe("ifaddr", "x" * 40).split()[0], "1")
        self.assertEqual(self.probe("wanif").strip(), "0 [lo]")
        self.set("system_conf.network.wan_ifname=eth0long")
        self.assertEqual(self.probe("wanif").strip(), "1 []")

    def test_encryption_settings(self):
        self.set("ports.2.encrypt_enable=1")
        self.assertEqual([self.probe("ssl", str(p)).strip() for p in range(4)], ["0", "0", "1", "0"])
        # Stored through SaveNewConfig from the library's copy.
        self.probe("save", "1", "6")
        self.probe("save", "2", "7")
        state = self.show()
        self.assertEqual([p["encrypt_enable"] for p in state["ports"]], [0, 0, 1, 0])
        self.probe("save", "2", "8")
        self.assertEqual(self.show()["ports"][2]["encrypt_enable"], 0)

    def test_no_device(self):
        empty = os.path.join(self.tmp, "empty")
        os.mkdir(empty)
        self.assertEqual(self.probe("nodevice", root=empty).strip(), "1 null")
        self.assertEqual(self.probe("nodevice").strip(), "0 set")
