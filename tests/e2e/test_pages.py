"""Pages rendered by the CGI against a simulated device."""

import os

from devkit import MODE_PAGES, DeviceTest, cgi_env


class PageTest(DeviceTest):
    def test_each_port_renders_its_mode_page(self):
        # port -> stored port_mode
        modes = {0: 0, 1: 2, 2: 5, 3: 3}
        self.set(*["ports.%d.port_mode=%d" % (p, m) for p, m in modes.items()])
        for port, mode in modes.items():
            with self.subTest(port=port):
                r = self.request("h_PortIndex=%d" % port)
                self.assertEqual(r.exit, 0, r.stderr)
                self.assertIn("Content-Type: text/html; charset=utf-8", r.headers)
                self.assertEqual(r.field("next_page"), MODE_PAGES[mode])
                self.assertEqual(r.field("h_PortIndex"), str(port))
                # The page numbers the services 1..8: vcom 1, tcpsrv 2, ...
                self.assertEqual(r.stored_mode(), str({0: 2, 1: 3, 2: 4, 3: 1, 5: 6}[mode]))
                self.assertTrue(r.body.rstrip().endswith("</html>"))

    def test_next_page_and_defaults(self):
        cases = [
            ("no fields: port 0, its mode's page", "", "0", MODE_PAGES[0]),
            ("next_page picks the page", "h_PortIndex=1&next_page=ascii_slave_mode.htm", "1",
             "ascii_slave_mode.htm"),
            ("not a number selects port 0", "h_PortIndex=abc", "0", MODE_PAGES[0]),
            ("unknown language falls back", "lang=xx&h_PortIndex=2", "2", MODE_PAGES[0]),
            ("form values are decoded", "h_PortIndex=3&next_page=rtu%5Fmaster_mode.htm", "3",
             "rtu_master_mode.htm"),
        ]
        for desc, query, port, page in cases:
            with self.subTest(desc):
                r = self.request(query)
                self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
                self.assertEqual(r.field("h_PortIndex"), port)
                self.assertEqual(r.field("next_page"), page)

    def test_refused_port_index_changes_nothing(self):
        before = self.folder_digest()
        for query in ("h_PortIndex=7", "h_PortIndex=-1", "h_PortIndex=4&todo=save&h_ServiceMode=4"):
            for post in (False, True):
                with self.subTest(query=query, post=post):
                    r = self.request(query, post=post)
                    self.assertEqual(r.exit, 1)
                    self.assertEqual(r.status, 500)
                    self.assertIn("Status: 500 Internal Server Error", r.headers)
                    self.assertNotIn("<form", r.body)
        self.assertEqual(self.folder_digest(), before)

    def test_next_page_never_leaves_the_template_folder(self):
        secret = "SECRET-%d" % os.getpid()
        self.own_www()  # the files below go into the device's own copy, not the source tree
        for rel in ("etc/passwd", "www/x", "www/en/.hidden", "www/.hidden"):
            path = os.path.join(self.dev, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(secret)
        cases = [
            ("climbs out of the folder", "../../etc/passwd"),
            ("climbs one level", "../x"),
            ("backslash separator", "..\\x"),
            ("hidden file", ".hidden"),
            ("absolute path", "/etc/passwd"),
            ("long name", "a" * 200),
            ("encoded dots", "%2E%2E%2Fx"),
            ("empty name", ""),
        ]
        for desc, page in cases:
            with self.subTest(desc):
                r = self.request("next_page=" + page)
                self.assertEqual(r.exit, 0, r.stderr)
                self.assertNotIn(secret, r.body)
                self.assertEqual(r.field("next_page"), MODE_PAGES[0])

    def test_missing_template_gives_error_body(self):
        cases = [
            ("no such page", "next_page=nothere.htm"),
            ("page is a folder", "next_page=sub"),
        ]
        en = self.own_www()
        os.mkdir(os.path.join(en, "sub"))
        for desc, query in cases:
            with self.subTest(desc):
                r = self.request(query)
                self.assertNotEqual(r.exit, 0)
                self.assertIn("Content-Type: text/html; charset=utf-8", r.headers)
                self.assertIn("not available", r.body)
                self.assertNotIn("nothere", r.body)

    def test_template_tags(self):
        en = self.own_www()
        with open(os.path.join(en, MODE_PAGES[0]), "w") as f:
            f.write("A<%h_PortIndex%>B<%nope%>C<%h_PortIndex%D<%%>E<%PortNum%>F<%<%PortNum%>%>"
                    "G<% PortNum %>H<%PortNum%>")
        r = self.request("h_PortIndex=2")
        self.assertEqual(r.exit, 0)
        self.assertEqual(r.body, "A2B<%nope%>C<%h_PortIndex%D<%%>E4F<%4%>G<% PortNum %>H4")

    def test_template_edges(self):
        en = self.own_www()
        cases = [
            # desc, template, body
            ("tag right after a lone '<'", "<<%PortNum%><", "<4<"),
            ("tag name of a row prefix", "<%PortNu%><%PortNumX%>", "<%PortNu%><%PortNumX%>"),
            ("template ends inside an opening", "x<%", "x<%"),
            ("template ends before the closing '>'", "<%PortNum%", "<%PortNum%"),
            ("tag is the whole template", "<%PortNum%>", "4"),
            ("lone percent signs", "100% <b>%>", "100% <b>%>"),
            ("empty template", "", ""),
        ]
        for desc, text, body in cases:
            with self.subTest(desc):
                with open(os.path.join(en, MODE_PAGES[0]), "w") as f:
                    f.write(text)
                r = self.request("h_PortIndex=3")
                self.assertEqual((r.exit, r.body), (0, body))

    def test_device_folder_spellings(self):
        os.mkdir(os.path.join(self.tmp, "x"))
        cases = [
            ("relative to the working folder", os.path.relpath(self.dev)),
            ("'..' component", os.path.join(self.tmp, "x", "..", "device")),
            ("doubled slashes, '.' and a final slash", self.tmp + "//./device/"),
        ]
        for desc, root in cases:
            with self.subTest(desc):
                r = self.run_cgi(cgi_env(root, QUERY_STRING="h_PortIndex=1"))
                self.assertEqual((r.exit, r.status), (0, 200), r.body)
                self.assertEqual(r.field("h_PortIndex"), "1")

    def test_device_missing(self):
        empty = os.path.join(self.tmp, "empty")
        os.mkdir(empty)
        cases = [
            ("no DEVKIT_ROOT", None),
            ("folder without a device", empty),
            ("folder that does not exist", os.path.join(self.tmp, "none")),
        ]
        for desc, root in cases:
            with self.subTest(desc):
                r = self.run_cgi(cgi_env(root, QUERY_STRING="h_PortIndex=1"))
                self.assertEqual((r.exit, r.status), (1, 500))
                self.assertIn("cannot be served", r.body)
