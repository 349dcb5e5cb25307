// Port selection, the save gate, the setter pass and page choice.
#include <string>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "state.h"

namespace {

using fake::P;

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
};

const char *const kModbusLoads[] = {"get_mbus_mode_info", "get_mbus_rtumaster_mode_info",
                                    "get_mbus_rtuslave_mode_info", "get_mbus_asciimaster_mode_info",
                                    "get_mbus_asciislave_mode_info"};

TEST_F(Dispatch, PortSelection)
{
    struct Case {
        const char *what;
        const char *index;  // null: field absent
        int port;
    } cases[] = {
        {"absent selects port 0", nullptr, 0},
        {"2 selects port 2", "2", 2},
        {"3 with leading blank", " 3", 3},
        {"not a number selects port 0", "abc", 0},
        {"digits then text", "1x", 1},
        {"empty selects port 0", "", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        if (c.index)
            fake::field("h_PortIndex", c.index);
        // Each port runs another service, so the page tells which was read.
        for (int i = 0; i < 4; ++i)
            fake::wr32(P().ports[i], PI_PORT_MODE, 4 + i);
        P().templates["en/x.htm"] = "<%h_PortIndex%>";
        fake::Result r = fake::run_request();
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(iPortIndex, c.port);
        for (const char *load : kModbusLoads)
            EXPECT_NE(fake::call_index(std::string(load) + " " + std::to_string(c.port)), -1) << load;
        const char *pages[] = {"rtu_slave_mode.htm", "rtu_master_mode.htm", "ascii_slave_mode.htm",
                               "ascii_master_mode.htm"};
        EXPECT_NE(fake::call_index(std::string("parse_html en/") + pages[c.port]), -1);
    }
}

TEST_F(Dispatch, ModbusStateLoadedInOrderBeforeTheSave)
{
    fake::field("h_PortIndex", "1");
    fake::field("todo", "save");
    fake::run_request();
    std::vector<std::string> got;
    for (const std::string &c : P().calls)
        if (c.rfind("get_mbus_", 0) == 0 || c == "cgi_val todo" || c == "cgi_val next_page" ||
            c == "cgi_val h_PortIndex")
            got.push_back(c);
    const std::vector<std::string> want = {
        "cgi_val h_PortIndex",
        "cgi_val next_page",
        "get_mbus_mode_info 1",
        "get_mbus_rtumaster_mode_info 1",
        "get_mbus_rtuslave_mode_info 1",
        "get_mbus_asciimaster_mode_info 1",
        "get_mbus_asciislave_mode_info 1",
        "cgi_val todo",
        "cgi_val h_PortIndex",  // the setter pass looks up every row
    };
    EXPECT_EQ(got, want);
}

// A port index outside the four records is refused before anything is
// loaded for it or stored.
TEST_F(Dispatch, PortIndexOutsideTheFourPortsIsRefused)
{
    for (const char *index : {"4", "7", "-1", "99999999999", "-2147483648"}) {
        SCOPED_TRACE(index);
        fake::reset();
        fake::field("h_PortIndex", index);
        fake::field("todo", "save");
        fake::field("h_ServiceMode", "4");
        fake::Result r = fake::run_request();
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(fake::calls_starting("CgiError").size(), 1u);
        for (const char *never : {"get_mbus", "set_mbus", "SaveNewConfig", "CFL_VALUE_SET",
                                  "html_header", "parse_html", "fw_"})
            EXPECT_TRUE(fake::calls_starting(never).empty()) << never;
        EXPECT_EQ(r.out.rfind("Status: 500", 0), 0u);
        // Every record is still released.
        EXPECT_EQ(P().frees.size(), 9u);
    }
}

TEST_F(Dispatch, OnlyTheExactWordSaveApplies)
{
    struct Case {
        const char *what;
        const char *todo;
        bool applies;
    } cases[] = {
        {"exact", "save", true},
        {"capitalised", "Save", false},
        {"upper case", "SAVE", false},
        {"trailing blank", "save ", false},
        {"leading blank", " save", false},
        {"empty", "", false},
        {"absent", nullptr, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        if (c.todo)
            fake::field("todo", c.todo);
        fake::field("h_ServiceMode", "4");
        fake::run_request();
        // The setter pass looks up every row; the mode change shows on the page's record.
        EXPECT_EQ(fake::call_index("cgi_val h_ServiceMode") != -1, c.applies);
        EXPECT_EQ(fake::rd32(P().rendered_ports[0], PI_PORT_MODE), c.applies ? PORT_UDP_MODE : 0);
    }
}

TEST_F(Dispatch, SetterPassWalksTheTableInRowOrder)
{
    fake::field("todo", "save");
    fake::run_request();
    std::vector<std::string> looked_up;
    bool after_todo = false;
    for (const std::string &c : P().calls) {
        if (c == "cgi_val todo") {
            after_todo = true;
            continue;
        }
        if (after_todo && c.rfind("cgi_val ", 0) == 0)
            looked_up.push_back(c.substr(8));
    }
    std::vector<std::string> rows;
    for (const TagEntry *row = fun_tab; row->tag; ++row)
        rows.push_back(row->tag);
    ASSERT_GE(looked_up.size(), rows.size());
    looked_up.resize(rows.size());
    EXPECT_EQ(looked_up, rows);
}

TEST_F(Dispatch, TableShape)
{
    size_t n = 0;
    while (fun_tab[n].tag) {
        EXPECT_NE(fun_tab[n].getter, nullptr) << fun_tab[n].tag;
        ++n;
    }
    EXPECT_EQ(fun_tab[n].getter, nullptr);
    EXPECT_EQ(fun_tab[n].setter, nullptr);
    EXPECT_STREQ(fun_tab[0].tag, "h_PortIndex");
    // The service mode row comes before every row it guards.
    size_t mode_row = 0;
    while (fun_tab[mode_row].tag && std::string(fun_tab[mode_row].tag) != "h_ServiceMode")
        ++mode_row;
    ASSERT_LT(mode_row, n);
    for (size_t i = 0; i < mode_row; ++i) {
        std::string t = fun_tab[i].tag;
        EXPECT_TRUE(t == "h_PortIndex" || t == "PortList" || t == "PortNum" ||
                    t == "fw_version" || t == "uptime" || t == "wanip")
            << t;
    }
}

TEST_F(Dispatch, RowsWithoutSetterIgnoreTheirField)
{
    fake::field("todo", "save");
    fake::field("PortNum", "9");
    fake::field("h_PortIndex", "1");
    P().templates["en/s2n_service_mode_tcpsrv.htm"] = "<%PortNum%>";
    fake::Result r = fake::run_request();
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("4"), std::string::npos);
}

TEST_F(Dispatch, PageChoiceByMode)
{
    const char *pages[] = {"s2n_service_mode_tcpsrv.htm", "s2n_service_mode_tcpcli.htm",
                           "s2n_service_mode_udp.htm",    "s2n_service_mode_vcom.htm",
                           "rtu_slave_mode.htm",          "rtu_master_mode.htm",
                           "ascii_slave_mode.htm",        "ascii_master_mode.htm"};
    for (int mode = -1; mode <= 9; ++mode) {
        SCOPED_TRACE(mode);
        fake::reset();
        fake::wr32(P().ports[0], PI_PORT_MODE, mode);
        fake::run_request();
        std::string page = (mode >= 0 && mode < 8) ? pages[mode] : "";
        EXPECT_NE(fake::call_index("parse_html en/" + page), -1);
    }
}

TEST_F(Dispatch, PageChoiceWithMissingRecordIsEmpty)
{
    P().port_missing[2] = true;
    fake::field("h_PortIndex", "2");
    fake::run_request();
    EXPECT_NE(fake::call_index("parse_html en/"), -1);
}

TEST_F(Dispatch, NextPageSelectsThePage)
{
    struct Case {
        const char *what;
        const char *next_page;
        bool save;
        const char *path;  // null: refused with CgiError
    } cases[] = {
        {"named page, no save", "rtu_master_mode.htm", false, "en/rtu_master_mode.htm"},
        {"named page in a save", "s2n_service_mode_udp.htm", true, "en/s2n_service_mode_udp.htm"},
        {"any plain name", "other.htm", false, "en/other.htm"},
        {"traversal", "../../etc/passwd", false, "en/s2n_service_mode_tcpsrv.htm"},
        {"slash", "a/b.htm", false, "en/s2n_service_mode_tcpsrv.htm"},
        {"backslash", "..\\b.htm", false, "en/s2n_service_mode_tcpsrv.htm"},
        {"hidden file", ".htaccess", false, "en/s2n_service_mode_tcpsrv.htm"},
        {"empty name", "", true, "en/s2n_service_mode_udp.htm"},
        {"128 characters", nullptr, false, "en/s2n_service_mode_tcpsrv.htm"},
        {"60 characters fit the path", "", false, ""},
        {"61 characters do not", "", true, nullptr},
    };
    std::string n128(128, 'a'), n60(60, 'b'), n61(61, 'c');
    cases[8].next_page = n128.c_str();
    cases[9].next_page = n60.c_str();
    std::string p60 = "en/" + n60;
    cases[9].path = p60.c_str();
    cases[10].next_page = n61.c_str();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        fake::field("next_page", c.next_page);
        if (c.save) {
            fake::field("todo", "save");
            fake::field("h_ServiceMode", "4");
        }
        fake::Result r = fake::run_request();
        if (c.path) {
            EXPECT_NE(fake::call_index(std::string("parse_html ") + c.path), -1);
            EXPECT_TRUE(fake::calls_starting("CgiError").empty());
        } else {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(fake::calls_starting("CgiError").size(), 1u);
            EXPECT_TRUE(fake::calls_starting("html_header").empty());
            // Refused before the save: nothing changed or stored.
            EXPECT_TRUE(fake::calls_starting("set_mbus").empty());
            EXPECT_TRUE(fake::calls_starting("SaveNewConfig").empty());
        }
    }
}

TEST_F(Dispatch, NextPageWithoutSaveStoresNothing)
{
    fake::field("next_page", "rtu_master_mode.htm");
    fake::field("h_ServiceMode", "6");
    fake::run_request();
    for (const char *never : {"set_mbus", "SaveNewConfig", "CFL_VALUE_SET"})
        EXPECT_TRUE(fake::calls_starting(never).empty()) << never;
}

TEST_F(Dispatch, SavedModeChoosesTheNewPage)
{
    fake::field("todo", "save");
    fake::field("h_ServiceMode", "4");
    fake::run_request();
    EXPECT_NE(fake::call_index("parse_html en/s2n_service_mode_udp.htm"), -1);
}

TEST_F(Dispatch, HeaderComesFirstOnTheOutput)
{
    fake::field("todo", "save");
    fake::field("h_ServiceMode", "3");
    fake::Result r = fake::run_request();
    EXPECT_EQ(r.out.rfind("Content-Type: text/html\n\n", 0), 0u) << r.out;
    EXPECT_LT(fake::call_index("html_header"), fake::call_index("parse_html en/s2n_service_mode_tcpcli.htm"));
}

}  // namespace
