// The save flow: Modbus and port saves, the port number check, the per-port
// entries of the system configuration, the firewall reload and refused saves.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "state.h"

namespace {

using fake::P;
using std::string;
using std::vector;

const string kConf = " /var/run//system.conf";

string set_call(const string &key, const string &value)
{
    return "CFL_VALUE_SET_STRING serial " + key + " " + value + kConf;
}

// The Modbus store calls of the log (set_mbus_mode_info excluded).
vector<string> record_stores()
{
    vector<string> out;
    for (const string &c : fake::calls_starting("set_mbus_"))
        if (c.rfind("set_mbus_mode_info", 0) != 0)
            out.push_back(c);
    return out;
}

vector<string> file_lines(const string &path)
{
    vector<string> lines;
    std::ifstream in(path);
    for (string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Waits up to timeout for the file to hold at least n lines.
vector<string> wait_lines(const string &path, size_t n, int timeout_ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    vector<string> lines = file_lines(path);
    while (lines.size() < n && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lines = file_lines(path);
    }
    return lines;
}

// Reaps the reload children this process started, waiting briefly for
// those still running.
void reap_children()
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        pid_t pid = waitpid(-1, nullptr, WNOHANG);
        if (pid < 0)
            return;  // no children left
        if (pid == 0) {
            if (std::chrono::steady_clock::now() >= end)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

class Save : public ::testing::Test {
protected:
    void SetUp() override
    {
        reap_children();
        fake::reset();
        reload_log = string(S2N_TEST_DIR) + "/save-reload-" + std::to_string(getpid()) + ".log";
        std::remove(reload_log.c_str());
        P().fw_reload_file = reload_log;
    }
    void TearDown() override
    {
        reap_children();
        std::remove(reload_log.c_str());
    }

    static void save(const char *next_page, int port = 0)
    {
        fake::field("todo", "save");
        fake::field("h_PortIndex", std::to_string(port));
        if (next_page)
            fake::field("next_page", next_page);
    }

    static void set_data_port(int port, uint16_t value)
    {
        fake::wr_port(P().ports[port], PI_NET_ADDR, value);
    }

    // Nothing of the save reached the library or the configuration file.
    static void expect_nothing_stored()
    {
        EXPECT_TRUE(fake::calls_starting("set_mbus_").empty());
        EXPECT_TRUE(fake::calls_starting("SaveNewConfig").empty());
        EXPECT_FALSE(P().saved);
        EXPECT_TRUE(fake::calls_starting("CFL_VALUE_SET").empty());
        EXPECT_TRUE(fake::calls_starting("net_get_wanif").empty());
        EXPECT_TRUE(fake::calls_starting("fw_renewconf").empty());
    }

    string reload_log;
};

// ---- Modbus pages ----

enum Kind { RTU_MASTER, RTU_SLAVE, ASCII_MASTER, ASCII_SLAVE };

void set_mbus_port(Kind kind, int port, int32_t value)
{
    switch (kind) {
    case RTU_MASTER: P().rtumaster[port].host_port = value; break;
    case RTU_SLAVE: P().rtuslave[port].server_port = value; break;
    case ASCII_MASTER: P().asciimaster[port].host_port = value; break;
    case ASCII_SLAVE: P().asciislave[port].server_port = value; break;
    }
}

TEST_F(Save, ModbusPageStoresItsCodeAndRecord)
{
    struct Row {
        const char *desc;
        const char *page;
        Kind kind;
        int port;
        int code;
        const char *store;
    };
    const Row rows[] = {
        {"rtu master on port 0", "rtu_master_mode.htm", RTU_MASTER, 0, 5,
         "set_mbus_rtumaster_mode_info"},
        {"rtu slave on port 1", "rtu_slave_mode.htm", RTU_SLAVE, 1, 4,
         "set_mbus_rtuslave_mode_info"},
        {"ascii master on port 2", "ascii_master_mode.htm", ASCII_MASTER, 2, 7,
         "set_mbus_asciimaster_mode_info"},
        {"ascii slave on port 3", "ascii_slave_mode.htm", ASCII_SLAVE, 3, 6,
         "set_mbus_asciislave_mode_info"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        fake::reset();
        P().fw_reload_file = reload_log;
        set_mbus_port(row.kind, row.port, 502 + row.port);
        fake::wr32(P().ports[row.port], PI_NET_ENABLE, 1);
        P().rtumaster[row.port].reserved[2] = 0x5C;
        save(row.page, row.port);
        fake::Result r = fake::run_request();
        EXPECT_EQ(r.status, 0);

        const string port = std::to_string(row.port);
        EXPECT_NE(fake::call_index("check_valid_port_num " + std::to_string(502 + row.port)), -1);
        int mode = fake::call_index("set_mbus_mode_info " + std::to_string(row.code) + " " + port);
        int store = fake::call_index(string(row.store) + " " + port);
        int saved = fake::call_index("SaveNewConfig 1");
        EXPECT_NE(mode, -1);
        EXPECT_LT(mode, store);
        EXPECT_LT(store, saved);
        EXPECT_EQ(record_stores(), vector<string>{string(row.store) + " " + port});
        EXPECT_EQ(fake::calls_starting("set_mbus_mode_info").size(), 1u);
        EXPECT_EQ(P().mbus_mode[row.port], row.code);
        EXPECT_EQ(fake::rd32(P().saved_ports[row.port], PI_NET_ENABLE), 0);
        EXPECT_EQ(ret_msg, nullptr);
        // The library's reserved bytes come back as loaded.
        EXPECT_EQ(P().rtumaster[row.port].reserved[2], 0x5C);
    }
}

TEST_F(Save, OtherPagesArePortSaves)
{
    struct Row {
        const char *desc;
        const char *page;  // null: no next_page field
    };
    const Row rows[] = {
        {"no next_page", nullptr},
        {"tcp server page", "s2n_service_mode_tcpsrv.htm"},
        {"modbus page in other letter case", "RTU_master_mode.htm"},
        {"modbus page with another suffix", "rtu_master_mode.html"},
        {"modbus page without suffix", "ascii_slave_mode"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        fake::reset();
        P().fw_reload_file = reload_log;
        save(row.page);
        fake::run_request();
        EXPECT_TRUE(fake::calls_starting("check_valid_port_num").empty());
        EXPECT_EQ(fake::calls_starting("set_mbus_mode_info"),
                  vector<string>{"set_mbus_mode_info 0 0"});
        EXPECT_TRUE(record_stores().empty());
        EXPECT_NE(fake::call_index("SaveNewConfig 0"), -1);
    }
}

TEST_F(Save, ModbusPortNumberCheck)
{
    struct Row {
        const char *desc;
        bool in_use;
        int owner;
        bool stored;
    };
    const Row rows[] = {
        {"free", false, 0, true},
        {"used by the selected port itself", true, 1, true},
        {"used by another port", true, 3, false},
        {"used by port 0, which is not the selected one", true, 0, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        fake::reset();
        P().fw_reload_file = reload_log;
        P().rtuslave[1].server_port = 5020;
        if (row.in_use)
            P().ports_in_use[5020] = row.owner;
        P().mbus_mode[1] = PORT_SERVER_MODE;
        // A data port that a stored save would bring into the file.
        set_data_port(2, 4010);
        save("rtu_slave_mode.htm", 1);
        fake::Result r = fake::run_request();
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(fake::call_index("check_valid_port_num 5020"), -1);
        if (row.stored) {
            EXPECT_EQ(ret_msg, nullptr);
            EXPECT_EQ(P().mbus_mode[1], RTU_SLAVE_MODE);
            EXPECT_EQ(record_stores(), vector<string>{"set_mbus_rtuslave_mode_info 1"});
            EXPECT_NE(fake::call_index("SaveNewConfig 1"), -1);
            EXPECT_NE(fake::call_index(set_call("DataPort2", "4010")), -1);
        } else {
            EXPECT_STREQ(ret_msg, "invalid port number");
            EXPECT_EQ(P().mbus_mode[1], PORT_SERVER_MODE);
            expect_nothing_stored();
            EXPECT_EQ(P().conf["serial"]["DataPort2"], "4003");
            // The page is still shown.
            EXPECT_NE(fake::call_index("html_header"), -1);
            EXPECT_NE(r.out.find("page=rtu_slave"), string::npos);
        }
    }
}

// ---- Port saves ----

TEST_F(Save, PortSaveStoresTheModeAndEnablesTheNetwork)
{
    struct Row {
        const char *desc;
        const char *page;
        const char *service_mode;  // null: no h_ServiceMode field
        int32_t port_mode;
        int32_t net_enable;
        int code;
        int32_t net_enable_saved;
    };
    const Row rows[] = {
        {"tcp server page switched to rtu master", "s2n_service_mode_tcpsrv.htm", "6",
         PORT_SERVER_MODE, 1, RTU_MASTER_MODE, 1},
        {"udp page switched to udp, network off", "s2n_service_mode_udp.htm", "4",
         PORT_SERVER_MODE, 0, PORT_UDP_MODE, 1},
        {"mode unchanged, enable 5 stays", "s2n_service_mode_vcom.htm", nullptr,
         PORT_VIRTUALCOM_MODE, 5, PORT_VIRTUALCOM_MODE, 5},
        {"negative enable stays", nullptr, nullptr, PORT_CLIENT_MODE, -1, PORT_CLIENT_MODE, -1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        fake::reset();
        P().fw_reload_file = reload_log;
        fake::wr32(P().ports[2], PI_PORT_MODE, row.port_mode);
        fake::wr32(P().ports[2], PI_NET_ENABLE, row.net_enable);
        save(row.page, 2);
        if (row.service_mode)
            fake::field("h_ServiceMode", row.service_mode);
        fake::run_request();
        EXPECT_EQ(fake::calls_starting("set_mbus_mode_info"),
                  vector<string>{"set_mbus_mode_info " + std::to_string(row.code) + " 2"});
        EXPECT_TRUE(record_stores().empty());
        EXPECT_NE(fake::call_index("SaveNewConfig 0"), -1);
        EXPECT_LT(fake::call_index("set_mbus_mode_info " + std::to_string(row.code) + " 2"),
                  fake::call_index("SaveNewConfig 0"));
        ASSERT_TRUE(P().saved);
        EXPECT_EQ(fake::rd32(P().saved_ports[2], PI_PORT_MODE), row.code);
        EXPECT_EQ(fake::rd32(P().saved_ports[2], PI_NET_ENABLE), row.net_enable_saved);
        EXPECT_EQ(P().mbus_mode[2], row.code);
    }
}

// ---- Per-port entries of the system configuration ----

TEST_F(Save, PerPortEntriesFollowTheirRecords)
{
    const char *kMissing = nullptr;
    struct Row {
        const char *desc;
        const char *data_entry;    // null: the file lacks the entry
        const char *protol_entry;  // null: the file lacks the entry
        uint16_t data_port;        // the record's ports
        uint16_t ctrl_port;
        int32_t port_mode;
        bool protol_read;
        vector<string> writes;
    };
    const Row rows[] = {
        {"all in line", "4003", "0", 4003, 4103, PORT_SERVER_MODE, true, {}},
        {"unchanged data port, 0 with udp becomes 1", "4003", "0", 4003, 4103, PORT_UDP_MODE,
         true, {set_call("ProtolPort2", "1")}},
        {"unchanged data port, 1 without udp becomes 0", "4003", "1", 4003, 4999,
         PORT_CLIENT_MODE, true, {set_call("ProtolPort2", "0")}},
        {"5 with udp stays", "4003", "5", 4003, 4103, PORT_UDP_MODE, true, {}},
        {"-1 with udp stays", "4003", "-1", 4003, 4103, PORT_UDP_MODE, true, {}},
        {"-1 without udp stays", "4003", "-1", 4003, 4103, PORT_SERVER_MODE, true, {}},
        {"missing protocol entry with udp reads as 0", "4003", kMissing, 4003, 4103,
         PORT_UDP_MODE, true, {set_call("ProtolPort2", "1")}},
        {"changed data port writes data and control port", "4003", "0", 4010, 4110,
         PORT_SERVER_MODE, true, {set_call("DataPort2", "4010"), set_call("CtrlPort2", "4110")}},
        {"control port written even when equal", "4003", "1", 4010, 4103, PORT_UDP_MODE, true,
         {set_call("DataPort2", "4010"), set_call("CtrlPort2", "4103")}},
        {"changed data port and udp", "4003", "0", 65535, 0, PORT_UDP_MODE, true,
         {set_call("DataPort2", "65535"), set_call("CtrlPort2", "0"),
          set_call("ProtolPort2", "1")}},
        {"trailing text after the number", "4003 ", "0x", 4003, 4103, PORT_UDP_MODE, true,
         {set_call("ProtolPort2", "1")}},
        {"data port 0 leaves the port alone", "0", "0", 4010, 4110, PORT_UDP_MODE, false, {}},
        {"negative data port leaves the port alone", "-4003", "1", 4010, 4110,
         PORT_SERVER_MODE, false, {}},
        {"data port not a number", "port", "1", 4010, 4110, PORT_SERVER_MODE, false, {}},
        {"data port entry missing", kMissing, "1", 4010, 4110, PORT_SERVER_MODE, false, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        fake::reset();
        P().fw_reload_file = reload_log;
        auto &serial = P().conf["serial"];
        serial.erase("DataPort2");
        serial.erase("ProtolPort2");
        if (row.data_entry)
            serial["DataPort2"] = row.data_entry;
        if (row.protol_entry)
            serial["ProtolPort2"] = row.protol_entry;
        fake::Port &rec = P().ports[2];
        fake::wr_port(rec, PI_NET_ADDR, row.data_port);
        fake::wr_port(rec, PI_CTRL_ADDR, row.ctrl_port);
        fake::wr32(rec, PI_PORT_MODE, row.port_mode);
        // Port 0 is saved; port 2 is synchronised against its own record.
        save("s2n_service_mode_tcpsrv.htm", 0);
        fake::run_request();

        EXPECT_EQ(fake::calls_starting("CFL_VALUE_SET_STRING"), row.writes);
        EXPECT_EQ(fake::calls_starting("CFL_GET_STRING serial ProtolPort2").size(),
                  row.protol_read ? 1u : 0u);
        size_t changed = row.writes.empty() ? 0 : 1;
        EXPECT_EQ(fake::calls_starting("CFL_VALUE_SET_MULTI_ITEMS").size(), changed);
        EXPECT_EQ(fake::calls_starting("fw_renewconf").size(), changed);
        // The other ports are in line and read both entries.
        for (int other : {0, 1, 3}) {
            string n = std::to_string(other);
            EXPECT_EQ(fake::calls_starting("CFL_GET_STRING serial DataPort" + n).size(), 1u);
            EXPECT_EQ(fake::calls_starting("CFL_GET_STRING serial ProtolPort" + n).size(), 1u);
        }
        reap_children();
    }
}

TEST_F(Save, ChangesWriteBackTheItemsAndReloadOnce)
{
    set_data_port(1, 4020);
    set_data_port(3, 4040);
    fake::wr32(P().ports[0], PI_PORT_MODE, PORT_UDP_MODE);
    save(nullptr, 0);
    fake::run_request();

    const vector<string> want_writes = {
        set_call("ProtolPort0", "1"),
        set_call("DataPort1", "4020"), set_call("CtrlPort1", "4102"),
        set_call("DataPort3", "4040"), set_call("CtrlPort3", "4104"),
    };
    EXPECT_EQ(fake::calls_starting("CFL_VALUE_SET_STRING"), want_writes);
    EXPECT_EQ(P().conf["serial"]["DataPort3"], "4040");

    // One write-back, after every entry, then the firewall in this order.
    const vector<string> &calls = P().calls;
    int multi = fake::call_index("CFL_VALUE_SET_MULTI_ITEMS /var/run//system.conf");
    ASSERT_NE(multi, -1);
    const vector<string> tail(calls.begin() + multi, calls.begin() + multi + 3);
    EXPECT_EQ(tail, (vector<string>{"CFL_VALUE_SET_MULTI_ITEMS /var/run//system.conf",
                                    "net_get_wanif", "fw_renewconf eth0"}));
    EXPECT_EQ(fake::calls_starting("CFL_VALUE_SET_MULTI_ITEMS").size(), 1u);
    EXPECT_EQ(fake::calls_starting("fw_renewconf").size(), 1u);
    EXPECT_LT(fake::call_index(set_call("CtrlPort3", "4104")), multi);
    // The items go back with the values read at start-up.
    EXPECT_EQ(P().multi_items_written,
              (vector<string>{"system.fw_version=1.2.3", "serial.s2n_remoteman=1"}));

    // One reload child, for the rule group.
    vector<string> lines = wait_lines(reload_log, 1, 5000);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("ser2net_remote_man ", 0), 0u) << lines[0];
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(file_lines(reload_log).size(), 1u);
}

TEST_F(Save, EmptyWanInterfaceStillRenewsTheFirewall)
{
    P().wanif = "";
    set_data_port(0, 4010);
    save(nullptr);
    fake::run_request();
    EXPECT_EQ(fake::calls_starting("fw_renewconf"), vector<string>{"fw_renewconf "});
    EXPECT_EQ(wait_lines(reload_log, 1, 5000).size(), 1u);
}

TEST_F(Save, NoChangeNoWriteBackNoReload)
{
    save(nullptr);
    fake::run_request();
    EXPECT_NE(fake::call_index("SaveNewConfig 0"), -1);
    EXPECT_TRUE(fake::calls_starting("CFL_VALUE_SET").empty());
    EXPECT_TRUE(fake::calls_starting("net_get_wanif").empty());
    EXPECT_TRUE(fake::calls_starting("fw_renewconf").empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(file_lines(reload_log).empty());
    // No child to reap: none was started.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// ---- Refused saves and messages ----

TEST_F(Save, RefusedModbusSaveStoresNothing)
{
    struct Row {
        const char *desc;
        const char *page;
        Kind kind;
    };
    const Row rows[] = {
        {"rtu master", "rtu_master_mode.htm", RTU_MASTER},
        {"ascii slave", "ascii_slave_mode.htm", ASCII_SLAVE},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        fake::reset();
        P().fw_reload_file = reload_log;
        set_mbus_port(row.kind, 0, 1502);
        P().ports_in_use[1502] = 2;
        // Changes a stored save would write: a data port and a transport.
        set_data_port(0, 4010);
        fake::wr32(P().ports[1], PI_PORT_MODE, PORT_UDP_MODE);
        const auto conf_before = P().conf;
        save(row.page, 0);
        fake::Result r = fake::run_request();
        EXPECT_EQ(r.status, 0);
        EXPECT_STREQ(ret_msg, "invalid port number");
        expect_nothing_stored();
        EXPECT_EQ(P().conf, conf_before);
        EXPECT_EQ(P().mbus_mode[0], PORT_SERVER_MODE);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_TRUE(file_lines(reload_log).empty());
    }
}

// The UDP page refuses a range whose end is before its start.
TEST_F(Save, SetterMessageRefusesTheWholeSave)
{
    set_data_port(1, 4010);
    save("s2n_service_mode_udp.htm", 0);
    fake::field("h_ServiceMode", "4");
    fake::field("HostStartIp1", "192.168.1.10");
    fake::field("HostEndIp1", "192.168.1.5");
    fake::Result r = fake::run_request();
    EXPECT_EQ(r.status, 0);
    ASSERT_NE(ret_msg, nullptr);
    EXPECT_STREQ(ret_msg, "end ip must more than start ip");
    expect_nothing_stored();
    EXPECT_EQ(P().conf["serial"]["DataPort1"], "4002");
    EXPECT_EQ(P().mbus_mode[0], PORT_SERVER_MODE);
    // The page shows what was just entered: the new mode's page.
    EXPECT_NE(r.out.find("page=udp"), string::npos);
}

TEST_F(Save, MessageFromTheStoreStillSynchronises)
{
    P().save_msg = "save failed";
    set_data_port(2, 4010);
    save("rtu_master_mode.htm", 0);
    fake::run_request();
    EXPECT_STREQ(ret_msg, "save failed");
    EXPECT_NE(fake::call_index("SaveNewConfig 1"), -1);
    EXPECT_NE(fake::call_index(set_call("DataPort2", "4010")), -1);
    EXPECT_EQ(fake::calls_starting("CFL_VALUE_SET_MULTI_ITEMS").size(), 1u);
    EXPECT_EQ(fake::calls_starting("fw_renewconf").size(), 1u);
    EXPECT_EQ(wait_lines(reload_log, 1, 5000).size(), 1u);
}

// ---- Missing records ----

// Without the selected port's record there is nothing to save: nothing is
// stored or written, and no message is set.
TEST_F(Save, MissingSelectedRecordSavesNothing)
{
    struct Row {
        const char *desc;
        const char *page;
    };
    const Row rows[] = {
        {"modbus save", "rtu_master_mode.htm"},
        {"port save", "s2n_service_mode_tcpsrv.htm"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        fake::reset();
        P().fw_reload_file = reload_log;
        P().port_missing[1] = true;
        set_data_port(0, 4010);
        save(row.page, 1);
        fake::Result r = fake::run_request();
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(ret_msg, nullptr);
        expect_nothing_stored();
        EXPECT_TRUE(fake::calls_starting("CFL_GET_STRING").empty());
    }
}

TEST_F(Save, MissingOtherRecordIsSkippedBySynchronisation)
{
    P().port_missing[2] = true;
    set_data_port(3, 4010);
    save(nullptr, 0);
    fake::run_request();
    ASSERT_TRUE(P().saved);
    EXPECT_TRUE(P().saved_port_null[2]);
    EXPECT_TRUE(fake::calls_starting("CFL_GET_STRING serial DataPort2").empty());
    EXPECT_TRUE(fake::calls_starting("CFL_GET_STRING serial ProtolPort2").empty());
    EXPECT_NE(fake::call_index(set_call("DataPort3", "4010")), -1);
}

// ---- The reload child ----

struct ProcInfo {
    bool found = false;
    pid_t pid = 0;
    pid_t sid = 0;
    vector<int> low_fds;  // open descriptors below 64
    string cwd;
    string umask;
    bool ignores_sigchld = false;
};

// The one running child of this process, as /proc shows it.
ProcInfo find_child()
{
    ProcInfo info;
    DIR *proc = opendir("/proc");
    if (!proc)
        return info;
    while (dirent *e = readdir(proc)) {
        char *end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        if (*end || pid <= 0)
            continue;
        std::ifstream stat("/proc/" + string(e->d_name) + "/stat");
        string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        size_t close = text.rfind(')');
        if (close == string::npos)
            continue;
        std::istringstream fields(text.substr(close + 1));
        char state = 0;
        long ppid = 0, pgrp = 0, sid = 0;
        fields >> state >> ppid >> pgrp >> sid;
        if (ppid != getpid() || state == 'Z')
            continue;
        info.found = true;
        info.pid = static_cast<pid_t>(pid);
        info.sid = static_cast<pid_t>(sid);
        break;
    }
    closedir(proc);
    if (!info.found)
        return info;

    string base = "/proc/" + std::to_string(info.pid);
    if (DIR *fds = opendir((base + "/fd").c_str())) {
        while (dirent *e = readdir(fds)) {
            if (e->d_name[0] == '.')
                continue;
            int fd = std::atoi(e->d_name);
            if (fd < 64)
                info.low_fds.push_back(fd);
        }
        closedir(fds);
    }
    char cwd[256] = {};
    ssize_t n = readlink((base + "/cwd").c_str(), cwd, sizeof cwd - 1);
    if (n > 0)
        info.cwd.assign(cwd, static_cast<size_t>(n));
    std::ifstream status(base + "/status");
    for (string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0)
            info.umask = line.substr(line.find_first_not_of(" \t", 6));
        if (line.rfind("SigIgn:", 0) == 0) {
            unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
            info.ignores_sigchld = (mask >> (SIGCHLD - 1)) & 1;
        }
    }
    return info;
}

// The reload file is a FIFO, so the child blocks inside fw_reload until the
// test opens it: the request has returned while the reload still runs, and
// the child can be examined before it ends.
TEST_F(Save, ReloadChildDetaches)
{
    string fifo = string(S2N_TEST_DIR) + "/save-reload-" + std::to_string(getpid()) + ".fifo";
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    P().fw_reload_file = fifo;
    // A descriptor of the test that the child must not keep.
    int held[2];
    ASSERT_EQ(pipe(held), 0);

    set_data_port(1, 4010);
    save(nullptr, 0);
    fake::Result r = fake::run_request();
    EXPECT_EQ(r.status, 0);
    // Nothing the request wrote shows up twice.
    EXPECT_EQ(r.out.find("Content-Type"), r.out.rfind("Content-Type"));

    ProcInfo child;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        child = find_child();
        bool settled = child.found && child.sid == child.pid && child.low_fds.empty() &&
                       child.cwd == "/" && child.umask == "0000" && child.ignores_sigchld;
        if (settled || std::chrono::steady_clock::now() >= end)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(child.found) << "no running reload child after the request returned";
    EXPECT_EQ(child.sid, child.pid);
    EXPECT_NE(child.sid, getsid(0));
    EXPECT_TRUE(child.low_fds.empty()) << "first open descriptor " << child.low_fds[0];
    EXPECT_EQ(child.cwd, "/");
    EXPECT_EQ(child.umask, "0000");
    EXPECT_TRUE(child.ignores_sigchld);

    // Let the reload finish and read what it reports.
    int rd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(rd, 0);
    string line;
    end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (line.find('\n') == string::npos && std::chrono::steady_clock::now() < end) {
        pollfd p = {rd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            char buf[128];
            ssize_t n = read(rd, buf, sizeof buf);
            if (n > 0)
                line.append(buf, static_cast<size_t>(n));
        }
    }
    close(rd);
    close(held[0]);
    close(held[1]);
    std::remove(fifo.c_str());
    EXPECT_EQ(line, "ser2net_remote_man " + std::to_string(child.pid) + " " +
                        std::to_string(child.pid) + "\n");

    int status = -1;
    end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    pid_t done = 0;
    while ((done = waitpid(child.pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(done, child.pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
