// The request from start to end: loads, release order, exit status.
#include <cstring>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "state.h"

namespace {

using fake::P;

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

TEST_F(Lifecycle, StartUpLoadsEverythingInOrder)
{
    fake::Result r = fake::run_request();
    ASSERT_EQ(r.status, 0);
    const std::vector<std::string> head(P().calls.begin(), P().calls.begin() + 13);
    const std::vector<std::string> want = {
        "read_cgi_input",
        "cgi_val lang",
        "lang_get_index (null)",
        "CFL_GET_MULTI_ITEMS /var/run//system.conf",
        "GetDevInfoAlloc",
        "GetPortInfoAlloc 0", "GetTtyInfoAlloc 0",
        "GetPortInfoAlloc 1", "GetTtyInfoAlloc 1",
        "GetPortInfoAlloc 2", "GetTtyInfoAlloc 2",
        "GetPortInfoAlloc 3", "GetTtyInfoAlloc 3",
    };
    EXPECT_EQ(head, want);
    EXPECT_EQ(P().calls.back(), "list_clear");
    // The configuration items were read into mi.
    EXPECT_STREQ(mi[0].value, "1.2.3");
    EXPECT_STREQ(mi[1].value, "1");
    EXPECT_EQ(mi[2].section, nullptr);
    EXPECT_EQ(mi[2].kind, 1);
}

TEST_F(Lifecycle, FreesEveryRecordOnceInOrder)
{
    fake::run_request();
    const std::vector<std::string> want = {"dev",    "port 0", "tty 0", "port 1", "tty 1",
                                           "port 2", "tty 2",  "port 3", "tty 3"};
    EXPECT_EQ(P().frees, want);
    EXPECT_EQ(pDevInfo, nullptr);
    for (int i = 0; i < S2N_PORTS; ++i) {
        EXPECT_EQ(pPortInfo[i], nullptr);
        EXPECT_EQ(pTtyInfo[i], nullptr);
    }
}

TEST_F(Lifecycle, MissingRecordsAreSkippedOnRelease)
{
    P().port_missing[1] = true;
    P().tty_missing[3] = true;
    fake::Result r = fake::run_request();
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> want = {"dev",    "port 0", "tty 0", "tty 1",
                                           "port 2", "tty 2",  "port 3"};
    EXPECT_EQ(P().frees, want);
}

TEST_F(Lifecycle, ExitStatusIsTheRenderersStatus)
{
    P().parse_html_status = 7;
    EXPECT_EQ(fake::run_request().status, 7);
}

TEST_F(Lifecycle, MissingDeviceRecordEndsTheRequest)
{
    P().dev_missing = true;
    fake::field("todo", "save");
    fake::field("h_ServiceMode", "4");
    fake::Result r = fake::run_request();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(fake::calls_starting("CgiError").size(), 1u);
    for (const char *never : {"GetPortInfoAlloc", "GetTtyInfoAlloc", "get_mbus", "html_header",
                              "parse_html", "SaveNewConfig", "set_mbus"})
        EXPECT_TRUE(fake::calls_starting(never).empty()) << never;
    EXPECT_EQ(r.out.rfind("Status: 500", 0), 0u) << r.out;
}

TEST_F(Lifecycle, LanguageFieldPicksTheLanguage)
{
    fake::field("lang", "de");
    P().lang_index = 1;
    P().lang_dir = "de";
    P().templates["de/s2n_service_mode_tcpsrv.htm"] = "deutsch";
    fake::Result r = fake::run_request();
    EXPECT_NE(fake::call_index("lang_get_index de"), -1);
    EXPECT_NE(fake::call_index("lang_get_tag 1"), -1);
    EXPECT_NE(r.out.find("deutsch"), std::string::npos);
}

}  // namespace
