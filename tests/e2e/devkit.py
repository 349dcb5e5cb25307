"""Shared helpers of the end-to-end tests: a fresh device folder per test,
the s2n-devkit tool, raw CGI runs and the layout of the device image."""

import hashlib
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest

DEVKIT = os.environ.get("S2N_DEVKIT", "")
CGI = os.environ.get("S2N_CGI", "")
PROBE = os.environ.get("S2N_PROBE", "")
SOURCE_DIR = os.environ.get("S2N_SOURCE_DIR", os.path.abspath(os.path.join(__file__, "../../..")))
# Words that run a program built for another machine ("qemu-arm -L ..."); empty on the host.
EMULATOR = os.environ.get("S2N_EMULATOR", "").split()


def command(program, *args):
    """Argument list that runs one of the built programs (the tool, the CGI,
    the probe) on this machine."""
    return EMULATOR + [program, *args]

# Seconds one program run may take.
TIMEOUT = 60 if EMULATOR else 30

# Layout of device.bin (see platform/devkit/README.md).
HEADER = 16
PORTS_AT = 80
PORT_SIZE = 768
IMAGE_SIZE = 5920

# PortInfo bytes the program owns: (offset, width).
OWNED = [(8, 4), (12, 4), (16, 4), (68 + 2, 6), (496, 4), (564, 16), (664, 4), (676 + 2, 6), (740, 4)]
OWNED += [(500 + 16 * k + 2, 6) for k in range(4)]

MODE_PAGES = [
    "s2n_service_mode_tcpsrv.htm", "s2n_service_mode_tcpcli.htm",
    "s2n_service_mode_udp.htm", "s2n_service_mode_vcom.htm",
    "rtu_slave_mode.htm", "rtu_master_mode.htm",
    "ascii_slave_mode.htm", "ascii_master_mode.htm",
]


def cgi_env(root, **extra):
    """Environment of a CGI run as a web server would set it."""
    env = {
        "PATH": "/usr/bin:/bin",
        "GATEWAY_INTERFACE": "CGI/1.1",
        "SERVER_PROTOCOL": "HTTP/1.1",
        "SCRIPT_NAME": "/cgi-bin/s2n_service_mode.cgi",
        "REQUEST_METHOD": "GET",
        "QUERY_STRING": "",
    }
    if root is not None:
        env["DEVKIT_ROOT"] = root
    for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
        if name in os.environ:
            env[name] = os.environ[name]
    env.update({k: v for k, v in extra.items() if v is not None})
    for k in [k for k, v in extra.items() if v is None]:
        env.pop(k, None)
    return env


class Response:
    """A parsed CGI response."""

    def __init__(self, raw, exit_status, stderr):
        self.raw = raw
        self.exit = exit_status
        self.stderr = stderr
        head, sep, body = raw.partition(b"\n\n")
        self.headers = head.decode("latin-1").split("\n") if sep else []
        self.body = body.decode("utf-8", "replace")
        status = [h for h in self.headers if h.lower().startswith("status:")]
        self.status = int(status[0].split()[1]) if status else 200

    def field(self, name):
        """Value of the hidden or input field `name` on the page, or None."""
        m = re.search(r'name="%s" value="([^"]*)"' % re.escape(name), self.body)
        return m.group(1) if m else None

    def stored_mode(self):
        m = re.search(r'data-stored="([^"]*)"', self.body)
        return m.group(1) if m else None


class DeviceTest(unittest.TestCase):
    """Each test gets a fresh device folder, created by s2n-devkit init."""

    def setUp(self):
        for path, what in ((DEVKIT, "S2N_DEVKIT"), (CGI, "S2N_CGI")):
            if not path or not os.access(path, os.X_OK):
                self.fail("%s must name the built program (got %r)" % (what, path))
        self.tmp = tempfile.mkdtemp(prefix="s2n-e2e-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.dev = os.path.join(self.tmp, "device")
        self.devkit("init", self.dev)

    def devkit(self, *args, check=True):
        p = subprocess.run(command(DEVKIT, *args), capture_output=True, timeout=TIMEOUT)
        if check and p.returncode != 0:
            self.fail("s2n-devkit %s failed (%d): %s" % (" ".join(args), p.returncode, p.stderr.decode()))
        return p

    def show(self):
        return json.loads(self.devkit("show", self.dev).stdout)

    def set(self, *pairs):
        self.devkit("set", self.dev, *pairs)

    def request(self, query="", post=False):
        args = ["request", self.dev] + (["--post"] if post else []) + [query]
        p = self.devkit(*args, check=False)
        return Response(p.stdout, p.returncode, p.stderr.decode())

    def run_cgi(self, env, body=b""):
        p = subprocess.run(command(CGI), input=body, env=env, capture_output=True, timeout=TIMEOUT)
        return Response(p.stdout, p.returncode, p.stderr.decode())

    def probe(self, *args, root=None):
        env = dict(os.environ, DEVKIT_ROOT=root or self.dev)
        p = subprocess.run(command(PROBE, *args), env=env, capture_output=True, timeout=TIMEOUT, text=True)
        self.assertEqual(p.returncode, 0, "probe %s: %s" % (args, p.stderr))
        return p.stdout

    def folder_digest(self, root=None):
        """Digest of every file under the device folder (names and bytes)."""
        h = hashlib.sha256()
        root = root or self.dev
        for base, dirs, files in os.walk(root):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(base, name)
                h.update(os.path.relpath(path, root).encode())
                with open(path, "rb") as f:
                    h.update(f.read())
        return h.hexdigest()

    def image(self):
        with open(os.path.join(self.dev, "device.bin"), "rb") as f:
            return bytearray(f.read())

    def write_image(self, data):
        with open(os.path.join(self.dev, "device.bin"), "wb") as f:
            f.write(data)

    def own_www(self):
        """Replaces the linked templates by a private copy the test may edit."""
        www = os.path.join(self.dev, "www")
        os.unlink(www)
        shutil.copytree(os.path.join(SOURCE_DIR, "www"), www)
        return os.path.join(www, "en")


def owned_mask():
    """True for each PortInfo byte the program owns."""
    mask = [False] * PORT_SIZE
    for off, width in OWNED:
        for i in range(off, off + width):
            mask[i] = True
    return mask
