"""Malformed and hostile raw requests: each gets a defined response and
leaves the device as it was."""

from devkit import MODE_PAGES, DeviceTest, cgi_env

FORM = "application/x-www-form-urlencoded"


def post(body, length=None, ctype=FORM):
    env = {"REQUEST_METHOD": "POST", "CONTENT_TYPE": ctype,
           "CONTENT_LENGTH": str(len(body)) if length is None else length}
    return env, body


class HostileTest(DeviceTest):
    def test_raw_requests(self):
        big = b"h_PortIndex=2&pad=" + b"x" * (70 * 1024)
        cases = [
            # description, env, body, expected port, expected page
            ("body above the limit is an empty form", *post(big), "0", MODE_PAGES[0]),
            ("body at the limit is taken", *post(b"h_PortIndex=2&pad=" + b"x" * (64 * 1024 - 18)), "2",
             MODE_PAGES[0]),
            ("length not a number", *post(b"h_PortIndex=2", length="2x"), "0", MODE_PAGES[0]),
            ("negative length", *post(b"h_PortIndex=2", length="-5"), "0", MODE_PAGES[0]),
            ("huge length", *post(b"h_PortIndex=2", length="99999999999999999999"), "0", MODE_PAGES[0]),
            ("missing CONTENT_LENGTH", *post(b"h_PortIndex=2", length=None), "2", MODE_PAGES[0]),
            ("body shorter than its length", *post(b"h_PortIndex=3", length="500"), "3", MODE_PAGES[0]),
            ("other encoding is not read", *post(b"h_PortIndex=2", ctype="multipart/form-data"), "0",
             MODE_PAGES[0]),
            ("malformed escapes stay literal", {"QUERY_STRING": "h_PortIndex=1%&lang=%zz%4"}, b"", "1",
             MODE_PAGES[0]),
            ("NUL in a value drops the field", {"QUERY_STRING": "h_PortIndex=3&next_page=rtu_slave_mode.htm%00x"},
             b"", "3", MODE_PAGES[0]),
            ("NUL in a name drops the field", {"QUERY_STRING": "h_Port%00Index=2"}, b"", "0", MODE_PAGES[0]),
            ("plus is a blank", {"QUERY_STRING": "h_PortIndex=+2"}, b"", "2", MODE_PAGES[0]),
            ("first occurrence wins", {"QUERY_STRING": "h_PortIndex=1&h_PortIndex=3"}, b"", "1", MODE_PAGES[0]),
            ("fields without values", {"QUERY_STRING": "&&=&h_PortIndex&lang="}, b"", "0", MODE_PAGES[0]),
            ("query above the limit", {"QUERY_STRING": "h_PortIndex=2&p=" + "y" * (65 * 1024)}, b"", "0",
             MODE_PAGES[0]),
            ("HEAD reads the query", {"REQUEST_METHOD": "HEAD", "QUERY_STRING": "h_PortIndex=1"}, b"", "1",
             MODE_PAGES[0]),
        ]
        before = self.folder_digest()
        for desc, extra, body, port, page in cases:
            if extra.get("CONTENT_LENGTH", "") is None:
                extra = dict(extra)
                extra["CONTENT_LENGTH"] = None
            with self.subTest(desc):
                r = self.run_cgi(cgi_env(self.dev, **extra), body)
                self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
                self.assertEqual(r.field("h_PortIndex"), port)
                self.assertEqual(r.field("next_page"), page)
                self.assertEqual(r.stderr, "")
        self.assertEqual(self.folder_digest(), before)

    def test_many_fields(self):
        # More fields than the list keeps: the first ones still count.
        body = b"h_PortIndex=1&" + b"&".join(b"f%d=%d" % (i, i) for i in range(5000))
        r = self.run_cgi(cgi_env(self.dev, REQUEST_METHOD="POST", CONTENT_TYPE=FORM,
                                 CONTENT_LENGTH=str(len(body))), body)
        self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
        self.assertEqual(r.field("h_PortIndex"), "1")

    def test_accept_language(self):
        for header in ("de-DE,de;q=0.9", "en-GB;q=0.1, fr", "*", ";;,,;q=", "en;q=abc"):
            with self.subTest(header):
                r = self.run_cgi(cgi_env(self.dev, HTTP_ACCEPT_LANGUAGE=header))
                self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
                self.assertIn('<html lang="en">', r.body)
