// Service mode numbering, port selection tags and console trace lines.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "state.h"

namespace {

using fake::P;

class ServiceMode : public ::testing::Test {
protected:
    void SetUp() override { fake::reset(); }
    void TearDown() override { rmdir(S2N_TEST_CONSOLE); }
};

struct Mode {
    int page;  // ServiceMode, as the page numbers it
    int code;  // PortMode, as the record stores it
    const char *set_line;
    const char *get_line;
};

const Mode kModes[] = {
    {1, 3, "set_ServiceMode: ENUM_SEVICE_MODE_VCOM\n", "get_ServiceMode PORT_VIRTUALCOM_MODE\n"},
    {2, 0, "set_ServiceMode: ENUM_SEVICE_MODE_SERVER\n", "get_ServiceMode PORT_SERVER_MODE\n"},
    {3, 1, "set_ServiceMode: ENUM_SEVICE_MODE_CLIENT\n", "get_ServiceMode PORT_CLIENT_MODE\n"},
    {4, 2, "set_ServiceMode: ENUM_SEVICE_MODE_UDP\n", "get_ServiceMode PORT_UDP_MODE\n"},
    {5, 4, "set_ServiceMode: ENUM_RTU_SLAVE_MODE\n", "get_ServiceMode RTU_SLAVE_MODE\n"},
    {6, 5, "set_ServiceMode: ENUM_RTU_MASTER_MODE\n", "get_ServiceMode RTU_MASTER_MODE\n"},
    {7, 6, "set_ServiceMode: ENUM_ASCII_SLAVE_MODE\n", "get_ServiceMode ASCII_SLAVE_MODE\n"},
    {8, 7, "set_ServiceMode: ENUM_ASCII_MASTER_MODE\n", "get_ServiceMode ASCII_MASTER_MODE\n"},
};

std::string summary(const char *fn, int port, int mode, int service)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s: pPortInfo[%d]->port_mode=%d iServiceMode=%d\n", fn, port,
                  mode, service);
    return buf;
}

// A save whose page carries no mode tag, so only the setter writes lines.
fake::Result save_mode(const char *value, const char *port = "1")
{
    fake::field("todo", "save");
    fake::field("h_PortIndex", port);
    fake::field("h_ServiceMode", value);
    fake::field("next_page", "plain.htm");
    P().templates.emplace("en/plain.htm", "plain");
    return fake::run_request();
}

TEST_F(ServiceMode, EveryPageNumberStoresItsCode)
{
    for (const Mode &m : kModes) {
        SCOPED_TRACE(m.page);
        fake::reset();
        fake::wr32(P().ports[1], PI_PORT_MODE, 3);
        save_mode(std::to_string(m.page).c_str());
        EXPECT_EQ(fake::rd32(P().rendered_ports[1], PI_PORT_MODE), m.code);
        const std::vector<std::string> want = {m.set_line, summary("set_ServiceMode", 1, m.code, m.page)};
        EXPECT_EQ(fake::console_lines(), want);
        EXPECT_EQ(iServiceMode, m.page);
    }
}

TEST_F(ServiceMode, NumbersOutsideOneToEightStoreNothing)
{
    struct Case {
        const char *value;
        int service;
    } cases[] = {{"0", 0}, {"9", 9}, {"-1", -1}, {"abc", 0}, {"", 0}, {"-2147483648", INT32_MIN}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.value);
        fake::reset();
        fake::wr32(P().ports[1], PI_PORT_MODE, 3);
        save_mode(c.value);
        EXPECT_EQ(std::memcmp(P().rendered_ports[1].bytes, P().ports[1].bytes, fake::kPortSize), 0);
        const std::vector<std::string> want = {summary("set_ServiceMode", 1, 3, c.service)};
        EXPECT_EQ(fake::console_lines(), want);
    }
}

TEST_F(ServiceMode, StoredCodeRendersItsPageNumber)
{
    for (const Mode &m : kModes) {
        SCOPED_TRACE(m.code);
        fake::reset();
        fake::wr32(P().ports[2], PI_PORT_MODE, m.code);
        fake::field("h_PortIndex", "2");
        fake::field("next_page", "mode.htm");
        P().templates["en/mode.htm"] = "[<%h_ServiceMode%>]";
        fake::Result r = fake::run_request();
        EXPECT_NE(r.out.find("[" + std::to_string(m.page) + "]"), std::string::npos) << r.out;
        const std::vector<std::string> want = {m.get_line, summary("get_ServiceMode", 2, m.code, m.page)};
        EXPECT_EQ(fake::console_lines(), want);
    }
}

TEST_F(ServiceMode, UnknownStoredCodeRendersTheCurrentNumber)
{
    for (int code : {8, -1, 0x7fffffff}) {
        SCOPED_TRACE(code);
        fake::reset();
        fake::wr32(P().ports[0], PI_PORT_MODE, code);
        fake::field("next_page", "mode.htm");
        P().templates["en/mode.htm"] = "[<%h_ServiceMode%>]";
        fake::Result r = fake::run_request();
        EXPECT_NE(r.out.find("[0]"), std::string::npos) << r.out;
        const std::vector<std::string> want = {summary("get_ServiceMode", 0, code, 0)};
        EXPECT_EQ(fake::console_lines(), want);
    }
    // After a save that set an unknown number, that number shows.
    fake::reset();
    fake::wr32(P().ports[1], PI_PORT_MODE, 9);
    P().templates["en/plain.htm"] = "[<%h_ServiceMode%>]";
    fake::Result r = save_mode("12");
    EXPECT_NE(r.out.find("[12]"), std::string::npos) << r.out;
}

