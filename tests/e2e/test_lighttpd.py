"""The demo web server: lighttpd with the configuration scripts/serve
writes, on a free port of 127.0.0.1, serving the CGI against a device."""

import os
import shutil
import socket
import subprocess
import time
import urllib.error
import urllib.parse
import urllib.request

from devkit import CGI, EMULATOR, SOURCE_DIR, DeviceTest

LIGHTTPD = shutil.which("lighttpd") or ("/usr/sbin/lighttpd" if os.access("/usr/sbin/lighttpd", os.X_OK) else None)


def runner_env():
    """scripts/serve variables that run an emulated CGI: lighttpd starts the
    emulator (one program, no arguments) and passes its library root in the
    environment. None when the emulator words cannot be put that way."""
    if not EMULATOR:
        return {}
    program, rest = shutil.which(EMULATOR[0]), EMULATOR[1:]
    env = {"CGI_RUNNER": os.path.abspath(program)} if program else None
    if env is not None and rest[:1] == ["-L"] and len(rest) == 2:
        env["QEMU_LD_PREFIX"] = rest[1]
    elif rest:
        env = None
    return env


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class LighttpdTest(DeviceTest):
    def setUp(self):
        if not LIGHTTPD:
            self.skipTest("lighttpd is not installed (apt-get install lighttpd)")
        self.runner = runner_env()
        if self.runner is None:
            self.skipTest("lighttpd cannot start the CGI through S2N_EMULATOR=%r" % " ".join(EMULATOR))
        super().setUp()
        self.port = free_port()
        state = os.path.join(self.tmp, "lighttpd")
        conf = os.path.join(state, "lighttpd.conf")
        env = dict(os.environ, PORT=str(self.port), BUILD_DIR=os.path.dirname(CGI),
                   DEVICE=self.dev, STATE=state, **self.runner)
        for name in ("CGI_RUNNER", "QEMU_LD_PREFIX"):
            if name not in self.runner:
                env.pop(name, None)
        subprocess.run([os.path.join(SOURCE_DIR, "scripts", "serve"), "--config", conf],
                       env=env, check=True, timeout=30)
        with open(conf) as f:
            self.conf_text = f.read()
        self.server = subprocess.Popen([LIGHTTPD, "-D", "-f", conf], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.PIPE)
        self.addCleanup(self.stop)
        deadline = time.time() + 10
        while time.time() < deadline:
            if self.server.poll() is not None:
                self.fail("lighttpd ended: %s" % self.server.stderr.read().decode())
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return
            except OSError:
                time.sleep(0.05)
        self.fail("lighttpd did not start listening")

    def stop(self):
        self.server.terminate()
        try:
            self.server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.server.kill()
            self.server.wait()
        self.server.stderr.close()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def test_serves_pages(self):
        self.assertIn('server.bind          = "127.0.0.1"', self.conf_text)
        self.assertIn('cgi.assign = (".cgi" => "%s")' % self.runner.get("CGI_RUNNER", ""), self.conf_text)
        self.set("ports.1.port_mode=2")
        with urllib.request.urlopen(self.url("/cgi-bin/s2n_service_mode.cgi?h_PortIndex=1"), timeout=10) as r:
            self.assertEqual(r.status, 200)
            self.assertTrue(r.headers["Content-Type"].startswith("text/html"))
            body = r.read().decode()
        self.assertIn('name="next_page" value="s2n_service_mode_udp.htm"', body)
        self.assertIn('name="h_PortIndex" value="1"', body)

        # The root redirects to the program.
        with urllib.request.urlopen(self.url("/"), timeout=10) as r:
            self.assertIn('name="h_PortIndex" value="0"', r.read().decode())

        # A POST of the form, and a refused port giving the server error.
        data = urllib.parse.urlencode({"h_PortIndex": "3", "next_page": "rtu_master_mode.htm"}).encode()
        with urllib.request.urlopen(self.url("/cgi-bin/s2n_service_mode.cgi"), data=data, timeout=10) as r:
            self.assertIn('name="next_page" value="rtu_master_mode.htm"', r.read().decode())
        with self.assertRaises(urllib.error.HTTPError) as ctx:
            urllib.request.urlopen(self.url("/cgi-bin/s2n_service_mode.cgi?h_PortIndex=9"), timeout=10)
        self.assertEqual(ctx.exception.code, 500)
        ctx.exception.close()

        # Nothing else of the build tree is served.
        for path in ("/cgi-bin/CMakeCache.txt", "/cgi-bin/", "/device.bin"):
            with self.subTest(path):
                with self.assertRaises(urllib.error.HTTPError) as ctx:
                    urllib.request.urlopen(self.url(path), timeout=10)
                self.assertEqual(ctx.exception.code, 404)
                ctx.exception.close()
