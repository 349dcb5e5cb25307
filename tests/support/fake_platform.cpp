#include "fake_platform.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "state.h"

namespace fake {

namespace {

Platform g_platform;

// Records handed out, so frees can be named.
void *g_dev;
void *g_port[4];
void *g_tty[4];
int g_list_token;

constexpr size_t kOpaqueSize = 64;  // device and serial line records

void log(const std::string &s)
{
    g_platform.calls.push_back(s);
}

std::string str(const char *s)
{
    return s ? s : "(null)";
}

}  // namespace

Platform &P()
{
    return g_platform;
}

void reset()
{
    g_platform = Platform();
    g_platform.request_pid = getpid();
    for (int i = 0; i < 4; ++i) {
        Port &p = g_platform.ports[i];
        // Library-owned bytes get a pattern so a stray write shows.
        for (unsigned b = 0; b < kPortSize; ++b)
            p.bytes[b] = static_cast<unsigned char>(0xA5 ^ b ^ i);
        wr32(p, PI_PORT_MODE, PORT_SERVER_MODE);
        wr32(p, PI_NET_ENABLE, 1);
        wr32(p, PI_IDLE_TIMEOUT, 0);
        wr_port(p, PI_NET_ADDR, static_cast<uint16_t>(4001 + i));
        wr_ip(p, PI_NET_ADDR, "0.0.0.0");
        wr_port(p, PI_CTRL_ADDR, static_cast<uint16_t>(4101 + i));
        wr32(p, PI_LINK_CNT, 0);
        for (int k = 0; k < 4; ++k) {
            wr_port(p, PI_LINK(k), 0);
            wr_ip(p, PI_LINK(k), "0.0.0.0");
            wr32(p, PI_HOST_CNT_AT(k), 0);
        }
        wr32(p, PI_ALIVE_CHECK, 0);
        wr32(p, PI_FLAGS, 0);
        g_platform.mbus_mode[i] = PORT_SERVER_MODE;
        std::string n = std::to_string(i);
        g_platform.conf["serial"]["DataPort" + n] = std::to_string(4001 + i);
        g_platform.conf["serial"]["CtrlPort" + n] = std::to_string(4101 + i);
        g_platform.conf["serial"]["ProtolPort" + n] = "0";
    }
    g_platform.conf["system"]["fw_version"] = "1.2.3";
    g_platform.conf["serial"]["s2n_remoteman"] = "1";
    // Each mode's page renders as "page=<short name>".
    const char *pages[][2] = {{"s2n_service_mode_tcpsrv", "tcpsrv"}, {"s2n_service_mode_tcpcli", "tcpcli"},
                              {"s2n_service_mode_udp", "udp"},       {"s2n_service_mode_vcom", "vcom"},
                              {"rtu_slave_mode", "rtu_slave"},       {"rtu_master_mode", "rtu_master"},
                              {"ascii_slave_mode", "ascii_slave"},   {"ascii_master_mode", "ascii_master"}};
    for (const auto &page : pages)
        g_platform.templates[std::string("en/") + page[0] + ".htm"] = std::string("page=") + page[1];

    g_dev = nullptr;
    for (int i = 0; i < 4; ++i)
        g_port[i] = g_tty[i] = nullptr;

    // The program's per-request state, as a new process starts it.
    for (ConfigItem *item = mi; item->section; ++item)
        std::memset(item->value, 0, sizeof item->value);
    pDevInfo = nullptr;
    for (int i = 0; i < S2N_PORTS; ++i) {
        pPortInfo[i] = nullptr;
        pTtyInfo[i] = nullptr;
    }
    lang_index = -1;
    iPortIndex = 0;
    iServiceMode = 0;
    ret_msg = nullptr;
    portmode_info = 0;
    rtumaster_info = MbusMasterInfo{};
    asciimaster_info = MbusMasterInfo{};
    rtuslave_info = MbusSlaveInfo{};
    asciislave_info = MbusSlaveInfo{};
    console_clear();
}

Result run_request()
{
    std::fflush(stdout);
    FILE *saved = stdout;
    char *buf = nullptr;
    size_t len = 0;
    stdout = open_memstream(&buf, &len);
    int status = s2n_request();
    std::fclose(stdout);
    stdout = saved;
    Result r{status, std::string(buf, len)};
    std::free(buf);
    return r;
}

void field(const std::string &name, const std::string &value)
{
    g_platform.form.emplace_back(name, value);
}

std::vector<std::string> calls_starting(const std::string &prefix)
{
    std::vector<std::string> out;
    for (const std::string &c : g_platform.calls)
        if (c.compare(0, prefix.size(), prefix) == 0)
            out.push_back(c);
    return out;
}

int call_index(const std::string &text)
{
    for (size_t i = 0; i < g_platform.calls.size(); ++i)
        if (g_platform.calls[i] == text)
            return static_cast<int>(i);
    return -1;
}

int32_t rd32(const Port &p, unsigned off)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | p.bytes[off + i];
    return static_cast<int32_t>(v);
}