TEST_F(ServiceMode, EveryTagWritesItsLines)
{
    fake::wr32(P().ports[0], PI_PORT_MODE, 3);
    fake::field("next_page", "twice.htm");
    P().templates["en/twice.htm"] = "<%h_ServiceMode%>-<%h_ServiceMode%>";
    fake::Result r = fake::run_request();
    EXPECT_NE(r.out.find("1-1"), std::string::npos);
    const std::string get = "get_ServiceMode PORT_VIRTUALCOM_MODE\n";
    const std::vector<std::string> want = {get, summary("get_ServiceMode", 0, 3, 1), get,
                                           summary("get_ServiceMode", 0, 3, 1)};
    EXPECT_EQ(fake::console_lines(), want);
}

// Mode 2 over a virtual COM record: only the four mode bytes change.
TEST_F(ServiceMode, StoreChangesOnlyTheModeBytes)
{
    fake::wr32(P().ports[0], PI_PORT_MODE, 3);
    save_mode("2", "0");
    const unsigned char zero[4] = {0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(P().rendered_ports[0].bytes + 8, zero, 4), 0);
    for (unsigned i = 0; i < fake::kPortSize; ++i) {
        if (i < 8 || i > 11) {
            ASSERT_EQ(P().rendered_ports[0].bytes[i], P().ports[0].bytes[i]) << "byte " << i;
        }
    }
    const std::vector<std::string> want = {"set_ServiceMode: ENUM_SEVICE_MODE_SERVER\n",
                                           summary("set_ServiceMode", 0, 0, 2)};
    EXPECT_EQ(fake::console_lines(), want);
}

// The mode row runs first and decides which later setters act.
TEST_F(ServiceMode, ModeGuardsTheLaterRows)
{
    struct Case {
        const char *what;
        const char *mode;  // null: field absent
        uint16_t port;
    } cases[] = {
        {"UDP mode takes the UDP port", "4", 5000},
        {"no mode field: guarded rows do nothing", nullptr, 4001},
        {"another mode: guarded rows do nothing", "2", 4001},
        {"mode out of range", "9", 4001},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        fake::field("todo", "save");
        if (c.mode)
            fake::field("h_ServiceMode", c.mode);
        fake::field("udp_port", "5000");
        fake::run_request();
        EXPECT_EQ(fake::rd_port(P().rendered_ports[0], PI_NET_ADDR), c.port);
    }
}

// A console that cannot be opened drops the lines and nothing else.
TEST_F(ServiceMode, UnopenableConsoleChangesNothingElse)
{
    auto run = [] {
        fake::reset();
        fake::wr32(P().ports[0], PI_PORT_MODE, 0);
        fake::field("todo", "save");
        fake::field("h_ServiceMode", "4");
        P().templates["en/s2n_service_mode_udp.htm"] = "<%h_ServiceMode%>";
        return fake::run_request();
    };
    fake::Result with_console = run();
    fake::Port stored = P().rendered_ports[0];
    fake::console_clear();
    ASSERT_EQ(mkdir(S2N_TEST_CONSOLE, 0700), 0);  // a directory cannot be opened for writing
    fake::Result without = [&] {
        P() = fake::Platform();
        return run();
    }();
    EXPECT_EQ(without.out, with_console.out);
    EXPECT_EQ(without.status, with_console.status);
    EXPECT_EQ(std::memcmp(P().rendered_ports[0].bytes, stored.bytes, fake::kPortSize), 0);
}

TEST_F(ServiceMode, MissingRecordPrintsAndChangesNothing)
{
    P().port_missing[3] = true;
    fake::field("todo", "save");
    fake::field("h_PortIndex", "3");
    fake::field("h_ServiceMode", "4");
    fake::field("next_page", "mode.htm");
    P().templates["en/mode.htm"] = "[<%h_ServiceMode%>]";
    fake::Result r = fake::run_request();
    EXPECT_NE(r.out.find("[]"), std::string::npos) << r.out;
    const std::vector<std::string> want = {summary("set_ServiceMode", 3, -1, 4),
                                           summary("get_ServiceMode", 3, -1, 4)};
    EXPECT_EQ(fake::console_lines(), want);
}

TEST_F(ServiceMode, PortTags)
{
    for (int port = 0; port < 4; ++port) {
        SCOPED_TRACE(port);
        fake::reset();
        fake::field("h_PortIndex", std::to_string(port));
        fake::field("next_page", "ports.htm");
        P().templates["en/ports.htm"] = "<%h_PortIndex%>|<%PortList%>|<%PortNum%>";
        fake::Result r = fake::run_request();
        std::string want = std::to_string(port) +
                           "|<option selected>Port1</option><option>Port2</option>"
                           "<option>Port3</option><option>Port4</option>|4";
        EXPECT_NE(r.out.find(want), std::string::npos) << r.out;
    }
}

}  // namespace
