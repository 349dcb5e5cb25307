// Saves a browser sends from another site's page are shown, not stored.
#include <cstdlib>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "state.h"

namespace {

struct Case {
    const char *name;
    const char *origin;   // HTTP_ORIGIN, null: absent
    const char *referer;  // HTTP_REFERER
    const char *host;     // HTTP_HOST
    bool refused;
};

const char kDev[] = "192.168.1.1";

const Case kCases[] = {
    {"same host", "http://192.168.1.1", nullptr, kDev, false},
    {"same host and port, other letter case", "https://Dev.Lan:8080", nullptr, "dev.lan:8080", false},
    {"other host", "http://evil.example", nullptr, kDev, true},
    {"Origin null", "null", nullptr, kDev, true},
    {"Origin decides over a matching Referer", "http://evil.example", "http://192.168.1.1/", kDev, true},
    {"Referer only, same host", nullptr, "http://192.168.1.1/cgi-bin/x.cgi?h_PortIndex=1", kDev, false},
    {"Referer only, other host", nullptr, "http://evil.example/192.168.1.1", kDev, true},
    {"neither header", nullptr, nullptr, kDev, false},
    {"port mismatch", "http://192.168.1.1:8080", nullptr, kDev, true},
    {"no Host to compare with", "http://192.168.1.1", nullptr, nullptr, true},
};

void set_env(const char *name, const char *value)
{
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

TEST(CrossSite, SaveFromAnotherSiteIsAPageView)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        fake::reset();
        set_env("HTTP_ORIGIN", c.origin);
        set_env("HTTP_REFERER", c.referer);
        set_env("HTTP_HOST", c.host);
        fake::field("todo", "save");
        fake::field("h_ServiceMode", "4");
        fake::field("udp_port", "4100");
        EXPECT_EQ(fake::run_request().status, 0);
        EXPECT_STREQ(ret_msg, c.refused ? "request from another site refused" : nullptr);
        EXPECT_EQ(fake::P().saved, !c.refused);
        EXPECT_EQ(fake::calls_starting("set_mbus").size(), c.refused ? 0u : 1u);
        // The page shows the records as they were: no setter ran.
        EXPECT_EQ(fake::rd_port(fake::P().rendered_ports[0], PI_NET_ADDR), c.refused ? 4001 : 4100);
    }
    set_env("HTTP_ORIGIN", nullptr);
    set_env("HTTP_REFERER", nullptr);
    set_env("HTTP_HOST", nullptr);
}

}  // namespace
