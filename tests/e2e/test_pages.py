"""Pages the CGI renders against a simulated device, for ordinary, refused
and hostile requests."""

import os
import re
import shutil

from devkit import MODE_PAGES, DeviceTest, cgi_env

FORM = "application/x-www-form-urlencoded"
PORT_MODES = [0, 2, 5, 3]      # port_mode of ports 0..3 in these tests
SERVICES = ["2", "4", "6", "1"]  # the service number each port's page shows for it


def get(query, **env):
    return dict(env, QUERY_STRING=query), b""


def post(body, length=None, ctype=FORM):
    """A POST; length "-" leaves CONTENT_LENGTH out."""
    length = str(len(body)) if length is None else None if length == "-" else length
    return {"REQUEST_METHOD": "POST", "CONTENT_TYPE": ctype, "CONTENT_LENGTH": length}, body


REQUESTS = [
    # description, environment, body, port shown (None: refused), page shown (None: the port's mode page)
    ("port 0, TCP server", *get("h_PortIndex=0"), 0, None),
    ("port 1, UDP", *get("h_PortIndex=1"), 1, None),
    ("port 2, Modbus RTU master", *get("h_PortIndex=2"), 2, None),
    ("port 3, virtual COM", *get("h_PortIndex=3"), 3, None),
    ("no fields: port 0", *get(""), 0, None),
    ("next_page picks the page", *get("h_PortIndex=1&next_page=ascii_slave_mode.htm"), 1, "ascii_slave_mode.htm"),
    ("form values are decoded", *get("h_PortIndex=3&next_page=rtu%5Fmaster_mode.htm"), 3, "rtu_master_mode.htm"),
    ("not a number selects port 0", *get("h_PortIndex=abc"), 0, None),
    ("unknown language falls back", *get("lang=xx&h_PortIndex=2"), 2, None),
    ("port 7", *get("h_PortIndex=7"), None, None),
    ("port -1", *get("h_PortIndex=-1"), None, None),
    ("save on port 4", *get("h_PortIndex=4&todo=save&h_ServiceMode=4"), None, None),
    ("POST, port 7", *post(b"h_PortIndex=7"), None, None),
    ("POST, port -1", *post(b"h_PortIndex=-1"), None, None),
    ("POST, save on port 4", *post(b"h_PortIndex=4&todo=save&h_ServiceMode=4"), None, None),
    ("no DEVKIT_ROOT", *get("h_PortIndex=1", DEVKIT_ROOT=None), None, None),
    ("folder without a device", *get("h_PortIndex=1", DEVKIT_ROOT="/"), None, None),
    ("folder that does not exist", *get("h_PortIndex=1", DEVKIT_ROOT="/nonexistent/device"), None, None),
    ("page climbs out of the folder", *get("h_PortIndex=2&next_page=../../etc/passwd"), 2, None),
    ("page climbs one level", *get("h_PortIndex=2&next_page=../x"), 2, None),
    ("backslash separator", *get("h_PortIndex=2&next_page=..\\x"), 2, None),
    ("encoded dots", *get("h_PortIndex=2&next_page=%2E%2E%2Fx"), 2, None),
    ("hidden file", *get("h_PortIndex=2&next_page=.hidden"), 2, None),
    ("absolute page path", *get("h_PortIndex=2&next_page=/etc/passwd"), 2, None),
    ("long page name", *get("h_PortIndex=2&next_page=" + "a" * 200), 2, None),
    ("empty page name", *get("h_PortIndex=2&next_page="), 2, None),
    ("body above the limit is an empty form", *post(b"h_PortIndex=2&p=" + b"x" * (70 * 1024)), 0, None),
    ("body at the limit is taken", *post(b"h_PortIndex=2&pad=" + b"x" * (64 * 1024 - 18)), 2, None),
    ("length not a number", *post(b"h_PortIndex=2", length="2x"), 0, None),
    ("negative length", *post(b"h_PortIndex=2", length="-5"), 0, None),
    ("huge length", *post(b"h_PortIndex=2", length="99999999999999999999"), 0, None),
    ("missing length", *post(b"h_PortIndex=2", length="-"), 0, None),
    ("body shorter than its length", *post(b"h_PortIndex=3", length="500"), 3, None),
    ("other encoding is not read", *post(b"h_PortIndex=2", ctype="multipart/form-data"), 0, None),
    ("more fields than kept: the first count",
     *post(b"h_PortIndex=1&" + b"&".join(b"f%d=%d" % (i, i) for i in range(5000))), 1, None),
    ("malformed escapes stay literal", *get("h_PortIndex=1%&lang=%zz%4"), 1, None),
    ("half an escape stays literal", *get("h_PortIndex=1&next_page=%4x.htm"), 1, MODE_PAGES[0]),
    ("NUL in a value drops the field", *get("h_PortIndex=3&next_page=rtu_slave_mode.htm%00x"), 3, None),
    ("NUL in a name drops the field", *get("h_Port%00Index=2"), 0, None),
    ("plus is a blank", *get("h_PortIndex=+2"), 2, None),
    ("first occurrence wins", *get("h_PortIndex=1&h_PortIndex=3"), 1, None),
    ("fields without values", *get("&&=&h_PortIndex&lang="), 0, None),
    ("query above the limit", *get("h_PortIndex=2&p=" + "y" * (65 * 1024)), 0, None),
    ("HEAD reads the query", *get("h_PortIndex=1", REQUEST_METHOD="HEAD"), 1, None),
    ("unshipped languages", *get("", HTTP_ACCEPT_LANGUAGE="fr-FR,fr;q=0.9, nl;q=0.5"), 0, None),
    ("malformed language list", *get("", HTTP_ACCEPT_LANGUAGE=";;,,;q=,en;q=abc,*"), 0, None),
]