void wr32(Port &p, unsigned off, int32_t v)
{
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        p.bytes[off + i] = static_cast<unsigned char>(u >> (8 * i));
}

uint16_t rd_port(const Port &p, unsigned la)
{
    return static_cast<uint16_t>(p.bytes[la + LA_PORT] << 8 | p.bytes[la + LA_PORT + 1]);
}

void wr_port(Port &p, unsigned la, uint16_t port)
{
    p.bytes[la + LA_PORT] = static_cast<unsigned char>(port >> 8);
    p.bytes[la + LA_PORT + 1] = static_cast<unsigned char>(port);
}

std::string rd_ip(const Port &p, unsigned la)
{
    const unsigned char *b = p.bytes + la + LA_ADDR;
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]);
}

void wr_ip(Port &p, unsigned la, const char *dotted)
{
    unsigned a[4] = {};
    std::sscanf(dotted, "%u.%u.%u.%u", &a[0], &a[1], &a[2], &a[3]);
    for (int i = 0; i < 4; ++i)
        p.bytes[la + LA_ADDR + i] = static_cast<unsigned char>(a[i]);
}

std::vector<std::string> console_lines()
{
    std::vector<std::string> lines;
    FILE *f = std::fopen(S2N_TEST_CONSOLE, "r");
    if (!f)
        return lines;
    char buf[512];
    while (std::fgets(buf, sizeof buf, f))
        lines.emplace_back(buf);
    std::fclose(f);
    return lines;
}

void console_clear()
{
    std::remove(S2N_TEST_CONSOLE);
}

}  // namespace fake

using fake::g_dev;
using fake::g_platform;
using fake::g_port;
using fake::g_tty;
using fake::log;
using fake::str;

// Records which of the fake's records the program frees.
extern "C" void __real_free(void *);
extern "C" void __wrap_free(void *ptr)
{
    if (ptr) {
        if (ptr == g_dev) {
            g_platform.frees.push_back("dev");
            g_dev = nullptr;
        }
        for (int i = 0; i < 4; ++i) {
            if (ptr == g_port[i]) {
                g_platform.frees.push_back("port " + std::to_string(i));
                g_port[i] = nullptr;
            }
            if (ptr == g_tty[i]) {
                g_platform.frees.push_back("tty " + std::to_string(i));
                g_tty[i] = nullptr;
            }
        }
    }
    __real_free(ptr);
}

// ---- CGI form and template library ----

struct CgiList {
    int unused;
};

extern "C" int read_cgi_input(CgiList **list)
{
    log("read_cgi_input");
    *list = reinterpret_cast<CgiList *>(&fake::g_list_token);
    return 0;
}

extern "C" const char *cgi_val(CgiList *list, const char *name)
{
    log(std::string("cgi_val ") + name);
    if (!list)
        return nullptr;
    for (const auto &f : g_platform.form)
        if (f.first == name)
            return f.second.c_str();
    return nullptr;
}

extern "C" void list_clear(CgiList **list)
{
    log("list_clear");
    *list = nullptr;
}

extern "C" void CgiError(void)
{
    log("CgiError");
    std::fputs("Status: 500 Internal Server Error\n\n", stdout);
}

extern "C" int lang_get_index(const char *lang)
{
    log("lang_get_index " + str(lang));
    return g_platform.lang_index;
}

extern "C" const char *lang_get_tag(int index)
{
    log("lang_get_tag " + std::to_string(index));
    return g_platform.lang_dir.c_str();
}

extern "C" void html_header(void)
{
    log("html_header");
    std::fputs("Content-Type: text/html\n\n", stdout);
}

