"""Modbus pages through the built CGI on a simulated device: a save of each
page stores that page's record, and the page shows it back in its fields."""

from devkit import DeviceTest

MASTER = {"idle_timeout": -7, "alive_check": 30, "host_addr": "plc-1.example", "host_port": 5020}
SLAVE = {"server_port": 5021, "max_connect": 4, "max_try": 3, "rqstpause": 50, "respwait": 200, "connect_timeout": 60}


class ModbusTest(DeviceTest):
    def test_each_page_stores_its_record(self):
        for kind, record in [("rtu_master", MASTER), ("rtu_slave", SLAVE), ("ascii_master", MASTER), ("ascii_slave", SLAVE)]:
            # Tags and show name the record "rtumaster" etc.; the slaves' idle timeout tag is connect_timeout.
            prefix = kind.replace("_", "")
            form = {"%s_%s" % (prefix, k.replace("connect_", "idle_")): str(v) for k, v in record.items()}
            query = "&".join("%s=%s" % field for field in form.items())
            r = self.request("todo=save&h_PortIndex=1&next_page=%s_mode.htm&%s" % (kind, query), post=True)
            self.assertEqual({name: r.field(name) for name in form}, form, kind)
            self.assertEqual(self.show()["ports"][1][prefix], record, kind)

    def test_masters_to_one_remote_port(self):
        """Port 4 a TCP client of a server on 502; port 3 then an RTU master to
        502, and port 4 an ASCII master to 502: remote ports, so both store."""
        self.set("ports.3.port_mode=1", "ports.3.net_addr.port=502")
        for port, kind, service in [(2, "rtumaster", 6), (3, "asciimaster", 8)]:
            page = kind.replace("master", "_master_mode.htm")
            r = self.request("todo=save&h_PortIndex=%d&h_ServiceMode=%d&next_page=%s&%s_host_port=502"
                             % (port, service, page, kind), post=True)
            self.assertIn('role="alert"><', r.body, kind)
        ports = self.show()["ports"]
        self.assertEqual([(p["port_mode"], p["mbus_mode"]) for p in ports[2:]], [(5, 5), (7, 7)])
        self.assertEqual((ports[2]["rtumaster"]["host_port"], ports[3]["asciimaster"]["host_port"]), (502, 502))
