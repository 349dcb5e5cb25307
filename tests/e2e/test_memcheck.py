"""The program under valgrind memcheck: a render of every page and a save,
without a leak or an invalid access."""

import shutil
import subprocess

from devkit import CGI, MODE_PAGES, TIMEOUT, DeviceTest, cgi_env

MEMCHECK = ["valgrind", "-q", "--error-exitcode=99", "--leak-check=full", "--show-leak-kinds=definite,indirect",
            "--errors-for-leak-kinds=definite,indirect"]
# A save that changes the data port: every store, the system.conf sync and the firewall reload child.
SAVE = b"todo=save&h_ServiceMode=4&next_page=s2n_service_mode_udp.htm&udp_port=4100&HostStartIp1=10.0.0.1&HostEndIp1=10.0.0.9"


class MemcheckTest(DeviceTest):
    def test_pages_and_save(self):
        if not shutil.which("valgrind"):
            self.skipTest("valgrind is not installed")
        runs = [(page, dict(QUERY_STRING="h_PortIndex=1&next_page=" + page), b"") for page in MODE_PAGES]
        runs.append(("save", dict(REQUEST_METHOD="POST", CONTENT_LENGTH=str(len(SAVE))), SAVE))
        for name, env, body in runs:
            with self.subTest(name):
                p = subprocess.run(MEMCHECK + [CGI], input=body, env=cgi_env(self.dev, **env), capture_output=True,
                                   timeout=4 * TIMEOUT)
                self.assertEqual(p.stderr.decode(), "")
                self.assertNotEqual(p.returncode, 99)
