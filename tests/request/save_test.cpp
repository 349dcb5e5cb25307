// The save flow: Modbus and port saves, the port number check, the per-port
// entries of the system configuration, the firewall reload and refused saves.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "state.h"

namespace {

using fake::P;
using std::string;

// What follows a changed per-port entry.
const char kRenew[] = "write-back, net_get_wanif, fw_renewconf eth0, reload";

// Polls done every 5 ms for up to 5 s; true once it holds.
template <class Done> bool eventually(Done done)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(5)))
        if (std::chrono::steady_clock::now() >= end)
            return false;
    return true;
}

// Reaps this process's reload children; returns how many there were.
int reap_children()
{
    int reaped = 0;
    eventually([&] {
        pid_t pid = waitpid(-1, nullptr, WNOHANG);
        reaped += pid > 0;
        return pid < 0;
    });
    return reaped;
}

// Runs the request and lists, in order and joined by ", ", the calls that
// check, store, write the configuration file or renew the firewall, then one
// "reload" per reload child. An entry written to section "serial" of the
// system configuration shows as "key value", the item write-back as
// "write-back".
string run()
{
    fake::run_request();
    const string set = "CFL_VALUE_SET_STRING serial ", conf = " /var/run//system.conf";
    string out;
    for (string c : P().calls) {
        bool kept = false;
        for (const char *prefix : {"check_valid_port_num", "set_mbus_", "SaveNewConfig",
                                   "CFL_VALUE_SET", "net_get_wanif", "fw_"})
            kept = kept || c.rfind(prefix, 0) == 0;
        if (c == "CFL_VALUE_SET_MULTI_ITEMS" + conf)
            c = "write-back";
        else if (c.rfind(set, 0) == 0 && c.rfind(conf) == c.size() - conf.size())
            c = c.substr(set.size(), c.size() - set.size() - conf.size());
        if (kept)
            out += (out.empty() ? "" : ", ") + c;
    }
    for (int n = reap_children(); n > 0; --n)
        out += out.empty() ? "reload" : ", reload";
    return out;
}

// A fresh platform and a save of port from next_page (null: no field).
// Each Modbus record of the port names its own network port number.
void start(const char *next_page, int port)
{
    reap_children();
    fake::reset();
    P().rtumaster[port].host_port = 5001;
    P().rtuslave[port].server_port = 5002;
    P().asciimaster[port].host_port = 5003;
    P().asciislave[port].server_port = 5004;
    fake::field("todo", "save");
    fake::field("h_PortIndex", std::to_string(port));
    if (next_page)
        fake::field("next_page", next_page);
}