// Renders "<%name%>" tags by calling the row's getter, like the real library.
extern "C" int parse_html(const char *path, const TagEntry *tab)
{
    log(std::string("parse_html ") + path);
    g_platform.rendered = true;
    for (int i = 0; i < 4; ++i)
        if (g_port[i])
            std::memcpy(g_platform.rendered_ports[i].bytes, g_port[i], fake::kPortSize);
    auto it = g_platform.templates.find(path);
    if (it == g_platform.templates.end())
        return 2;
    const std::string &t = it->second;
    size_t pos = 0;
    while (pos < t.size()) {
        size_t open = t.find("<%", pos);
        size_t close = open == std::string::npos ? open : t.find("%>", open + 2);
        if (close == std::string::npos) {
            std::fputs(t.c_str() + pos, stdout);
            break;
        }
        std::fwrite(t.data() + pos, 1, open - pos, stdout);
        std::string name = t.substr(open + 2, close - open - 2);
        const TagEntry *row = tab;
        while (row->tag && name != row->tag)
            ++row;
        if (row->tag && row->getter)
            row->getter(nullptr);
        else
            std::fputs(t.substr(open, close + 2 - open).c_str(), stdout);
        pos = close + 2;
    }
    return g_platform.parse_html_status;
}

// ---- Device configuration library ----

extern "C" int GetDevInfoAlloc(DevInfo **dev)
{
    log("GetDevInfoAlloc");
    if (g_platform.dev_missing)
        return -1;
    g_dev = std::calloc(1, fake::kOpaqueSize);
    *dev = static_cast<DevInfo *>(g_dev);
    return 0;
}

extern "C" int GetPortInfoAlloc(PortInfo **port, int idx)
{
    log("GetPortInfoAlloc " + std::to_string(idx));
    if (idx < 0 || idx > 3 || g_platform.port_missing[idx])
        return -1;
    void *p = std::malloc(fake::kPortSize);
    std::memcpy(p, g_platform.ports[idx].bytes, fake::kPortSize);
    g_port[idx] = p;
    *port = static_cast<PortInfo *>(p);
    return 0;
}

extern "C" int GetTtyInfoAlloc(TtyInfo **tty, int idx)
{
    log("GetTtyInfoAlloc " + std::to_string(idx));
    if (idx < 0 || idx > 3 || g_platform.tty_missing[idx])
        return -1;
    g_tty[idx] = std::calloc(1, fake::kOpaqueSize);
    *tty = static_cast<TtyInfo *>(g_tty[idx]);
    return 0;
}

extern "C" int SaveNewConfig(DevInfo **, PortInfo **ports, TtyInfo **, const char **msg, int mbus)
{
    log("SaveNewConfig " + std::to_string(mbus));
    g_platform.saved = true;
    for (int i = 0; i < 4; ++i) {
        g_platform.saved_port_null[i] = ports[i] == nullptr;
        if (ports[i])
            std::memcpy(g_platform.saved_ports[i].bytes, ports[i], fake::kPortSize);
    }
    if (g_platform.save_msg)
        *msg = g_platform.save_msg;
    return g_platform.save_msg ? -1 : 0;
}

extern "C" int get_mbus_mode_info(int *mode, int idx)
{
    log("get_mbus_mode_info " + std::to_string(idx));
    *mode = g_platform.mbus_mode[idx];
    return 0;
}

extern "C" int set_mbus_mode_info(int *mode, int idx)
{
    log("set_mbus_mode_info " + std::to_string(*mode) + " " + std::to_string(idx));
    g_platform.mbus_mode[idx] = *mode;
    return 0;
}

