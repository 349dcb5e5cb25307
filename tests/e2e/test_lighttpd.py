"""The demo web server: lighttpd with the configuration scripts/serve
writes, on a free port of 127.0.0.1, serving the CGI against a device."""

import os
import shutil
import signal
import socket
import subprocess
import time
import urllib.error
import urllib.request

from devkit import CGI, EMULATOR, SOURCE_DIR, DeviceTest

LIGHTTPD = shutil.which("lighttpd") or ("/usr/sbin/lighttpd" if os.access("/usr/sbin/lighttpd", os.X_OK) else None)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
        return True
    except OSError:
        return False


def start_lighttpd(test, conf, port):
    """Runs lighttpd on conf until test ends, once it listens on port."""
    server = subprocess.Popen([LIGHTTPD, "-D", "-f", conf], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    # Cleanups run last first: terminate, wait, and kill if it is still running.
    for step in (server.stderr.close, server.wait, server.kill, lambda: server.wait(10), server.terminate):
        test.addCleanup(step)
    deadline = time.time() + 10
    while not listening(port):
        if server.poll() is not None:
            test.fail("lighttpd ended: %s" % server.stderr.read().decode())
        test.assertLess(time.time(), deadline, "lighttpd did not start listening")
        time.sleep(0.05)


class LighttpdTest(DeviceTest):
    def setUp(self):
        if not LIGHTTPD:
            self.skipTest("lighttpd is not installed (apt-get install lighttpd)")
        # An emulated CGI runs through the emulator, one program without
        # arguments that gets its library root in the environment.
        runner, rest = {}, EMULATOR[1:]
        if EMULATOR:
            if not shutil.which(EMULATOR[0]) or rest and (len(rest) != 2 or rest[0] != "-L"):
                self.skipTest("lighttpd cannot start the CGI through S2N_EMULATOR=%r" % " ".join(EMULATOR))
            runner = dict({"CGI_RUNNER": os.path.abspath(shutil.which(EMULATOR[0]))},
                          **({"QEMU_LD_PREFIX": rest[1]} if rest else {}))
        super().setUp()
        self.port = free_port()
        conf = os.path.join(self.tmp, "lighttpd", "lighttpd.conf")
        env = {k: v for k, v in os.environ.items() if k not in ("CGI_RUNNER", "QEMU_LD_PREFIX")}
        env.update(runner, PORT=str(self.port), BUILD_DIR=os.path.dirname(CGI), DEVICE=self.dev,
                   STATE=os.path.dirname(conf))
        subprocess.run([os.path.join(SOURCE_DIR, "scripts", "serve"), "--config", conf], env=env, check=True,
                       timeout=30)
        with open(conf) as f:
            self.assertIn('server.bind          = "127.0.0.1"', f.read(), "the demo server is local only")
        # What reached the server, with the headers that tell another site's request.
        self.access_log = os.path.join(self.tmp, "access.log")
        with open(conf, "a") as f:
            f.write('server.modules += ("mod_accesslog")\naccesslog.filename = "%s"\n'
                    'accesslog.format = "%%m %%U%%q %%>s %%{Origin}i %%{Sec-Fetch-Site}i"\n' % self.access_log)
        start_lighttpd(self, conf, self.port)

    def test_serves_pages(self):
        # The form's saves: the browser tests; refused ports: the request tests.
        cases = [
            # description, path, POST body, status, fields the page shows
            ("the root leads to the program", "/", None, 200, ("0", "s2n_service_mode_tcpsrv.htm")),
            ("build files are not served", "/cgi-bin/CMakeCache.txt", None, 404, ()),
            ("no folder listing", "/cgi-bin/", None, 404, ()),
            ("device files are not served", "/device.bin", None, 404, ()),
        ]
        for desc, path, data, status, fields in cases:
            with self.subTest(desc):
                try:
                    with urllib.request.urlopen("http://127.0.0.1:%d%s" % (self.port, path), data, timeout=10) as r:
                        code, body = r.status, r.read().decode()
                        self.assertTrue(r.headers["Content-Type"].startswith("text/html"))
                except urllib.error.HTTPError as e:
                    with e:
                        code, body = e.code, ""
                self.assertEqual(code, status)
                for name, value in zip(("h_PortIndex", "next_page"), fields):
                    self.assertIn('name="%s" value="%s"' % (name, value), body)


def session_processes(sid):
    """Names of the live processes of session sid."""
    names = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % pid) as f:
                stat = f.read()
        except OSError:
            continue
        comm, rest = stat[stat.index("(") + 1:stat.rindex(")")], stat[stat.rindex(")") + 2:].split()
        if int(rest[3]) == sid and rest[0] != "Z":
            names.append(comm)
    return names


class ServeStopsTest(DeviceTest):
    """scripts/serve ends with its lighttpd and its trace display on SIGINT
    and SIGTERM, whether Ctrl-C reaches the foreground group or a signal
    reaches a script that another script started in the background (which
    begins with SIGINT ignored)."""

    def test_signal_stops_server_and_trace(self):
        if not LIGHTTPD:
            self.skipTest("lighttpd is not installed (apt-get install lighttpd)")
        cases = [
            # description, signal, to the whole process group, started with SIGINT ignored
            ("Ctrl-C in the foreground", signal.SIGINT, True, False),
            ("SIGTERM in the foreground", signal.SIGTERM, False, False),
            ("SIGINT in the background", signal.SIGINT, False, True),
            ("SIGTERM in the background", signal.SIGTERM, False, True),
        ]
        for desc, sig, group, background in cases:
            with self.subTest(desc):
                port = free_port()
                env = dict(os.environ, PORT=str(port), BUILD_DIR=os.path.dirname(CGI), DEVICE=self.dev,
                           STATE=os.path.join(self.tmp, "state-%d" % port))
                serve = subprocess.Popen(
                    [os.path.join(SOURCE_DIR, "scripts", "serve"), "--no-build"], env=env, start_new_session=True,
                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                    preexec_fn=(lambda: signal.signal(signal.SIGINT, signal.SIG_IGN)) if background else None)
                self.addCleanup(subprocess.run, ["kill", "-KILL", "--", "-%d" % serve.pid], capture_output=True)
                deadline = time.time() + 30
                while session_processes(serve.pid).count("lighttpd") != 1 or not listening(port):
                    if serve.poll() is not None:
                        self.fail("scripts/serve ended: " + serve.stderr.read().decode())
                    self.assertLess(time.time(), deadline, "the server did not start")
                    time.sleep(0.1)
                self.assertIn("tail", session_processes(serve.pid))
                (os.killpg if group else os.kill)(serve.pid, sig)
                self.assertEqual(serve.wait(30), 128 + sig)
                serve.stderr.close()
                self.assertEqual(session_processes(serve.pid), [])
                self.assertFalse(listening(port))
