// Modbus pages: port 0's four Modbus records, shown with the device's
// defaults and changed by a save of any Modbus page.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "state.h"

namespace {

using fake::P;
using Form = std::vector<std::pair<std::string, std::string>>;

// Saves of port 0 from pages that show every Modbus tag in table order. The
// records hold nothing but the RTU master's address, which has markup
// characters, and its library bytes 1 to 4. owner: the serial port holding
// 5020 (0, the port itself, leaves it free).
TEST(Modbus, ShowsAndSaves)
{
    const std::string old = "a\"<>&'b", a255 = "<\"&'>" + std::string(250, 'a');
    const std::string slave_shown = "&lt;&quot;&amp;&#39;&gt;" + a255.substr(5) +
                                    "|502|0|0|5020|10|5|12|7|-3||502|0|0|502|10|5|100|100|44";
    const Form slave = {{"rtuslave_server_port", "5020"}, {"rtuslave_max_connect", ""},
                        {"rtuslave_max_try", "abc"}, {"rtuslave_rqstpause", "12abc"},
                        {"rtuslave_respwait", "  7"}, {"rtuslave_idle_timeout", "-3"},
                        {"asciislave_idle_timeout", "44"}, {"rtumaster_host_addr", a255}};
    struct Case { const char *what, *page; Form form; int owner; std::string shown; MbusSlaveInfo stored; };
    const Case cases[] = {
        {"slave page, other pages' fields in memory only", "rtu_slave_mode.htm", slave, 0, slave_shown,
         {5020, 0, 0, 12, 7, -3}},
        {"refused: entered values shown", "rtu_slave_mode.htm", slave, 2, slave_shown, {}},
        {"address of 256 characters refused, unset fields", "rtu_master_mode.htm",
         {{"rtumaster_host_addr", a255 + "b"}}, 0,
         "a&quot;&lt;&gt;&amp;&#39;b|502|0|0|502|10|5|100|100|10||502|0|0|502|10|5|100|100|10", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        P().rtumaster[0] = {0, 0, "a\"<>&'b", 0, {1, 2, 3, 4}};
        P().ports_in_use[5020] = c.owner;
        std::string tags;
        for (const TagEntry *row = fun_tab; row->tag; ++row)
            if (std::strstr(row->tag, "master_") || std::strstr(row->tag, "slave_"))
                tags += (tags.empty() ? "<%" : "|<%") + std::string(row->tag) + "%>";
        P().templates["en/" + std::string(c.page)] = tags;
        fake::field("todo", "save");
        fake::field("next_page", c.page);
        for (const auto &f : c.form)
            fake::field(f.first, f.second);
        EXPECT_EQ(fake::run_request().out, "Content-Type: text/html\n\n" + c.shown);
        EXPECT_STREQ(P().rtumaster[0].host_addr, old.c_str());
        EXPECT_EQ(std::memcmp(&P().rtuslave[0], &c.stored, sizeof c.stored), 0);
        EXPECT_EQ(std::memcmp(P().rtumaster[0].reserved, "\1\2\3\4", 4), 0);
    }
}

}  // namespace
