"""The encryption switch through the built CGI on a simulated device: a
refused save keeps it, a stored one sets it."""

from devkit import DeviceTest


class TcpTest(DeviceTest):
    def test_a_refused_save_keeps_encryption(self):
        # A reversed range leaves a message, so nothing of that save is stored.
        for end, encrypted in (("10.0.0.1", 0), ("10.0.0.20", 1)):
            r = self.request("todo=save&h_ServiceMode=4&HostStartIp1=10.0.0.9&HostEndIp1=%s&h_EncryptionEnable=1" % end,
                             post=True)
            self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
            self.assertEqual(self.show()["ports"][0]["encrypt_enable"], encrypted, end)