#define FAKE_MBUS_PAIR(kind, Type)                                          \
    extern "C" int get_mbus_##kind##_mode_info(Type *info, int idx)         \
    {                                                                       \
        log("get_mbus_" #kind "_mode_info " + std::to_string(idx));         \
        *info = g_platform.kind[idx];                                       \
        return 0;                                                           \
    }                                                                       \
    extern "C" int set_mbus_##kind##_mode_info(Type *info, int idx)         \
    {                                                                       \
        log("set_mbus_" #kind "_mode_info " + std::to_string(idx));         \
        g_platform.kind[idx] = *info;                                       \
        return 0;                                                           \
    }

FAKE_MBUS_PAIR(rtumaster, MbusMasterInfo)
FAKE_MBUS_PAIR(asciimaster, MbusMasterInfo)
FAKE_MBUS_PAIR(rtuslave, MbusSlaveInfo)
FAKE_MBUS_PAIR(asciislave, MbusSlaveInfo)

extern "C" int check_valid_port_num(int port_num, int *owner)
{
    log("check_valid_port_num " + std::to_string(port_num));
    auto it = g_platform.ports_in_use.find(port_num);
    if (it == g_platform.ports_in_use.end())
        return 0;
    *owner = it->second;
    return 1;
}

extern "C" int net_get_wanif(char *name)
{
    log("net_get_wanif");
    std::snprintf(name, WANIF_NAME_SIZE, "%s", g_platform.wanif.c_str());
    return 0;
}

// A value of the fake's system.conf, or null.
static const char *conf_value(const char *section, const char *key)
{
    auto s = g_platform.conf.find(section);
    if (s == g_platform.conf.end())
        return nullptr;
    auto k = s->second.find(key);
    return k == s->second.end() ? nullptr : k->second.c_str();
}

extern "C" int fw_renewconf(const char *wanif)
{
    log("fw_renewconf " + str(wanif));
    return 0;
}

// Runs in the detached reload child: its memory is its own, so it reports
// through a file, with its pid and session id.
extern "C" int fw_reload(const char *group)
{
    // The reload belongs in a child: run in the request (the test process)
    // it would hold up the page, so fail loudly rather than pass.
    if (getpid() == g_platform.request_pid) {
        std::fputs("fw_reload called in the request process\n", stderr);
        std::abort();
    }
    log("fw_reload " + str(group));
    if (!g_platform.fw_reload_file.empty()) {
        int fd = open(g_platform.fw_reload_file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            char line[128];
            int n = std::snprintf(line, sizeof line, "%s %d %d\n", str(group).c_str(),
                                  static_cast<int>(getpid()), static_cast<int>(getsid(0)));
            if (write(fd, line, static_cast<size_t>(n)) < 0) {
            }
            close(fd);
        }
    }
    return 0;
}

extern "C" int CFL_GET_MULTI_ITEMS(ConfigItem *items, const char *file)
{
    log("CFL_GET_MULTI_ITEMS " + str(file));
    for (ConfigItem *it = items; it->section; ++it) {
        const char *v = conf_value(it->section, it->key);
        std::snprintf(it->value, sizeof it->value, "%s", v ? v : "");
    }
    return 0;
}

extern "C" int CFL_VALUE_SET_MULTI_ITEMS(ConfigItem *items, const char *file)
{
    log("CFL_VALUE_SET_MULTI_ITEMS " + str(file));
    for (ConfigItem *it = items; it->section; ++it)
        g_platform.multi_items_written.push_back(std::string(it->section) + "." + it->key + "=" +
                                                 it->value);
    return 0;
}

extern "C" int CFL_GET_STRING(const char *section, const char *key, char *value, const char *file)
{
    log("CFL_GET_STRING " + str(section) + " " + str(key) + " " + str(file));
    auto s = g_platform.conf.find(section);
    if (s == g_platform.conf.end() || !s->second.count(key)) {
        value[0] = '\0';
        return -1;
    }
    std::snprintf(value, CFL_STRING_SIZE, "%s", s->second[key].c_str());
    return 0;
}

extern "C" int CFL_VALUE_SET_STRING(const char *section, const char *key, const char *value,
                                    const char *file)
{
    log("CFL_VALUE_SET_STRING " + str(section) + " " + str(key) + " " + str(value) + " " +
        str(file));
    g_platform.conf[section][key] = value;
    return 0;
}

extern "C" const char *sysconf_getvalue(const char *section, const char *key)
{
    log("sysconf_getvalue " + str(section) + " " + str(key));
    return conf_value(section, key);
}

extern "C" int dev_get_uptime(UptimeInfo *up)
{
    if (g_platform.uptime_known)
        *up = g_platform.uptime;
    return 0;
}

extern "C" int if_getinfo(const char *, IfInfo *info)
{
    return inet_pton(AF_INET, g_platform.wan_ip.c_str(), info->raw + IFINFO_ADDR_IP) == 1 ? 0 : -1;
}

extern "C" int clearConn(int idx)
{
    log("clearConn " + std::to_string(idx));
    return 0;
}

// The port's settings, found by the record the fake handed out for it.
extern "C" SslInfo *ssl_get_ssl_info_from_port(PortInfo *port)
{
    for (int i = 0; i < 4; ++i)
        if (port && port == g_port[i] && !g_platform.ssl_missing[i])
            return reinterpret_cast<SslInfo *>(g_platform.ssl[i]);
    return nullptr;
}