// The selected port's network is switched off for a Modbus mode; no entry
// changes here, so no write-back, firewall call or reload child follows.
TEST(Save, ModbusPageStoresItsCodeAndRecord)
{
    // owner: the serial port reported using the numbers, -1: none.
    struct Row { const char *desc, *page; int port, owner; const char *effects; } rows[] = {
        {"rtu master", "rtu_master_mode.htm", 0, -1, "check_valid_port_num 5001, "
         "set_mbus_mode_info 5 0, set_mbus_rtumaster_mode_info 0, SaveNewConfig 1"},
        {"rtu slave", "rtu_slave_mode.htm", 1, -1, "check_valid_port_num 5002, "
         "set_mbus_mode_info 4 1, set_mbus_rtuslave_mode_info 1, SaveNewConfig 1"},
        {"ascii master", "ascii_master_mode.htm", 2, -1, "check_valid_port_num 5003, "
         "set_mbus_mode_info 7 2, set_mbus_asciimaster_mode_info 2, SaveNewConfig 1"},
        {"ascii slave, number used by the port itself", "ascii_slave_mode.htm", 3, 3,
         "check_valid_port_num 5004, "
         "set_mbus_mode_info 6 3, set_mbus_asciislave_mode_info 3, SaveNewConfig 1"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        start(row.page, row.port);
        for (int number = 5001; row.owner >= 0 && number <= 5004; ++number)
            P().ports_in_use[number] = row.owner;
        EXPECT_EQ(run(), row.effects);
        EXPECT_EQ(ret_msg, nullptr);
        EXPECT_EQ(fake::rd32(P().saved_ports[row.port], PI_NET_ENABLE), 0);
        // Each record stored is the page's own.
        const int p = row.port;
        const std::vector<int32_t> numbers = {
            P().rtumaster[p].host_port, P().rtuslave[p].server_port,
            P().asciimaster[p].host_port, P().asciislave[p].server_port};
        EXPECT_EQ(numbers, (std::vector<int32_t>{5001, 5002, 5003, 5004}));
    }
}

// Any other page is a port save: the port's mode, as the setters left it, is
// stored, and a switched-off network is switched on.
TEST(Save, PortSaveStoresTheModeAndEnablesTheNetwork)
{
    // service_mode null: no such field; net_enable before the save, code the
    // mode stored.
    struct Row {
        const char *desc, *page, *service_mode;
        int32_t net_enable, code, net_enable_saved;
    } rows[] = {
        {"no next_page, switched to rtu master", nullptr, "6", 1, RTU_MASTER_MODE, 1},
        {"switched to udp, network off", "s2n_service_mode_tcpsrv.htm", "4", 0, PORT_UDP_MODE, 1},
        {"modbus page in other letter case, enable 5 stays", "RTU_master_mode.htm", nullptr, 5,
         PORT_VIRTUALCOM_MODE, 5},
        {"modbus page with another suffix, negative enable stays", "rtu_master_mode.html",
         nullptr, -1, PORT_VIRTUALCOM_MODE, -1},
        {"modbus page without suffix", "ascii_slave_mode", nullptr, 1, PORT_VIRTUALCOM_MODE, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        start(row.page, 2);
        fake::wr32(P().ports[2], PI_PORT_MODE, PORT_VIRTUALCOM_MODE);
        fake::wr32(P().ports[2], PI_NET_ENABLE, row.net_enable);
        if (row.service_mode)
            fake::field("h_ServiceMode", row.service_mode);
        const string got = run();
        const string want =
            "set_mbus_mode_info " + std::to_string(row.code) + " 2, SaveNewConfig 0";
        EXPECT_EQ(got.rfind(want, 0), 0u) << got;
        EXPECT_EQ(fake::rd32(P().saved_ports[2], PI_NET_ENABLE), row.net_enable_saved);
    }
}

// Port 0 is saved; port 2's entries are brought in line with its record.
TEST(Save, PerPortEntriesFollowTheirRecords)
{
    const int32_t TCP = PORT_SERVER_MODE, UDP = PORT_UDP_MODE;
    // The two entries (null: the file lacks it), the record's ports and mode,
    // and the entries written.
    struct Row {
        const char *desc, *data_entry, *protol_entry;
        uint16_t data_port, ctrl_port;
        int32_t port_mode;
        const char *writes;
    } rows[] = {
        {"all in line", "4003", "0", 4003, 4103, TCP, ""},
        {"0 with udp becomes 1", "4003", "0", 4003, 4103, UDP, "ProtolPort2 1"},
        {"1 without udp becomes 0, control port not compared", "4003", "1", 4003, 4999,
         PORT_CLIENT_MODE, "ProtolPort2 0"},
        {"5 without udp becomes 0", "4003", "5", 4003, 4103, TCP, "ProtolPort2 0"},
        {"5 with udp stays", "4003", "5", 4003, 4103, UDP, ""},
        {"-1 with udp stays", "4003", "-1", 4003, 4103, UDP, ""},
        {"-1 without udp stays", "4003", "-1", 4003, 4103, TCP, ""},
        {"missing protocol entry reads as 0", "4003", nullptr, 4003, 4103, UDP, "ProtolPort2 1"},
        {"new data port", "4003", "0", 4010, 4110, TCP, "DataPort2 4010, CtrlPort2 4110"},
        {"control port written even when equal", "4003", "1", 4010, 4103, UDP,
         "DataPort2 4010, CtrlPort2 4103"},
        {"new data port and udp, full port range", "4003", "0", 65535, 0, UDP,
         "DataPort2 65535, CtrlPort2 0, ProtolPort2 1"},
        {"data port 0 leaves the port alone", "0", "0", 4010, 4110, UDP, ""},
        {"negative data port leaves the port alone", "-4003", "1", 4010, 4110, TCP, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        start(nullptr, 0);
        auto &serial = P().conf["serial"];
        serial["DataPort2"] = row.data_entry;
        if (row.protol_entry)
            serial["ProtolPort2"] = row.protol_entry;
        else
            serial.erase("ProtolPort2");
        fake::wr_port(P().ports[2], PI_NET_ADDR, row.data_port);
        fake::wr_port(P().ports[2], PI_CTRL_ADDR, row.ctrl_port);
        fake::wr32(P().ports[2], PI_PORT_MODE, row.port_mode);
        string want = "set_mbus_mode_info 0 0, SaveNewConfig 0";
        if (*row.writes)
            want += string(", ") + row.writes + ", " + kRenew;
        EXPECT_EQ(run(), want);
    }
}

TEST(Save, ChangesOfSeveralPortsWriteBackAndReloadOnce)
{
    start(nullptr, 0);
    P().wanif = "";  // an empty interface name is still handed on
    fake::wr32(P().ports[0], PI_PORT_MODE, PORT_UDP_MODE);
    fake::wr_port(P().ports[1], PI_NET_ADDR, 4020);
    fake::wr_port(P().ports[3], PI_NET_ADDR, 4040);
    EXPECT_EQ(run(), "set_mbus_mode_info 2 0, SaveNewConfig 0, ProtolPort0 1, DataPort1 4020, "
                     "CtrlPort1 4102, DataPort3 4040, CtrlPort3 4104, "
                     "write-back, net_get_wanif, fw_renewconf , reload");
    // The items go back with the values read at start-up.
    EXPECT_EQ(P().multi_items_written,
              (std::vector<string>{"system.fw_version=1.2.3", "serial.s2n_remoteman=1"}));
}

// A message from a setter or from the port check refuses the whole save: no
// Modbus state, no records, no per-port entries, no reload. A message of the
// store itself comes once the records are stored, so the entries follow them.
TEST(Save, MessagesAndWhatIsStored)
{
    // owner: the serial port using 5001, -1: none; reversed: the UDP page sends
    // a range ending before its start; save_msg: the store's own message.
    struct Row {
        const char *desc, *page;
        int owner;
        bool reversed;
        const char *save_msg, *msg, *effects;
    } rows[] = {
        {"port number used by another port", "rtu_master_mode.htm", 3, false, nullptr,
         "invalid port number", "check_valid_port_num 5001"},
        {"port number used by port 0, not the selected one", "rtu_master_mode.htm", 0, false,
         nullptr, "invalid port number", "check_valid_port_num 5001"},
        {"udp range ending before its start", "s2n_service_mode_udp.htm", -1, true, nullptr,
         "end ip must more than start ip", ""},
        {"message of the store", "rtu_master_mode.htm", -1, false, "save failed", "save failed",
         "check_valid_port_num 5001, set_mbus_mode_info 5 1, set_mbus_rtumaster_mode_info 1, "
         "SaveNewConfig 1, DataPort2 4010, CtrlPort2 4103, ProtolPort3 1, write-back, "
         "net_get_wanif, fw_renewconf eth0, reload"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        start(row.page, 1);
        if (row.owner >= 0)
            P().ports_in_use[5001] = row.owner;
        if (row.reversed) {
            fake::field("h_ServiceMode", "4");
            fake::field("HostStartIp1", "192.168.1.10");
            fake::field("HostEndIp1", "192.168.1.5");
        }
        P().save_msg = row.save_msg;
        // Changes a stored save writes: a data port and a transport.
        fake::wr_port(P().ports[2], PI_NET_ADDR, 4010);
        fake::wr32(P().ports[3], PI_PORT_MODE, PORT_UDP_MODE);
        EXPECT_EQ(run(), row.effects);
        EXPECT_STREQ(ret_msg, row.msg);
    }
}

// Without the selected port's record nothing is saved; another port's
// missing record is skipped by the synchronisation.
TEST(Save, MissingPortRecords)
{
    const string synced = "set_mbus_mode_info 0 0, SaveNewConfig 0, DataPort3 4010, "
                          "CtrlPort3 4104, " + string(kRenew);
    struct Row { const char *desc, *page; int selected, missing; string effects; } rows[] = {
        {"selected, modbus save", "rtu_master_mode.htm", 1, 1, ""},
        {"selected, port save", "s2n_service_mode_tcpsrv.htm", 1, 1, ""},
        {"another port", nullptr, 0, 2, synced},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.desc);
        start(row.page, row.selected);
        P().port_missing[row.missing] = true;
        fake::wr_port(P().ports[3], PI_NET_ADDR, 4010);
        EXPECT_EQ(run(), row.effects);
        EXPECT_EQ(ret_msg, nullptr);
    }
}

// ---- The reload child ----

// A field of /proc/<pid>/status, without the blanks after its name.
string status_field(const string &pid, const string &name)
{
    std::ifstream in("/proc/" + pid + "/status");
    for (string line; std::getline(in, line);) {
        if (line.rfind(name + ":", 0) == 0) {
            line.erase(0, name.size() + 1);
            return line.erase(0, line.find_first_not_of(" \t"));
        }
    }
    return "";
}

// A running (not yet ended) child of this process, or 0.
pid_t running_child()
{
    pid_t found = 0;
    DIR *proc = opendir("/proc");
    for (dirent *e; !found && proc && (e = readdir(proc));)
        if (status_field(e->d_name, "PPid") == std::to_string(getpid()) &&
            status_field(e->d_name, "State").rfind("Z", 0) != 0)
            found = std::atoi(e->d_name);
    if (proc)
        closedir(proc);
    return found;
}

// The child's session, open descriptors below 64, working directory, umask
// and SIGCHLD handling, as one line.
string child_state(pid_t pid)
{
    const string id = std::to_string(pid);
    string out = getsid(pid) == pid ? "own session, fds" : "request's session, fds";
    if (DIR *fds = opendir(("/proc/" + id + "/fd").c_str())) {
        for (dirent *e; (e = readdir(fds));)
            if (e->d_name[0] != '.' && std::atoi(e->d_name) < 64)
                out += string(" ") + e->d_name;
        closedir(fds);
    }
    char cwd[256] = {};
    if (readlink(("/proc/" + id + "/cwd").c_str(), cwd, sizeof cwd - 1) < 0)
        cwd[0] = '?';
    unsigned long long ignored = std::strtoull(status_field(id, "SigIgn").c_str(), nullptr, 16);
    return out + ", cwd " + cwd + ", umask " + status_field(id, "Umask") +
           ((ignored >> (SIGCHLD - 1)) & 1 ? ", ignores SIGCHLD" : ", handles SIGCHLD");
}

// Should the request wait for the reload, SIGALRM gives the FIFO a reader so
// the test fails instead of hanging.
const char *g_fifo;
int g_rescue = -1;
void open_fifo(int)
{
    g_rescue = open(g_fifo, O_RDONLY | O_NONBLOCK);
}

// The reload file is a FIFO, so the child blocks in fw_reload until the test
// opens it: the request has returned while the reload still runs.
TEST(Save, ReloadChildDetaches)
{
    start(nullptr, 0);
    const string fifo = string(S2N_TEST_DIR) + "/save-reload-" + std::to_string(getpid());
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    P().fw_reload_file = fifo;
    int held[2];  // descriptors of the request the child must not keep
    ASSERT_EQ(pipe(held), 0);
    fake::wr_port(P().ports[1], PI_NET_ADDR, 4010);
    g_fifo = fifo.c_str();
    signal(SIGALRM, open_fifo);
    alarm(5);
    fake::run_request();
    alarm(0);
    signal(SIGALRM, SIG_DFL);
    EXPECT_EQ(g_rescue, -1) << "the request waited for the reload";
    close(held[0]);
    close(held[1]);

    const pid_t child = running_child();
    ASSERT_NE(child, 0) << "no running reload child after the request returned";
    const string want = "own session, fds, cwd /, umask 0000, ignores SIGCHLD";
    string state;
    eventually([&] { return (state = child_state(child)) == want; });
    EXPECT_EQ(state, want);

    // Let the reload finish, then read what it reported into the FIFO.
    int rd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(rd, 0);
    int status = -1;
    EXPECT_TRUE(eventually([&] { return waitpid(child, &status, WNOHANG) == child; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    char buf[128] = {};
    EXPECT_GT(read(rd, buf, sizeof buf - 1), 0);
    close(rd);
    std::remove(fifo.c_str());
    const string pid = std::to_string(child);
    EXPECT_EQ(string(buf), "ser2net_remote_man " + pid + " " + pid + "\n");
}

}  // namespace