class PageTest(DeviceTest):
    def test_requests(self):
        self.set(*["ports.%d.port_mode=%d" % pm for pm in enumerate(PORT_MODES)])
        # Files a page path would reach if it left the template folder.
        secret = "SECRET-%d" % os.getpid()
        en = self.own_www()
        # A copy of the TCP server page whose name holds half an escape.
        shutil.copy(os.path.join(en, MODE_PAGES[0]), os.path.join(en, "%4x.htm"))
        for rel in ("etc/passwd", "www/x", "www/en/.hidden", "www/.hidden"):
            os.makedirs(os.path.dirname(os.path.join(self.dev, rel)), exist_ok=True)
            with open(os.path.join(self.dev, rel), "w") as f:
                f.write(secret)
        before = self.snapshot()
        for desc, env, body, port, page in REQUESTS:
            with self.subTest(desc):
                r = self.run_cgi(cgi_env(self.dev, **env), body)
                self.assertNotIn(secret, r.body)
                if port is None:
                    self.assertEqual((r.exit, r.status, r.field("h_PortIndex")), (1, 500, None))
                    continue
                stored = re.search(r'data-stored="([^"]*)"', r.body)
                self.assertEqual((r.exit, r.status, r.stderr, r.headers[0], r.body.rstrip()[-7:]),
                                 (0, 200, "", "Content-Type: text/html; charset=utf-8", "</html>"))
                self.assertEqual((r.field("h_PortIndex"), r.field("next_page"), stored and stored.group(1)),
                                 (str(port), page or MODE_PAGES[PORT_MODES[port]], SERVICES[port]))
                self.assertIn('<html lang="en">', r.body)
        self.assertEqual(self.snapshot(), before)

    def test_templates(self):
        en = self.own_www()
        os.mkdir(os.path.join(en, "sub"))
        missing = (2, "<!DOCTYPE html><title>Error</title><p>The page is not available.</p>\n")
        cases = [
            # description, query, template of port 3's page, exit status and body
            ("tags replaced, unknown and malformed ones kept", "h_PortIndex=3",
             "A<%h_PortIndex%>B<%nope%>C<%h_PortIndex%D<%%>E<%PortNum%>F<%<%PortNum%>%>G<% PortNum %>H",
             (0, "A3B<%nope%>C<%h_PortIndex%D<%%>E4F<%4%>G<% PortNum %>H")),
            ("tag right after a lone '<'", "", "<<%PortNum%><", (0, "<4<")),
            ("tag name of a row prefix", "", "<%PortNu%><%PortNumX%>", (0, "<%PortNu%><%PortNumX%>")),
            ("template ends inside an opening", "", "x<%", (0, "x<%")),
            ("template ends before the closing '>'", "", "<%PortNum%", (0, "<%PortNum%")),
            ("tag is the whole template", "", "<%PortNum%>", (0, "4")),
            ("lone percent signs", "", "100% <b>%>", (0, "100% <b>%>")),
            ("empty template", "", "", (0, "")),
            ("no such page: the name is not echoed", "next_page=nothere.htm", "", missing),
            ("page is a folder", "next_page=sub", "", missing),
        ]
        for desc, query, text, want in cases:
            with self.subTest(desc):
                with open(os.path.join(en, MODE_PAGES[0]), "w") as f:
                    f.write(text)
                r = self.request(query)
                self.assertEqual((r.exit, r.body), want)
                self.assertEqual(r.headers[0], "Content-Type: text/html; charset=utf-8")

    def test_device_folder_spellings(self):
        os.mkdir(os.path.join(self.tmp, "x"))
        for desc, root in [("relative to the working folder", os.path.relpath(self.dev)),
                           ("'..' component", os.path.join(self.tmp, "x", "..", "device")),
                           ("doubled slashes, '.' and a final slash", self.tmp + "//./device/")]:
            with self.subTest(desc):
                r = self.run_cgi(cgi_env(root, QUERY_STRING="h_PortIndex=1"))
                self.assertEqual((r.exit, r.status, r.field("h_PortIndex")), (0, 200, "1"), r.body)
