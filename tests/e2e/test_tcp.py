"""TCP client settings seen from the UDP page, and the encryption switch
through a refused and a stored save."""

from devkit import DeviceTest


class TcpTest(DeviceTest):
    def save(self, query):
        r = self.request("todo=save&" + query, post=True)
        self.assertEqual((r.exit, r.status), (0, 200), r.stderr)

    def test_client_link_is_udp_range_and_a_refused_save_keeps_encryption(self):
        # Link 1 and UDP range 1 are one stored address and port.
        self.save("h_ServiceMode=3&client_link_ip1=10.1.1.1&client_link_port1=5001")
        udp = self.request("next_page=s2n_service_mode_udp.htm")
        self.assertEqual((udp.field("HostStartIp1"), udp.field("SendPort1")), ("10.1.1.1", "5001"))
        # A reversed range leaves a message, so nothing of that save is stored.
        for end, encrypted in (("10.0.0.1", 0), ("10.0.0.20", 1)):
            self.save("h_ServiceMode=4&HostStartIp1=10.0.0.9&HostEndIp1=%s&h_EncryptionEnable=1" % end)
            self.assertEqual(self.show()["ports"][0]["encrypt_enable"], encrypted, end)
