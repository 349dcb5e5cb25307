"""A store that fails, made real in a private mount namespace: a read-only
device folder and a full disk leave the records and system.conf as they
were, with no temporary file left, and the library says why. A store that
fails while system.conf could be written is followed by nothing."""

import os
import shlex
import subprocess

from devkit import DEVKIT, DeviceTest, command

# Run before the writes; $D is the device folder, $S a scratch folder.
FAILURES = [
    ("read-only folder", 'mount --bind "$D" "$D" && mount -o remount,bind,ro "$D"'),
    ("full disk", 'cp -a "$D/." "$S" && mount -t tmpfs -o size=256k tmpfs "$D" && cp -a "$S/." "$D" && '
                  '{ cat /dev/zero >"$D/fill" 2>/dev/null; true; }'),
]
KEPT = ["device.bin", "var/run/system.conf"]
SAVE = "todo=save&h_ServiceMode=4&udp_port=4100&HostStartIp1=10.0.0.1&HostEndIp1=10.0.0.9"


class StoreFailureTest(DeviceTest):
    def test_failing_store_changes_nothing(self):
        if os.geteuid() != 0 or subprocess.run(["unshare", "-m", "mount", "-t", "tmpfs", "tmpfs", self.tmp],
                                               capture_output=True).returncode != 0:
            self.skipTest("needs root and a private mount namespace (unshare -m) to make the store fail")
        before = self.snapshot()
        # The page of the refused save says why.
        writes = "%s | grep -c 'save failed'" % shlex.join(command(DEVKIT, "request", self.dev, "--post", SAVE))
        for desc, setup in FAILURES:
            with self.subTest(desc):
                out, scratch = os.path.join(self.tmp, "out-" + desc), os.path.join(self.tmp, "scratch-" + desc)
                os.mkdir(scratch)
                script = '%s && { %s; }; rm -f "$D/fill"; cp -a "$D/." "$O"' % (setup, writes)
                p = subprocess.run(["unshare", "-m", "sh", "-c", script], capture_output=True, text=True,
                                   env=dict(os.environ, D=self.dev, S=scratch, O=out, DEVKIT_ROOT=self.dev))
                self.assertEqual((p.stdout, p.stderr), ("1\n", ""))
                after = self.snapshot(out)
                self.assertEqual({k: v for k, v in after.items() if k in KEPT or k.endswith(".tmp")},
                                 {k: before[k] for k in KEPT})

    def test_failed_store_is_followed_by_nothing(self):
        """The records cannot be replaced (a folder stands where the new file
        goes) while system.conf and the logs can be written: the save's new
        data port reaches neither system.conf nor the firewall."""
        os.mkdir(os.path.join(self.dev, "device.bin.tmp"))
        before = self.snapshot()
        r = self.request(SAVE, post=True)
        self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
        self.assertIn('role="alert">save failed<', r.body)
        self.assertEqual(self.snapshot(), before)
        self.assertEqual(self.show()["logs"]["firewall"], [])
