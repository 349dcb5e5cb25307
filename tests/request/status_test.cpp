// Status strip through whole requests: firmware version, uptime and WAN
// address as the library reports them.
#include <string>

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace {

using fake::P;

// Uptime fields are shown as given, without carrying, and as zero time when
// the library fills in none; the WAN address only with an interface name and
// a connection type (of any text).
TEST(Status, Strip)
{
    struct Case {
        const char *what;
        UptimeInfo up;  // hours -1: the library fills in nothing
        const char *wanif, *conn_type, *ip;  // conn_type null: none; ip "": if_getinfo fails
        bool fw;
        const char *shown;
    } cases[] = {
        {"hours only, address", {0, 5, 3, 9}, "eth0", "dhcp", "1.2.3.4", true, "v1|05:03:09|1.2.3.4"},
        {"one day, no interface", {1, 5, 3, 9}, "", "dhcp", "1.2.3.4", true, "v1|1 day, 05:03:09|"},
        {"two days, no conn type", {2, 0, 0, 0}, "eth0", nullptr, "1.2.3.4", true, "v1|2 days, 00:00:00|"},
        {"negative days, empty conn type", {-1, 5, 3, 9}, "eth0", "", "1.2.3.4", true, "v1|05:03:09|1.2.3.4"},
        {"uncarried hours, no address", {0, 123, 4, 5}, "eth0", "dhcp", "", true, "v1|123:04:05|N/A"},
        {"large hours, no version", {0, 2147483647, 0, 10}, "eth0", "dhcp", "1.2.3.4", false,
         "|2147483647:00:10|1.2.3.4"},
        {"unknown uptime", {-1, -1, -1, -1}, "eth0", "dhcp", "1.2.3.4", true, "v1|00:00:00|1.2.3.4"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        P().uptime = c.up;
        P().uptime_known = c.up.hours >= 0;
        P().wanif = c.wanif;
        P().wan_ip = c.ip;
        if (c.conn_type)
            P().conf["network"]["wan_conn_type"] = c.conn_type;
        if (c.fw)
            P().conf["system"]["fw_version"] = "v1";
        else
            P().conf["system"].erase("fw_version");
        P().templates["en/s2n_service_mode_tcpsrv.htm"] = "<%fw_version%>|<%uptime%>|<%wanip%>";
        const std::string out = fake::run_request().out;
        EXPECT_EQ(out.substr(out.find("\n\n") + 2), c.shown);
        // The version comes from the system configuration, not the copy loaded at start-up.
        EXPECT_EQ(fake::calls_starting("sysconf_getvalue system fw_version").size(), 1u);
    }
}

}  // namespace
