"""Status strip, refused-save message and connection reset on a page of the
built CGI over the devkit (host uptime, the loopback interface as WAN)."""

from devkit import DeviceTest, cgi_env


class StatusTest(DeviceTest):
    def test_refused_save_page_shows_all_five(self):
        self.set("system_conf.network.wan_ifname=lo")
        # "h_ClearConn" with 0 in a save clears the selected port; outside a
        # save, or in a refused one, never.
        self.request("todo=save&h_PortIndex=1&h_ClearConn=0", post=True)
        r = self.request("todo=save&h_PortIndex=3&h_ServiceMode=4&HostStartIp1=10.0.0.9&HostEndIp1=10.0.0.1"
                         "&h_ClearConn=0&next_page=s2n_service_mode_tcpsrv.htm", post=True)
        self.request("h_PortIndex=2&h_ClearConn=1")
        self.assertEqual(self.show()["logs"]["clear_conn"], ["clearConn 1"])
        self.assertEqual((r.exit, r.status), (0, 200), r.stderr)
        message = '<p class="msg" role="alert">end ip must more than start ip</p>'
        for shown in ("<dd>devkit-1.0</dd>", "<dd>127.0.0.1</dd>", message, 'name="h_ClearConn" value="0"'):
            self.assertIn(shown, r.body)
        self.assertRegex(r.body, r"<dd>(\d+ days?, )?\d\d+:\d\d:\d\d</dd>")

    def test_uptime_fixed_by_the_environment(self):
        # Seconds that are not all digits end at the first other character.
        for seconds, shown in (("90061", "1 day, 01:01:01"), ("59x", "00:00:59"), ("0", "00:00:00")):
            with self.subTest(seconds=seconds):
                r = self.run_cgi(cgi_env(self.dev, DEVKIT_UPTIME=seconds))
                self.assertIn("<dd>%s</dd>" % shown, r.body)
