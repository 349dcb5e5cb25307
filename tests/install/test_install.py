"""The tree that goes onto the device: installed into a staging root and
packed as the firmware tarball, it holds the manifest's files, and the
installed program serves pages and a save with the devkit's libraries found
outside that root."""

import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest
import urllib.parse
import urllib.request

E2E = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e")
sys.path.insert(0, E2E)
from devkit import EMULATOR, SOURCE_DIR, TIMEOUT, DeviceTest, Response, cgi_env, command  # noqa: E402
from test_lighttpd import LIGHTTPD, free_port, start_lighttpd  # noqa: E402

BUILD = os.environ["S2N_BUILD_DIR"]
HERE = os.path.join(SOURCE_DIR, "tests", "install")
LISTS = os.path.join(SOURCE_DIR, "scripts", "device-lists")
CGIDIR, WWWDIR, STATICDIR = (os.environ["S2N_INSTALL_" + k] for k in ("CGIDIR", "WWWDIR", "STATICDIR"))
PROGRAM_LIMIT = 64 * 1024
SERVER = """server.modules = ("mod_cgi", "mod_setenv")
server.bind = "127.0.0.1"
server.port = {port}
server.document-root = "{root}/{www}"
server.errorlog = "{tmp}/error.log"
mimetype.assign = (".js" => "text/javascript", ".css" => "text/css")
setenv.add-environment = ("DEVKIT_ROOT" => "{dev}", "LD_LIBRARY_PATH" => "{libs}")
$HTTP["url"] =~ "^/cgi-bin/" {{ cgi.assign = (".cgi" => "") }}
$HTTP["url"] =~ "^/cgi-bin/static/" {{ cgi.assign = () }}
"""


def firmware(build, tmp, prefix="/"):
    """Installs the build under tmp/root and packs it; the tarball's path."""
    tarball = os.path.join(tmp, "firmware.tar.gz")
    subprocess.run(["cmake", "-DBUILD_DIR=" + build, "-DSTAGE=" + os.path.join(tmp, "root"), "-DTARBALL=" + tarball,
                    "-DPREFIX=" + prefix, "-P", os.path.join(SOURCE_DIR, "cmake", "firmware.cmake")],
                   check=True, capture_output=True, timeout=120)
    return tarball


def read(path):
    with open(path) as f:
        return f.read()


def manifest_rows(root):
    out = subprocess.run([LISTS, "manifest", root], check=True, capture_output=True, text=True).stdout
    return out.splitlines()


class InstalledTreeTest(DeviceTest):
    def setUp(self):
        super().setUp()
        self.root = os.path.join(self.tmp, "root")
        self.tarball = firmware(BUILD, self.tmp)
        self.program = os.path.join(self.root, CGIDIR, "s2n_service_mode.cgi")

    def test_install_and_tarball_hold_the_manifest(self):
        expected = read(os.path.join(HERE, "manifest.txt")).splitlines()
        self.assertEqual(manifest_rows(self.root), expected, "the installed files changed; after an intended change run "
                         "scripts/device-lists update and show the new list in the README")
        with tarfile.open(self.tarball) as tar:
            members = tar.getmembers()
        packed = sorted(("%04o %s" % (m.mode, m.name) for m in members if m.isfile()), key=lambda r: r.split()[1])
        self.assertEqual(packed, expected)
        odd = [m.name for m in members if not (m.isfile() or m.isdir()) or (m.uid, m.gid) != (0, 0)
               or m.name.split("/")[0] in ("", ".", "..")]
        self.assertEqual(odd, [], "only files and folders, owned by root, below the root folder")

    def test_prefix_moves_the_whole_tree(self):
        moved = os.path.join(self.tmp, "moved")
        os.mkdir(moved)
        firmware(BUILD, moved, prefix="/opt/s2n")
        self.assertEqual(manifest_rows(os.path.join(moved, "root")),
                         [m.replace(" ", " opt/s2n/", 1) for m in manifest_rows(self.root)])

    def test_program_is_stripped_small_and_finds_libraries_as_the_device_does(self):
        self.assertLessEqual(os.path.getsize(self.program), PROGRAM_LIMIT)
        elf = subprocess.run([os.environ["S2N_READELF"], "-W", "-S", "-d", self.program], check=True,
                             capture_output=True, text=True).stdout
        self.assertNotRegex(elf, r"\.symtab|\.debug", "stripped")
        self.assertNotRegex(elf, r"RPATH|RUNPATH", "the build folder must not be named in the program")

    def use_installed_pages(self):
        """The devkit's template library reads DEVKIT_ROOT/www/: the installed pages."""
        www = os.path.join(self.dev, "www")
        os.remove(www)
        os.symlink(os.path.join(self.root, WWWDIR), www)

    def test_installed_program_answers(self):
        """An emulated program gets one request; on the host lighttpd serves the staged root."""
        self.use_installed_pages()
        if not EMULATOR:
            return self.served_by_lighttpd()
        p = subprocess.run(command(self.program), capture_output=True, timeout=TIMEOUT,
                           env=cgi_env(self.dev, QUERY_STRING="lang=de&h_PortIndex=2",
                                       LD_LIBRARY_PATH=os.environ["S2N_DEVKIT_LIBS"]))
        r = Response(p)
        self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
        self.assertIn('<html lang="de">', r.body)
        self.assertIn('name="h_PortIndex" value="2"', r.body)

    def served_by_lighttpd(self):
        if not LIGHTTPD:
            self.skipTest("lighttpd is not installed (apt-get install lighttpd)")
        port = free_port()
        conf = os.path.join(self.tmp, "lighttpd.conf")
        with open(conf, "w") as f:
            f.write(SERVER.format(port=port, root=self.root, www=WWWDIR, tmp=self.tmp, dev=self.dev,
                                  libs=os.environ["S2N_DEVKIT_LIBS"]))
        start_lighttpd(self, conf, port)
        url = "http://127.0.0.1:%d/cgi-bin/" % port

        def get(path, data=None):
            with urllib.request.urlopen(url + path, data, timeout=30) as r:
                return r.headers["Content-Type"], r.read().decode()

        for lang in ("en", "de"):
            with self.subTest(lang):
                _, body = get("s2n_service_mode.cgi?lang=%s&h_PortIndex=3" % lang)
                self.assertIn('<html lang="%s">' % lang, body)
                self.assertIn('name="h_PortIndex" value="3"', body)
        static = os.path.relpath(os.path.join(STATICDIR, "service_mode.js"), CGIDIR)
        kind, body = get(static)
        self.assertEqual(kind, "text/javascript", "served as a file, not run")
        with open(os.path.join(SOURCE_DIR, "www", "static", "service_mode.js")) as f:
            self.assertEqual(body, f.read())

        form = {"todo": "save", "lang": "de", "h_PortIndex": "1", "h_ServiceMode": "4",
                "HostStartIp1": "10.0.0.1", "HostEndIp1": "10.0.0.9"}
        _, body = get("s2n_service_mode.cgi", urllib.parse.urlencode(form).encode())
        self.assertIn('<html lang="de">', body)
        self.assertEqual(self.show()["ports"][1]["port_mode"], 2, "the save stored UDP (mode code 2) for port 1")


