"""A store that fails while system.conf could be written is followed by
nothing, and the page says why. (A write that fails part way: the devkit's
store_tests.)"""

import os

from devkit import DeviceTest

SAVE = "todo=save&h_ServiceMode=4&udp_port=4100&HostStartIp1=10.0.0.1&HostEndIp1=10.0.0.9"


class StoreFailureTest(DeviceTest):
    def test_failed_store_is_followed_by_nothing(self):
        """The records cannot be replaced (a folder stands where the new file
        goes, refusing it as a read-only folder would) while system.conf and
        the logs can be written: the save's new data port reaches neither
        system.conf nor the firewall."""
        os.mkdir(os.path.join(self.dev, "device.bin.tmp"))
        before = self.snapshot()
        r = self.request(SAVE, post=True)
        self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
        self.assertIn('role="alert">save failed<', r.body)
        self.assertEqual(self.snapshot(), before)
        self.assertEqual(self.show()["logs"]["firewall"], [])
