"""The service mode pages in headless Chromium at a phone's width, served by
lighttpd over a fresh simulated device: one test per thing a user does, each
leaving a screenshot of its last page in the folder S2N_ARTIFACTS. The driver
waits for the page that a click, a key or a choice loads before the next
command. tests/e2e must be on PYTHONPATH."""

import functools
import http.server
import os
import shutil
import threading
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support import expected_conditions
from selenium.webdriver.support.ui import Select, WebDriverWait
from devkit import MODE_PAGES
from test_lighttpd import LighttpdTest

PAGE = "http://127.0.0.1:%d/cgi-bin/s2n_service_mode.cgi?%s"
# The device as a LAN browser reaches it: plain http at a name the browser
# does not trust, so it sends no fetch metadata; another site's page, and a
# third site serving a copy of a page without the server's headers.
HOSTS = ("device.lan", "evil.example", "copy.example")
HEADERS = {"X-Frame-Options": "DENY", "X-Content-Type-Options": "nosniff", "Referrer-Policy": "same-origin"}
ATTACK = """<!DOCTYPE html>
<meta name="referrer" content="no-referrer">
<title>Another site</title>
<img src="{cgi}?todo=save&amp;h_PortIndex=0&amp;h_ServiceMode=2&amp;tcp_server_port=6666&amp;h_EncryptionEnable=1">
<form id="get" action="{cgi}" target="get-frame">
<input name="todo" value="save"><input name="h_PortIndex" value="2"><input name="h_ClearConn" value="1">
</form>
<iframe name="get-frame"></iframe>
<form id="post" method="post" action="{cgi}" target="post-frame">
<input name="todo" value="save"><input name="h_PortIndex" value="1"><input name="h_ServiceMode" value="4">
<input name="udp_port" value="6667">
</form>
<iframe name="post-frame"></iframe>
<iframe id="device" src="{cgi}?h_PortIndex=3&amp;next_page=s2n_service_mode_udp.htm"></iframe>
<iframe id="copy" src="http://copy.example:{port}/copy/page.htm"></iframe>
<iframe id="sandboxed" sandbox="allow-forms allow-same-origin" src="http://copy.example:{port}/copy/page.htm"></iframe>
<script>
fetch("{cgi}?todo=save&h_PortIndex=3&h_ServiceMode=4&udp_port=6668", {{mode: "no-cors", referrerPolicy: "no-referrer"}});
document.getElementById("get").submit();
document.getElementById("post").submit();
</script>
"""


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


