// The save flow: Modbus and port saves, the port number check, the per-port
// entries of the system configuration, the firewall reload, refused saves.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "state.h"

namespace {

using fake::P;
using std::string;

// What follows a changed per-port entry; what a save of port 0 from no page
// stores.
const string kRenew = "write-back, net_get_wanif, fw_renewconf eth0, reload";
const string kPort0 = "set_mbus_mode_info 0 0, SaveNewConfig 0";

// Runs the request and lists, joined by ", ", the calls that reset
// connections, check, store, write the configuration file or renew the
// firewall, then one "reload" per reload child. An entry of section "serial" of the system configuration
// shows as "key value", the item write-back as "write-back".
string run()
{
    static const std::regex listed("^(clearConn|check_valid_|set_mbus_|SaveNewConfig|CFL_VALUE_SET|net_|fw_)"),
        entry("^CFL_VALUE_SET_STRING serial (.*) /var/run//system\\.conf$"),
        items("^CFL_VALUE_SET_MULTI_ITEMS /var/run//system\\.conf$");
    fake::run_request();
    string out;
    for (const string &c : P().calls)
        if (std::regex_search(c, listed))
            out += ", " + std::regex_replace(std::regex_replace(c, entry, "$1"), items, "write-back");
    for (const string &line : fake::reloads())
        out += ", " + (line.rfind("ser2net_remote_man ", 0) == 0 ? "reload" : line);
    return out.substr(out.empty() ? 0 : 2);
}

// A fresh platform and a save of port from next_page (null: no field).
// The port's RTU master and ASCII slave records claim ports 5001 and 5004.
void start(const char *next_page, int port)
{
    fake::reset();
    P().rtumaster[port].host_port = 5001;
    P().asciislave[port].server_port = 5004;
    fake::fields({{"todo", "save"}, {"h_PortIndex", std::to_string(port)}});
    if (next_page)
        fake::field("next_page", next_page);
}

// What a port save of port 0 writes when port 2's entries follow its record.
string writes(const string &entries) { return kPort0 + ", " + entries + ", " + kRenew; }

// A Modbus page stores its code, switches the port's network off and stores
// the page's own record, unless it is a slave page whose server port the
// library reports in use by another port that listens on TCP (a master's
// port is never checked). Any other page is a port save: the port's mode, as
// the setters left it, is stored, and a switched-off network is switched on,
// unless another port's service listens on its data port with the same
// transport (port 2's record here). Then the asked
// connection reset follows, and port 2's entries are brought in line with
// its record. A message from a setter or a port check refuses the whole
// save, the first one standing: no Modbus state, no records, no connection reset, no per-port
// entries, no reload. A message of a store that stored comes once the
// records are stored, so the reset and the entries follow them; a store that
// failed puts back the mode code and the page's record the request loaded,
// is followed by nothing, and says so when the library did not. A reload
// owed by a save cut short is made even with the entries in line.
// Without the selected port's record nothing is saved or reset; another
// port's missing record is skipped.
TEST(Save, StoresAndEntries)
{
    const int32_t UDP = PORT_UDP_MODE;
    struct Row {
        const char *what, *data = "4003", *protol = "0";  // port 2's entries (null: the file lacks it)
        uint16_t data_port = 4003, ctrl_port = 4103;      // port 2's record
        int32_t mode = PORT_SERVER_MODE;
        const char *page = nullptr;                       // of the save
        int port = 0, owner = -1;     // the selected port; the port the library says uses its Modbus port numbers (-1: none)
        int32_t enable = 1, enable_after = 1;             // the selected port's net_enable
        int missing = -1;                                 // a port without a record
        std::vector<std::pair<string, string>> form = {};  // more fields of the save
        const char *refused = nullptr;   // the message that refuses the save
        const char *save_msg = nullptr;  // the store's own message
        int save_status = 0;             // what the store returns: nonzero when it stored nothing
        bool owed = false;               // the save lock file marks a reload as owed
        string effects = kPort0;
    } rows[] = {
        {.what = "master page, its remote port reported in use", .page = "rtu_master_mode.htm", .owner = 3,
         .enable_after = 0, .effects = "set_mbus_mode_info 5 0, set_mbus_rtumaster_mode_info 0, SaveNewConfig 1"},
        {.what = "slave port number of the port itself", .page = "ascii_slave_mode.htm", .port = 3, .owner = 3,
         .enable_after = 0,
         .effects = "check_valid_port_num 5004, set_mbus_mode_info 6 3, set_mbus_asciislave_mode_info 3, SaveNewConfig 1"},
        {.what = "slave port number of a TCP server, reset asked", .page = "ascii_slave_mode.htm", .port = 1,
         .owner = 3, .form = {{"h_ClearConn", "0"}}, .refused = "invalid port number",
         .effects = "check_valid_port_num 5004"},
        {.what = "slave port number of another slave", .mode = ASCII_SLAVE_MODE, .page = "ascii_slave_mode.htm",
         .owner = 2, .refused = "invalid port number", .effects = "check_valid_port_num 5004"},
        {.what = "slave port number reported for a TCP client", .mode = PORT_CLIENT_MODE,
         .page = "ascii_slave_mode.htm", .owner = 2, .enable_after = 0,
         .effects = "check_valid_port_num 5004, set_mbus_mode_info 6 0, set_mbus_asciislave_mode_info 0, SaveNewConfig 1"},
        {.what = "value out of its limits and the port in use", .page = "ascii_slave_mode.htm", .owner = 2,
         .form = {{"asciislave_server_port", "70000"}}, .refused = "port must be 0 to 65535",
         .effects = "check_valid_port_num 5004"},
        {.what = "two TCP servers on one number", .data_port = 4001, .refused = "port number already used by Port3",
         .effects = ""},
        {.what = "two UDP services on one number", .data_port = 4001, .mode = UDP, .form = {{"h_ServiceMode", "4"}},
         .refused = "port number already used by Port3", .effects = ""},
        {.what = "a TCP server and a UDP service on one number", .data_port = 4001, .mode = UDP,
         .effects = writes("DataPort2 4001, CtrlPort2 4103, ProtolPort2 1")},
        {.what = "a TCP server on the number of a TCP client", .data_port = 4001, .mode = PORT_CLIENT_MODE,
         .effects = writes("DataPort2 4001, CtrlPort2 4103")},
        {.what = "Modbus number, no page", .mode = PORT_VIRTUALCOM_MODE, .port = 2, .form = {{"h_ServiceMode", "6"}},
         .effects = "set_mbus_mode_info 5 2, SaveNewConfig 0"},
        {.what = "network switched on", .mode = PORT_VIRTUALCOM_MODE, .page = "s2n_service_mode_tcpsrv.htm", .port = 2,
         .enable = 0, .form = {{"h_ServiceMode", "4"}}, .effects = "set_mbus_mode_info 2 2, SaveNewConfig 0, ProtolPort2 1, " + kRenew},
        {.what = "no Modbus page in other letters", .mode = PORT_VIRTUALCOM_MODE, .page = "RTU_master_mode.htm",
         .port = 2, .enable = -1, .enable_after = -1, .effects = "set_mbus_mode_info 3 2, SaveNewConfig 0"},
        {.what = "0 with udp becomes 1", .mode = UDP, .effects = writes("ProtolPort2 1")},
        {.what = "1 without udp becomes 0, control port not compared", .protol = "1", .ctrl_port = 4999, .mode = 1,
         .effects = writes("ProtolPort2 0")},
        {.what = "5 without udp becomes 0", .protol = "5", .effects = writes("ProtolPort2 0")},
        {.what = "-1 with udp stays", .protol = "-1", .mode = UDP},
        {.what = "missing protocol entry reads as 0", .protol = nullptr, .mode = UDP, .effects = writes("ProtolPort2 1")},
        {.what = "control port written even when equal", .protol = "1", .data_port = 4010, .mode = UDP,
         .effects = writes("DataPort2 4010, CtrlPort2 4103")},
        {.what = "new data port and udp, full port range", .data_port = 65535, .ctrl_port = 0, .mode = UDP,
         .effects = writes("DataPort2 65535, CtrlPort2 0, ProtolPort2 1")},
        {.what = "data port 0 leaves the port alone", .data = "0", .data_port = 4010, .ctrl_port = 4110, .mode = UDP},
        {.what = "reset asked, after the store", .form = {{"h_ClearConn", "0"}}, .effects = kPort0 + ", clearConn 0"},
        {.what = "refused value, reset asked", .data_port = 4010, .page = "s2n_service_mode_udp.htm",
         .form = {{"h_ServiceMode", "4"}, {"udp_port", "0"}, {"h_ClearConn", "0"}},
         .refused = "port must be 1 to 65535", .effects = ""},
        {.what = "store stores and leaves a message, reset asked", .data_port = 4010, .page = "rtu_master_mode.htm",
         .enable_after = 0, .form = {{"h_ClearConn", "0"}}, .save_msg = "save failed",
         .effects = "set_mbus_mode_info 5 0, set_mbus_rtumaster_mode_info 0, "
                    "SaveNewConfig 1, clearConn 0, DataPort2 4010, CtrlPort2 4103, " + kRenew},
        {.what = "store fails: the code and the page's record put back, reset asked", .data_port = 4010,
         .page = "rtu_master_mode.htm", .enable_after = 0, .form = {{"rtumaster_host_port", "502"}, {"h_ClearConn", "0"}},
         .save_msg = "save failed", .save_status = -1,
         .effects = "set_mbus_mode_info 5 0, set_mbus_rtumaster_mode_info 0, SaveNewConfig 1, set_mbus_mode_info 0 0, "
                    "set_mbus_rtumaster_mode_info 0"},
        {.what = "store fails without a message: the code put back", .data_port = 4010,
         .form = {{"h_ServiceMode", "4"}}, .save_status = 1,
         .effects = "set_mbus_mode_info 2 0, SaveNewConfig 0, set_mbus_mode_info 0 0"},
        {.what = "reload owed by a save cut short, entries in line", .owed = true, .effects = kPort0 + ", " + kRenew},
        {.what = "no record of the port, reset asked", .data_port = 4010, .page = "rtu_master_mode.htm", .missing = 0,
         .form = {{"h_ClearConn", "0"}}, .effects = ""},
        {.what = "no record of another port", .data_port = 4010, .missing = 1,
         .effects = writes("DataPort2 4010, CtrlPort2 4103")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        start(row.page, row.port);
        for (int number = 5001; row.owner >= 0 && number <= 5004; ++number)
            P().ports_in_use[number] = row.owner;
        fake::wr32(P().ports[row.port], PI_NET_ENABLE, row.enable);
        P().conf["serial"]["DataPort2"] = row.data;
        if (!row.protol)
            P().conf["serial"].erase("ProtolPort2");
        else
            P().conf["serial"]["ProtolPort2"] = row.protol;
        fake::wr_port(P().ports[2], PI_NET_ADDR, row.data_port);
        fake::wr_port(P().ports[2], PI_CTRL_ADDR, row.ctrl_port);
        fake::wr32(P().ports[2], PI_PORT_MODE, row.mode);
        if (row.missing >= 0)
            P().port_missing[row.missing] = true;
        P().form.insert(P().form.end(), row.form.begin(), row.form.end());
        P().save_msg = row.save_msg;
        P().save_status = row.save_status;
        FILE *lock = std::fopen(S2N_TEST_LOCK, "w");
        std::fputs(row.owed ? "1" : "", lock);
        std::fclose(lock);
        EXPECT_EQ(run(), row.effects);
        EXPECT_STREQ(ret_msg, row.refused ? row.refused : row.save_status ? "save failed" : row.save_msg);
        EXPECT_EQ(fake::rd32((P().saved ? P().saved_ports : P().ports)[row.port], PI_NET_ENABLE), row.enable_after);
        struct stat mark;  // a reload started pays what is owed
        EXPECT_TRUE(stat(S2N_TEST_LOCK, &mark) == 0 && mark.st_size == 0);
        // After a failed store, what the request loaded is stored again.
        EXPECT_TRUE(!row.save_status || (P().mbus_mode[row.port] == 0 && P().rtumaster[row.port].host_port == 5001));
    }
    // Changes of several ports write back the items as read and reload once;
    // an empty interface name is still handed on.
    start(nullptr, 0);
    P().wanif = "";
    fake::wr32(P().ports[0], PI_PORT_MODE, PORT_UDP_MODE);
    fake::wr_port(P().ports[1], PI_NET_ADDR, 4020);
    fake::wr_port(P().ports[3], PI_NET_ADDR, 4040);
    EXPECT_EQ(run(), "set_mbus_mode_info 2 0, SaveNewConfig 0, ProtolPort0 1, DataPort1 4020, CtrlPort1 4102, "
                     "DataPort3 4040, CtrlPort3 4104, write-back, net_get_wanif, fw_renewconf , reload");
    EXPECT_EQ(P().multi_items_written, (std::vector<string>{"system.fw_version=1.2.3", "serial.s2n_remoteman=1"}));
}

// The reload child reports its state once the test lets it go on, or after
// 5 s: the request must have returned meanwhile.
TEST(Save, ReloadRunsInADetachedChild)
{
    start(nullptr, 0);
    fake::wr_port(P().ports[1], PI_NET_ADDR, 4010);
    int hold[2];
    ASSERT_EQ(pipe(hold), 0);
    P().reload_hold = dup2(hold[0], 100);  // above the descriptors the child closes
    fake::run_request();
    EXPECT_EQ(write(hold[1], "x", 1), 1);
    EXPECT_EQ(fake::reloads(),
              std::vector<string>{"ser2net_remote_man sid=own cwd=/ umask=0 sigchld=ign fds=0 let go"});
}

// ---- One save at a time ----

// While another save holds the lock (here an open file description lock of
// the test's own, which the program's record lock must wait for), a save
// gives up after its bounded wait: it shows why and runs no setter, stores
// nothing and resets nothing; a page view meanwhile answers without the
// lock and without a message. Saves that wait for each other and then
// store: e2e_device.
TEST(Save, OneAtATime)
{
    int fd = open(S2N_TEST_LOCK, O_RDWR | O_CREAT, 0600);
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    ASSERT_EQ(fcntl(fd, F_OFD_SETLK, &whole), 0);
    start(nullptr, 0);
    fake::fields({{"h_ServiceMode", "4"}, {"udp_port", "4100"}, {"h_ClearConn", "1"}});
    EXPECT_EQ(run(), "");
    EXPECT_STREQ(ret_msg, "device busy, try again");
    EXPECT_EQ(fake::console_lines().size(), 0u) << "no setter runs";
    fake::reset();
    fake::field("h_PortIndex", "1");
    EXPECT_EQ(fake::run_request().body(), "page=" + string(fake::mode_page(PORT_SERVER_MODE)));
    EXPECT_EQ(ret_msg, nullptr);
    close(fd);
}

}  // namespace