class NeedsTest(unittest.TestCase):
    def test_program_needs_what_the_list_says(self):
        stated = read(os.path.join(BUILD, "s2n_service_mode.needs")).splitlines()
        machine = next(line.split()[1] for line in stated if line.startswith("machine "))
        listed = os.path.join(HERE, "needs-%s.txt" % machine)
        self.assertTrue(os.path.exists(listed), "no list for %s: run scripts/device-lists update" % machine)
        self.maxDiff = None
        self.assertEqual(stated, read(listed).splitlines(),
                         "what the program needs of the device changed (- the list, + now); after an intended "
                         "change run scripts/device-lists update")


class SysrootBuildTest(unittest.TestCase):
    """The program linked with a sysroot's platform libraries (here the
    devkit's, copied into a root of their own): the same needs, and no
    devkit library or tool built."""

    def test_links_the_sysroot_libraries(self):
        tmp = tempfile.mkdtemp(prefix="s2n-sysroot-")
        self.addCleanup(shutil.rmtree, tmp, True)
        libdir = os.path.join(tmp, "sysroot", "usr", "lib")
        os.makedirs(libdir)
        for lib in ("libdevcfg.so", "libwebcgi.so"):
            shutil.copy(os.path.join(os.environ["S2N_DEVKIT_LIBS"], lib), libdir)
        build = os.path.join(tmp, "build")
        configure = ["cmake", "-S", SOURCE_DIR, "-B", build, "-G", os.environ["S2N_GENERATOR"],
                     "-DCMAKE_C_COMPILER=" + os.environ["S2N_C_COMPILER"],
                     "-DCMAKE_CXX_COMPILER=" + os.environ["S2N_CXX_COMPILER"],
                     "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DS2N_WERROR=ON", "-DS2N_DEVICE_PLATFORM=ON",
                     "-DCMAKE_FIND_ROOT_PATH=" + os.path.join(tmp, "sysroot"),
                     "-DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY"]
        for cmd in (configure, ["cmake", "--build", build, "-j2", "--target", "s2n_needs"]):
            p = subprocess.run(cmd, capture_output=True, text=True, timeout=500)
            self.assertEqual(p.returncode, 0, p.stdout[-3000:] + p.stderr[-3000:])
        self.assertIn("S2N_DEVCFG_LIBRARY:FILEPATH=%s/libdevcfg.so" % libdir, read(build + "/CMakeCache.txt"))
        self.assertEqual(read(build + "/s2n_service_mode.needs"), read(BUILD + "/s2n_service_mode.needs"))
        for built in ("libdevcfg.so", "libwebcgi.so", "s2n-devkit"):
            self.assertFalse(os.path.exists(os.path.join(build, built)), built)