# Runs the demo server test too when the whole module runs; ctest names the flows.
class BrowserTest(LighttpdTest):
    @classmethod
    def setUpClass(cls):
        options = webdriver.ChromeOptions()
        options.arguments.extend(["--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                                  "--host-resolver-rules=" + ", ".join("MAP %s 127.0.0.1" % h for h in HOSTS)])
        # A phone's viewport (a headless window is never narrower than 500).
        options.add_experimental_option("mobileEmulation", {"deviceMetrics": {"width": 390, "height": 1600}})
        cls.browser = webdriver.Chrome(options=options)
        cls.addClassCleanup(cls.browser.quit)

    def go(self, action, *args):
        """Runs an action that loads another page, and waits until that page
        and its script are loaded."""
        old = self.browser.find_element(By.TAG_NAME, "html")
        action(*args)
        WebDriverWait(self.browser, 10).until(lambda b: b.find_element(By.TAG_NAME, "html") != old and
                                              b.execute_script("return document.readyState") == "complete")

    def shown(self, *names):
        """What the fields and lists (by name or id) show, then the message, or
        None while it is hidden. Checks first that the page is no wider than
        the phone, and keeps a screenshot of it."""
        self.browser.save_screenshot(os.path.join(os.environ["S2N_ARTIFACTS"], self._testMethodName[5:] + ".png"))
        self.assertEqual(self.browser.execute_script("return document.documentElement.scrollWidth - innerWidth"), 0)
        msg = self.browser.find_element(By.CLASS_NAME, "msg")
        return [self.browser.find_element(By.CSS_SELECTOR, '[name="%s"], #%s' % (n, n)).get_attribute("value")
                for n in names] + [msg.text if msg.is_displayed() else None]

    def type(self, **fields):
        for name, value in fields.items():
            self.browser.find_element(By.NAME, name).send_keys(Keys.CONTROL + "a" + Keys.NULL, value)

    def save(self, button="button[type=submit]", **fields):
        self.type(**fields)
        self.go(self.browser.find_element(By.CSS_SELECTOR, button).click)

    def done(self):
        """The word after a save, or None while it is hidden."""
        done = self.browser.find_element(By.CLASS_NAME, "done")
        return done.text if done.is_displayed() else None

    def marked(self):
        """The field with the focus, and whether it is marked as refused."""
        field = self.browser.switch_to.active_element
        return field.get_attribute("name"), field.get_attribute("aria-invalid")

    def faults(self):
        """Each field marked as refused, with the message under it."""
        return [(f.get_attribute("name"), self.browser.find_element(By.ID, f.get_attribute("aria-describedby")).text)
                for f in self.browser.find_elements(By.CSS_SELECTOR, "[aria-invalid=true]")]

    def asks(self, action, *args):
        """Runs an action that leaves the page and tells whether the browser
        asked first: the page's answer to beforeunload (the driver itself
        agrees to the question)."""
        self.browser.execute_script(
            "addEventListener('beforeunload', e => sessionStorage.setItem('asked', e.defaultPrevented))")
        self.go(action, *args)
        return self.browser.execute_script("return sessionStorage.getItem('asked')") == "true"

    def posts(self):
        with open(self.access_log) as f:
            return sum(line.startswith("POST") for line in f)

    def switches(self):
        """Each switch's state as the device stores it, with the word it shows."""
        return [(s.get_attribute("role"), s.is_selected(), s.find_element(By.XPATH, "following-sibling::*").text)
                for s in self.browser.find_elements(By.CSS_SELECTOR, "input[type=checkbox]")]

    def test_switch_to_port_3(self):
        self.go(self.browser.get, PAGE % (self.port, "lang=en"))
        # With the keyboard: the arrows step through the ports, Enter loads one.
        self.go(self.browser.find_element(By.ID, "port").send_keys, Keys.DOWN + Keys.DOWN + Keys.ENTER)
        self.assertEqual(self.shown("port", "tcp_server_port", "lang"), ["Port3", "4003", "en", None])

    def test_save_confirms_and_reload_sends_nothing(self):
        self.go(self.browser.get, PAGE % (self.port, "h_PortIndex=1"))
        self.save("button[name=h_ClearConn]", tcp_server_port="4011")
        self.assertEqual((self.done(), self.browser.current_url, self.show()["logs"]["clear_conn"]),
                         ("Port 2 now runs TCP server. Settings saved. The connections of this port were reset.",
                          PAGE % (self.port, "lang=en&h_PortIndex=1&next_page=s2n_service_mode_tcpsrv.htm"), ["clearConn 1"]))
        # The next edit takes the word back.
        self.type(server_alive_check="5")
        self.assertIsNone(self.done())
        # A reload asks first with the edit, not without; and sends nothing again.
        self.assertEqual([self.asks(self.browser.refresh), self.asks(self.browser.refresh)], [True, False])
        self.assertEqual((self.shown("tcp_server_port"), self.show()["logs"]["clear_conn"]),
                         (["4011", None], ["clearConn 1"]))
        self.assertIsNone(self.done())

    def test_reversed_range_stores_nothing(self):
        self.go(self.browser.get, PAGE % (self.port, "lang=de&h_PortIndex=1&next_page=s2n_service_mode_udp.htm"))
        before = self.snapshot()
        # Values the program shows in another form are no fault of their own.
        self.save(HostStartIp1="10.0.0.0", HostEndIp1="10.0.0.5", SendPort1="0050", HostStartIp2="10.0.0.9",
                  HostEndIp2="10.0.0.1")
        # The page shows what was sent, says at the top that nothing was
        # saved, puts the message under the range's end and keeps the note
        # that the port still runs its old service.
        refusal = "Die letzte Adresse darf nicht vor der ersten liegen"
        self.assertEqual((self.shown("HostStartIp2", "HostEndIp2"), self.snapshot(), self.marked(), self.faults(),
                          self.done(), self.browser.find_element(By.CLASS_NAME, "pending").is_displayed()),
                         (["10.0.0.9", "10.0.0.1", "Nicht gespeichert: " + refusal], before, ("HostEndIp2", "true"),
                          [("HostEndIp2", refusal)], None, True))
        self.save(HostStartIp2=Keys.DELETE)
        refusal = "Zur letzten Adresse gehört eine erste Adresse"
        self.assertEqual((self.shown("HostStartIp2", "HostEndIp2"), self.faults(), self.snapshot()),
                         (["", "10.0.0.1", "Nicht gespeichert: " + refusal], [("HostEndIp2", refusal)], before))
        # A save refused as a whole is about no field: at an address with a
        # name the device does not allow, the page's own save is refused.
        self.go(self.browser.get, "http://evil.example:%d/cgi-bin/s2n_service_mode.cgi?lang=de&h_PortIndex=1" % self.port)
        self.save(server_alive_check="9")
        self.assertEqual((self.shown("server_alive_check"), self.faults(), self.snapshot()), (
            ["9", "Nicht gespeichert: Hostname nicht erlaubt: in S2N_ALLOWED_HOSTS eintragen"], [], before))

    def test_switches_from_the_keyboard(self):
        self.go(self.browser.get, PAGE % (self.port, "next_page=s2n_service_mode_tcpcli.htm"))
        # Tab from the last number field to each switch, Space turns it on.
        self.browser.find_element(By.NAME, "client_alive_check").send_keys(Keys.TAB, Keys.SPACE, Keys.TAB, Keys.SPACE)
        self.assertEqual(self.switches(), [("switch", True, "On")] * 2)
        self.go(self.browser.switch_to.active_element.send_keys, Keys.TAB, Keys.ENTER)
        self.assertEqual([(p["flags"], p["encrypt_enable"]) for p in self.show()["ports"][:2]], [(0x4000000, 1), (0, 0)])
        # Off is stored as off: the form sends 0 for the switch turned off.
        self.browser.find_element(By.CSS_SELECTOR, "[role=switch]").click()
        self.save()
        self.assertEqual((self.switches(), self.show()["ports"][0]["flags"], self.show()["ports"][0]["encrypt_enable"]),
                         ([("switch", False, "Off"), ("switch", True, "On")], 0, 1))

    def test_german_page_checks_and_saves(self):
        self.go(self.browser.get, PAGE % (self.port, "h_PortIndex=2"))
        self.go(self.browser.find_element(By.LINK_TEXT, "Deutsch").click)
        stored = self.snapshot()
        self.go(Select(self.browser.find_element(By.ID, "service")).select_by_visible_text, "TCP-Client")
        self.assertEqual(self.snapshot(), stored, "choosing a service saves nothing")
        # The wheel over a focused number leaves it as it is.
        port = self.browser.find_element(By.NAME, "tcp_client_port")
        port.click()
        value = port.get_attribute("value")
        x, y = self.browser.execute_script(
            "var r = arguments[0].getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]", port)
        self.browser.execute_cdp_cmd("Input.dispatchMouseEvent", {"type": "mouseWheel", "x": x, "y": y, "deltaX": 0,
                                                                  "deltaY": 100})
        self.assertEqual(port.get_attribute("value"), value)
        # Every fault is caught at once, each message under its field in the
        # page's language; the first gets the focus and nothing is sent.
        before = self.snapshot()
        self.type(tcp_client_ip=Keys.BACKSPACE, tcp_client_port="70000", client_idle_timeout="1e1",
                  client_link_ip1="010.1.1.1", client_link_port1="-1")
        self.browser.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
        self.assertEqual((self.faults(), self.marked(), self.posts(), self.snapshot()),
                         ([("tcp_client_ip", "eine Adresse wie 192.168.1.10"), ("tcp_client_port", "1 bis 65535"),
                           ("client_idle_timeout", "eine ganze Zahl von 0 bis 21474836"),
                           ("client_link_ip1", "eine Adresse wie 192.168.1.10"), ("client_link_port1", "0 bis 65535")],
                          ("tcp_client_ip", "true"), 0, before))
        # A message stays until its field changes.
        self.type(tcp_client_port="4001")
        self.assertEqual([f for f, _ in self.faults()],
                         ["tcp_client_ip", "client_idle_timeout", "client_link_ip1", "client_link_port1"])
        # The page's own Save leaves without a question; the page after it
        # shows what the setters took from the German form.
        self.type(tcp_client_ip="10.0.0.7", client_idle_timeout=" +10 ", client_link_ip1="10.1.1.1", client_link_port1="0")
        self.assertFalse(self.asks(self.browser.find_element(By.CSS_SELECTOR, "button[type=submit]").click))
        self.assertEqual(self.shown("port", "service", "tcp_client_ip", "tcp_client_port", "client_idle_timeout",
                                    "client_link_ip1", "lang") + [self.done()],
                         ["Port3", "3", "10.0.0.7", "4001", "10", "10.1.1.1", "de", None,
                          "Port 3 läuft jetzt als TCP-Client. Einstellungen gespeichert."])

    def test_unsaved_edit_asks_before_port_switch(self):
        self.go(self.browser.get, PAGE % (self.port, "lang=en"))
        self.type(server_alive_check="7")
        asked = []

        def leave(action, accept):
            action()
            alert = WebDriverWait(self.browser, 10).until(expected_conditions.alert_is_present())
            asked.append(alert.text)
            alert.accept() if accept else alert.dismiss()

        def switch_port():
            self.browser.find_element(By.ID, "port").send_keys(Keys.DOWN, Keys.ENTER)

        # Called off, a link or a port switch leaves the page as it was.
        leave(self.browser.find_element(By.LINK_TEXT, "Deutsch").click, False)
        leave(switch_port, False)
        self.assertEqual(self.shown("port", "server_alive_check", "lang"), ["Port1", "7", "en", None])
        # Agreed to, the page's own question is the only one: the browser
        # does not ask again as the page goes.
        self.assertFalse(self.asks(leave, switch_port, True))
        self.assertEqual(self.shown("port", "server_alive_check") + asked, ["Port2", "0", None] + [
            "Your changes on this page are not saved yet. Leave the page anyway?"] * 3)

    def test_pages_pass_accessibility_check(self):
        # scripts/test installs it before the browser stage; ctest shows a run without it as skipped.
        if not os.path.exists(os.environ["S2N_AXE"]):
            self.skipTest("axe-core is not installed: npm ci --prefix tests/browser")
        with open(os.environ["S2N_AXE"]) as f:
            axe = f.read()
        for lang in ("en", "de"):
            for page in MODE_PAGES:
                self.go(self.browser.get, PAGE % (self.port, "lang=%s&next_page=%s" % (lang, page)))
                # Phones show digits for a number, the full keyboard where a minus may be typed.
                fields = self.browser.execute_script(
                    "return Array.from(document.querySelectorAll('[data-number]'), f => [f.type, f.inputMode, +f.min])")
                self.assertEqual([f[:2] for f in fields], [["text", "" if f[2] < 0 else "numeric"] for f in fields])
                self.browser.execute_script(axe)
                found = self.browser.execute_async_script("axe.run().then(arguments[0])")
                with self.subTest(lang=lang, page=page):
                    self.assertEqual([(v["id"], [n["target"] for n in v["nodes"]]) for v in found["violations"]
                                      if v["impact"] in ("serious", "critical")], [])

    def test_port_in_use_shown_under_its_field(self):
        # The device stores a master's host in bytes: 128 letters of two bytes are too many.
        self.go(self.browser.get, PAGE % (self.port, "h_PortIndex=0&next_page=rtu_master_mode.htm"))
        self.type(rtumaster_host_addr="ä" * 128)
        self.browser.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
        self.assertEqual(self.faults(), [("rtumaster_host_addr", "at most 255 characters")])
        # Port2 serves TCP on 4002. The messages name no field; the page knows which one each is about.
        for page, field, refusal in (("rtu_slave_mode.htm", "rtuslave_server_port", "invalid port number"),
                                     ("s2n_service_mode_tcpsrv.htm", "tcp_server_port",
                                      "port number already used by Port2")):
            with self.subTest(page=page):
                self.go(self.browser.get, PAGE % (self.port, "h_PortIndex=0&next_page=" + page))
                self.save(**{field: "4002"})
                self.assertEqual((self.shown(field), self.marked(), self.faults()),
                                 (["4002", "Not saved: " + refusal], (field, "true"), [(field, refusal)]))

    def frame(self, frame_id):
        """Where the frame's page came from once it left about:blank, whether
        it shows the settings form, and the line saying it needs script."""
        self.browser.switch_to.frame(self.browser.find_element(By.ID, frame_id))
        try:
            WebDriverWait(self.browser, 10).until(lambda b: b.execute_script(
                "return location.href != 'about:blank' && document.readyState == 'complete'"))
            return (self.browser.execute_script("return location.origin"),
                    any(f.is_displayed() for f in self.browser.find_elements(By.ID, "settings")),
                    "".join(f.text for f in self.browser.find_elements(By.CLASS_NAME, "needs-script")))
        finally:
            self.browser.switch_to.default_content()

    def test_other_site_cannot_save(self):
        """Another site's page tries an image, a GET form, a no-cors fetch and a
        POST form, none with a Referer, and frames a page: nothing of the
        device changes, each request reached the program without fetch
        metadata, the framed page is not shown, and a copy of a page from a
        server without the headers hides its form inside the frame, also
        where the frame may not run the page's script."""
        cgi = "http://device.lan:%d/cgi-bin/s2n_service_mode.cgi" % self.port
        with urllib.request.urlopen(PAGE % (self.port, "h_PortIndex=0"), timeout=10) as r:
            page = r.read()
        site = os.path.join(self.tmp, "other-site")
        shutil.copytree(os.path.join(self.dev, "www", "static"), os.path.join(site, "copy", "static"))
        with open(os.path.join(site, "copy", "page.htm"), "wb") as f:
            f.write(page)
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(QuietHandler, directory=site))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        other = server.server_address[1]
        with open(os.path.join(site, "attack.html"), "w") as f:
            f.write(ATTACK.format(cgi=cgi, port=other))
        before = self.snapshot()

        self.go(self.browser.get, "http://evil.example:%d/attack.html" % other)
        copy = "http://copy.example:%d" % other
        self.assertEqual(self.frame("device"), ("null", False, ""), "the device's page in another site's frame")
        self.assertEqual(self.frame("copy"), (copy, False, ""), "the copy in a frame")
        self.assertEqual(self.frame("sandboxed"), (copy, False, "This page needs JavaScript to show its settings. Allow it"
                                                   " for this device, then reload the page."), "without its script")
        self.assertIn(b'id="settings"', page, "the copy has a form to hide")
        attacks, end = [], time.monotonic() + 10
        while len(attacks) < 4:
            self.assertLess(time.monotonic(), end, attacks)
            time.sleep(0.05)
            with open(self.access_log) as f:
                attacks = sorted(line.split() for line in f if "todo=save" in line or line.startswith("POST"))
        self.assertEqual([(a[0], a[2], a[3], a[4]) for a in attacks],
                         [("GET", "200", "-", "-")] * 3 + [("POST", "200", "null", "-")])  # no Referer: Origin null
        self.assertEqual(self.snapshot(), before)

        # The headers that forbid the frames, on the program's pages and the static files.
        for path in ("/cgi-bin/s2n_service_mode.cgi", "/cgi-bin/static/service_mode.js"):
            with urllib.request.urlopen("http://127.0.0.1:%d%s" % (self.port, path), timeout=10) as r:
                self.assertEqual({h: r.headers[h] for h in HEADERS}, HEADERS, path)
                policy = [d.strip() for d in r.headers["Content-Security-Policy"].split(";")]
                self.assertTrue({"default-src 'self'", "frame-ancestors 'none'"} <= set(policy), policy)

