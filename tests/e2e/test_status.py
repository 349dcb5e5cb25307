"""Status strip, refused-save messages in the page's language and the
connection reset on pages of the built CGI over the devkit (host uptime,
the loopback interface as WAN)."""

from devkit import DeviceTest, cgi_env

# Refused saves of port 3 that ask for a reset: form, posted, page language,
# message. The device's English texts stay as they stand; a Modbus port in
# use (port 0's data port) is refused after every setter has run.
REFUSED = [
    ("h_ServiceMode=4&HostStartIp1=10.0.0.9&HostEndIp1=10.0.0.1", True, "en", "end ip must more than start ip"),
    ("next_page=rtu_slave_mode.htm&rtuslave_server_port=4001", True, "en", "invalid port number"),
    ("h_ServiceMode=4&udp_port=0", True, "de", "Der Port muss zwischen 1 und 65535 liegen"),
    ("h_ServiceMode=4&udp_port=4100", False, "de", "Speichern nur per POST-Formular möglich"),
]


class StatusTest(DeviceTest):
    def test_refused_save_page_shows_all_five(self):
        self.set("system_conf.network.wan_ifname=lo")
        # "h_ClearConn" with 0 in a save clears the selected port; outside a
        # save, or in a refused one, never.
        self.request("todo=save&h_PortIndex=1&h_ClearConn=0", post=True)
        self.request("h_PortIndex=2&h_ClearConn=1")
        for form, post, lang, message in REFUSED:
            with self.subTest(message):
                r = self.request("%s&lang=%s&todo=save&h_PortIndex=3&h_ClearConn=0&next_page=s2n_service_mode_tcpsrv.htm"
                                 % (form, lang), post=post)
                self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
                for shown in ("<dd>devkit-1.0</dd>", "<dd>127.0.0.1</dd>", '<p class="msg" role="alert">%s</p>' % message,
                              'name="h_ClearConn" value="0"'):
                    self.assertIn(shown, r.body)
                self.assertRegex(r.body, r"<dd>(\d+ days?, )?\d\d+:\d\d:\d\d</dd>")
        self.assertEqual(self.show()["logs"]["clear_conn"], ["clearConn 1"])

    def test_uptime_fixed_by_the_environment(self):
        # Seconds that are not all digits end at the first other character.
        for seconds, shown in (("90061", "1 day, 01:01:01"), ("59x", "00:00:59"), ("0", "00:00:00")):
            with self.subTest(seconds=seconds):
                r = self.run_cgi(cgi_env(self.dev, DEVKIT_UPTIME=seconds))
                self.assertIn("<dd>%s</dd>" % shown, r.body)
