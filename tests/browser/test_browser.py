"""The service mode pages in headless Chromium at a phone's width, served by
lighttpd over a fresh simulated device: one test per thing a user does, each
leaving a screenshot of its last page in S2N_ARTIFACTS. The driver waits for
the page that a click, a key or a choice loads before the next command."""

import os
import sys

from selenium import webdriver
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from test_lighttpd import LighttpdServer  # noqa: E402

ARTIFACTS = os.environ.get("S2N_ARTIFACTS", "screenshots")


class BrowserTest(LighttpdServer):
    @classmethod
    def setUpClass(cls):
        options = webdriver.ChromeOptions()
        for arg in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage"):
            options.add_argument(arg)
        # A phone's viewport (a headless window is never narrower than 500).
        options.add_experimental_option("mobileEmulation", {"deviceMetrics": {"width": 390, "height": 1600}})
        cls.browser = webdriver.Chrome(options=options)
        cls.addClassCleanup(cls.browser.quit)
        os.makedirs(ARTIFACTS, exist_ok=True)

    def tearDown(self):
        self.browser.save_screenshot(os.path.join(ARTIFACTS, self._testMethodName[5:] + ".png"))

    def open(self, query):
        self.browser.get("http://127.0.0.1:%d/cgi-bin/s2n_service_mode.cgi?%s" % (self.port, query))

    def find(self, name):
        """The control of that name, or the list of that id."""
        return self.browser.find_element(By.CSS_SELECTOR, '[name="%s"], #%s' % (name, name))

    def shown(self, *names):
        """What the controls show: an input's value, a list's chosen entry;
        then the message, or None while it is hidden."""
        fields = [self.find(n) for n in names] + [self.browser.find_element(By.CLASS_NAME, "msg")]
        return [Select(f).first_selected_option.text if f.tag_name == "select" else f.get_attribute("value")
                for f in fields[:-1]] + [fields[-1].text if fields[-1].is_displayed() else None]

    def save(self, **fields):
        for name, value in fields.items():
            self.find(name).clear()
            self.find(name).send_keys(value)
        self.browser.find_element(By.CSS_SELECTOR, "button[type=submit]").click()

    def test_default_page_is_port_1_tcp_server(self):
        self.browser.get("http://127.0.0.1:%d/" % self.port)
        self.assertEqual(self.shown("port", "service", "tcp_server_port"), ["Port1", "TCP server", "4001", None])

    def test_switch_to_port_3(self):
        self.open("lang=en")
        # With the keyboard: the arrows step through the ports, Enter loads one.
        self.find("port").send_keys(Keys.DOWN + Keys.DOWN + Keys.ENTER)
        self.assertEqual(self.shown("port", "tcp_server_port", "lang"), ["Port3", "4003", "en", None])

    def test_udp_ranges_saved_and_shown(self):
        self.open("h_PortIndex=1")
        Select(self.find("service")).select_by_visible_text("UDP")
        self.assertEqual(self.show()["ports"][1]["port_mode"], 0, "choosing a service saves nothing")
        self.save(HostStartIp1="10.0.0.1", HostEndIp1="10.0.0.9", SendPort1="5001",
                  HostStartIp2="192.168.1.250", HostEndIp2="192.168.2.3", SendPort2="5002")
        self.open("h_PortIndex=1")
        self.assertEqual(self.shown("service", "HostStartIp1", "HostEndIp1", "HostStartIp2", "HostEndIp2"),
                         ["UDP", "10.0.0.1", "10.0.0.9", "192.168.1.250", "192.168.2.3", None])
        self.assertEqual(self.show()["ports"][1]["host_cnt"], [9, 8, 1, 1])

    def test_reversed_range_stores_nothing(self):
        self.open("h_PortIndex=1&next_page=s2n_service_mode_udp.htm")
        before = self.snapshot()
        self.save(HostStartIp1="10.0.0.9", HostEndIp1="10.0.0.1")
        self.assertEqual((self.shown()[-1], self.snapshot()), ("end ip must more than start ip", before))

    def test_rtu_master_host_port_in_use(self):
        self.open("h_PortIndex=0&next_page=rtu_master_mode.htm")
        self.save(rtumaster_host_addr="10.0.0.5", rtumaster_host_port="4002")
        self.assertEqual(self.shown("rtumaster_host_port"), ["4002", "invalid port number"])

    def test_modbus_page_shows_defaults(self):
        self.open("h_PortIndex=3")
        Select(self.find("service")).select_by_visible_text("Modbus RTU slave")
        names = ("server_port", "max_connect", "max_try", "rqstpause", "respwait", "idle_timeout")
        self.assertEqual(self.shown(*("rtuslave_" + n for n in names)), ["502", "10", "5", "100", "100", "10", None])

    def test_german_page_renders_and_saves(self):
        self.open("h_PortIndex=2")
        self.browser.find_element(By.LINK_TEXT, "Deutsch").click()
        Select(self.find("service")).select_by_visible_text("UDP")
        self.save(udp_port="5005")
        self.assertEqual(self.shown("port", "service", "udp_port", "lang"), ["Port3", "UDP", "5005", "de", None])
        page = self.browser.find_element(By.TAG_NAME, "html")
        wider = page.get_property("scrollWidth") - page.get_property("clientWidth")
        self.assertEqual([page.get_attribute("lang"), wider, self.show()["ports"][2]["net_addr"]["port"]], ["de", 0, 5005])
