"""Shared helpers of the end-to-end tests: a fresh device folder per test,
the s2n-devkit tool and raw CGI runs."""

import hashlib
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

DEVKIT = os.environ.get("S2N_DEVKIT", "")
CGI = os.environ.get("S2N_CGI", "")
SOURCE_DIR = os.environ.get("S2N_SOURCE_DIR", os.path.abspath(os.path.join(__file__, "../../..")))
# Words that run a program built for another machine ("qemu-arm -L ..."); empty on the host.
EMULATOR = os.environ.get("S2N_EMULATOR", "").split()
TIMEOUT = 60  # seconds one program run may take


def command(program, *args):
    """Argument list that runs one of the built programs on this machine."""
    return EMULATOR + [program, *args]


# The program's own tables, as s2n-introspect prints them: "fun_tab", "modes"
# and "limits", each a list of rows in the program's order.
FACTS = json.loads(subprocess.run(command(os.environ["S2N_INTROSPECT"]), capture_output=True, check=True,
                                  timeout=TIMEOUT).stdout)
MODE_PAGES = [mode["page"] for mode in FACTS["modes"]]


def cgi_env(root, **extra):
    """Environment of a CGI run as a web server sets it; None drops a variable."""
    env = {"PATH": "/usr/bin:/bin", "GATEWAY_INTERFACE": "CGI/1.1", "SERVER_PROTOCOL": "HTTP/1.1",
           "SCRIPT_NAME": "/cgi-bin/s2n_service_mode.cgi", "REQUEST_METHOD": "GET", "QUERY_STRING": "",
           "DEVKIT_ROOT": root}
    env.update({k: v for k, v in os.environ.items() if k.endswith("SAN_OPTIONS")})
    env.update(extra)
    return {k: v for k, v in env.items() if v is not None}


class Response:
    """A parsed CGI response."""

    def __init__(self, p):
        self.exit, self.stderr = p.returncode, p.stderr.decode()
        head, sep, body = p.stdout.partition(b"\n\n")
        self.headers = head.decode("latin-1").split("\n") if sep else []
        self.body = body.decode("utf-8", "replace")
        status = [h.split()[1] for h in self.headers if h.lower().startswith("status:")]
        self.status = int(status[0]) if status else 200

    def field(self, name):
        """Value of the form field `name` on the page, or None."""
        m = re.search(r'name="%s" value="([^"]*)"' % re.escape(name), self.body)
        return m.group(1) if m else None


class DeviceTest(unittest.TestCase):
    """Each test gets a fresh device folder, created by s2n-devkit init."""

    def setUp(self):
        self.assertTrue(os.access(DEVKIT, os.X_OK) and os.access(CGI, os.X_OK), "S2N_DEVKIT and S2N_CGI: programs")
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
        return Response(self.devkit("request", self.dev, *(["--post"] if post else []), query, check=False))

    def run_cgi(self, env, body=b""):
        return Response(subprocess.run(command(CGI), input=body, env=env, capture_output=True, timeout=TIMEOUT))

    def snapshot(self, root=None):
        """Digest of every file of the device folder (or of root), by relative path."""
        root = Path(root or self.dev)
        return {str(p.relative_to(root)): hashlib.sha256(p.read_bytes()).hexdigest() for p in root.rglob("*") if p.is_file()}
