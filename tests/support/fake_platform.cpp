#include "fake_platform.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "modes.h"
#include "state.h"

namespace fake {

namespace {

Platform g;
std::string g_reload_log;           // where reload children report, one line each
constexpr size_t kOpaqueSize = 64;  // device and serial line records

void log(const std::string &s) { g.calls.push_back(s); }
std::string str(const char *s) { return s ? s : "(null)"; }
std::string num(int n) { return std::to_string(n); }

// Lines of a text file, with or without their line ends.
std::vector<std::string> lines_of(const char *path, bool keep_ends)
{
    std::vector<std::string> lines;
    if (FILE *f = std::fopen(path, "r")) {
        for (char buf[512]; std::fgets(buf, sizeof buf, f);)
            lines.emplace_back(buf, keep_ends ? std::strlen(buf) : std::strcspn(buf, "\n"));
        std::fclose(f);
    }
    return lines;
}

// A value of the fake's system.conf, or null.
const char *conf_value(const char *section, const char *key)
{
    auto s = g.conf.find(section);
    return s == g.conf.end() || !s->second.count(key) ? nullptr : s->second[key].c_str();
}

}  // namespace

Platform &P() { return g; }
void field(const std::string &name, const std::string &value) { g.form.emplace_back(name, value); }
void fields(std::initializer_list<std::pair<std::string, std::string>> list) { g.form.insert(g.form.end(), list); }
std::vector<std::string> console_lines() { return lines_of(S2N_TEST_CONSOLE, true); }

void reset()
{
    reloads();  // a reload child of an earlier request must not report into this one
    g = Platform();
    g_reload_log = std::string(S2N_TEST_DIR) + "/reloads-" + num(getpid());
    for (int i = 0; i < 4; ++i) {
        Port &p = g.ports[i];
        // Library-owned bytes get a pattern so a stray write shows; the
        // program's fields start as a TCP server with data and control ports.
        for (unsigned b = 0; b < kPortSize; ++b)
            p.bytes[b] = static_cast<unsigned char>(0xA5 ^ b ^ i);
        for (unsigned off : {PI_PORT_MODE, PI_IDLE_TIMEOUT, PI_LINK_CNT, PI_ALIVE_CHECK, PI_FLAGS,
                             PI_HOST_CNT_AT(0), PI_HOST_CNT_AT(1), PI_HOST_CNT_AT(2), PI_HOST_CNT_AT(3)})
            wr32(p, off, 0);
        for (unsigned la : {PI_NET_ADDR, PI_CTRL_ADDR, PI_LINK(0), PI_LINK(1), PI_LINK(2), PI_LINK(3)})
            std::memset(p.bytes + la + LA_PORT, 0, 6);  // port and address
        wr32(p, PI_NET_ENABLE, 1);
        wr_port(p, PI_NET_ADDR, static_cast<uint16_t>(4001 + i));
        wr_port(p, PI_CTRL_ADDR, static_cast<uint16_t>(4101 + i));
        g.conf["serial"]["DataPort" + num(i)] = num(4001 + i);
        g.conf["serial"]["CtrlPort" + num(i)] = num(4101 + i);
        g.conf["serial"]["ProtolPort" + num(i)] = "0";
    }
    g.conf["system"]["fw_version"] = "1.2.3";
    g.conf["serial"]["s2n_remoteman"] = "1";
    for (const ServiceModeRow &m : service_modes)  // each mode's page renders as "page=<file name>"
        g.templates[std::string("en/") + m.page] = std::string("page=") + m.page;
    // The per-request state the program does not set itself, as a new process starts it.
    iServiceMode = 0;
    ret_msg = nullptr;
    clear_conn_asked = false;
    std::remove(S2N_TEST_CONSOLE);
    setenv("REQUEST_METHOD", "POST", 1);
    for (const char *name : {"HTTP_ORIGIN", "HTTP_REFERER", "HTTP_HOST", "HTTP_SEC_FETCH_SITE", "S2N_ALLOWED_HOSTS"})
        unsetenv(name);
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

std::vector<std::string> calls_starting(const std::string &prefix)
{
    std::vector<std::string> out;
    for (const std::string &c : g.calls)
        if (c.rfind(prefix, 0) == 0)
            out.push_back(c);
    return out;
}

bool reload_children = true;

std::vector<std::string> reloads()
{
    while (reload_children && waitpid(-1, nullptr, 0) > 0) {
    }
    std::vector<std::string> lines = lines_of(g_reload_log.c_str(), false);
    std::remove(g_reload_log.c_str());
    return lines;
}

}  // namespace fake

using namespace fake;

// ---- CGI form and template library; the form list is the fake's own ----

extern "C" int read_cgi_input(CgiList **list) { *list = reinterpret_cast<CgiList *>(&g); return 0; }
extern "C" void list_clear(CgiList **list) { log("list_clear"); *list = nullptr; }
// Two languages: 0 "en", the default, and 1 "de".
extern "C" int lang_get_index(const char *lang) { return str(lang) == "de"; }
extern "C" const char *lang_get_tag(int i) { log("lang_get_tag " + num(i)); return i == 1 ? "de" : "en"; }
extern "C" void html_header(void) { std::fputs("Content-Type: text/html\n\n", stdout); }
extern "C" void CgiError(void) { std::fputs("Status: 500 Internal Server Error\n\n", stdout); }

extern "C" const char *cgi_val(CgiList *list, const char *name)
{
    auto it = std::find_if(g.form.begin(), g.form.end(), [&](const auto &f) { return f.first == name; });
    return list && it != g.form.end() ? it->second.c_str() : nullptr;
}

// Renders "<%name%>" tags by calling the row's getter, like the real library.
extern "C" int parse_html(const char *path, const TagEntry *tab)
{
    log(std::string("parse_html ") + path);
    for (int i = 0; i < 4; ++i)
        if (pPortInfo[i])
            std::memcpy(g.rendered_ports[i].bytes, pPortInfo[i], kPortSize);
    auto it = g.templates.find(path);
    if (it == g.templates.end())
        return 2;
    const std::string &t = it->second;
    size_t pos = 0;
    for (size_t open, close; (open = t.find("<%", pos)) != t.npos && (close = t.find("%>", open)) != t.npos;
         pos = close + 2) {
        std::fwrite(t.data() + pos, 1, open - pos, stdout);
        for (const TagEntry *row = tab; row->tag; ++row)
            if (t.compare(open + 2, close - open - 2, row->tag) == 0 && row->getter)
                row->getter(nullptr);
    }
    std::fputs(t.c_str() + pos, stdout);
    return g.parse_html_status;
}

// ---- Device configuration library ----

extern "C" int GetDevInfoAlloc(DevInfo **dev)
{
    *dev = g.dev_missing ? nullptr : static_cast<DevInfo *>(std::calloc(1, kOpaqueSize));
    return -g.dev_missing;
}

extern "C" int GetPortInfoAlloc(PortInfo **port, int idx)
{
    log("GetPortInfoAlloc " + num(idx));
    if (idx < 0 || idx > 3 || g.port_missing[idx])
        return -1;
    *port = static_cast<PortInfo *>(std::malloc(kPortSize));
    std::memcpy(*port, g.ports[idx].bytes, kPortSize);
    return 0;
}

extern "C" int GetTtyInfoAlloc(TtyInfo **tty, int idx)
{ log("GetTtyInfoAlloc " + num(idx)); *tty = static_cast<TtyInfo *>(std::calloc(1, kOpaqueSize)); return 0; }

extern "C" int SaveNewConfig(DevInfo **, PortInfo **ports, TtyInfo **, const char **msg, int mbus)
{
    log("SaveNewConfig " + num(mbus));
    g.saved = true;
    for (int i = 0; i < 4; ++i)
        if (ports[i])
            std::memcpy(g.saved_ports[i].bytes, ports[i], kPortSize);
    *msg = g.save_msg ? g.save_msg : *msg;
    return g.save_status;
}

extern "C" int get_mbus_mode_info(int *m, int i) { log("get_mbus_mode_info " + num(i)); *m = g.mbus_mode[i]; return 0; }
extern "C" int set_mbus_mode_info(int *m, int i)
{ log("set_mbus_mode_info " + num(*m) + " " + num(i)); g.mbus_mode[i] = *m; return 0; }

#define FAKE_MBUS_PAIR(kind, Type)                                                                      \
    extern "C" int get_mbus_##kind##_mode_info(Type *info, int i)                                       \
    { log("get_mbus_" #kind "_mode_info " + num(i)); *info = g.kind[i]; return 0; }                   \
    extern "C" int set_mbus_##kind##_mode_info(Type *info, int i)                                       \
    { log("set_mbus_" #kind "_mode_info " + num(i)); g.kind[i] = *info; return 0; }
FAKE_MBUS_PAIR(rtumaster, MbusMasterInfo)
FAKE_MBUS_PAIR(asciimaster, MbusMasterInfo)
FAKE_MBUS_PAIR(rtuslave, MbusSlaveInfo)
FAKE_MBUS_PAIR(asciislave, MbusSlaveInfo)

extern "C" int check_valid_port_num(int port_num, int *owner)
{
    log("check_valid_port_num " + num(port_num));
    const auto it = g.ports_in_use.find(port_num);
    *owner = it != g.ports_in_use.end() ? it->second : *owner;
    return it != g.ports_in_use.end();
}

extern "C" int net_get_wanif(char *name)
{ log("net_get_wanif"); return std::snprintf(name, WANIF_NAME_SIZE, "%s", g.wanif.c_str()) < 0; }

extern "C" int fw_renewconf(const char *wanif) { log("fw_renewconf " + str(wanif)); return 0; }

// Runs in the reload child, whose memory is its own: when asked to, it waits
// up to 5 s for the test to let it go on, then reports its state through a file.
extern "C" int fw_reload(const char *group)
{
    int fds = 0;
    for (int fd = 0; fd < 64; ++fd)
        fds += fcntl(fd, F_GETFD) != -1;
    mode_t mask = umask(0);
    struct sigaction chld;
    sigaction(SIGCHLD, nullptr, &chld);
    pollfd hold = {g.reload_hold, POLLIN, 0};
    const char *held = g.reload_hold < 0 ? "" : poll(&hold, 1, 5000) == 1 ? " let go" : " timed out";
    char cwd[256] = "?";
    char line[512];
    int n = std::snprintf(line, sizeof line, "%s sid=%s cwd=%s umask=%o sigchld=%s fds=%d%s\n", str(group).c_str(),
                          getsid(0) == getpid() ? "own" : "other", getcwd(cwd, sizeof cwd) ? cwd : "?",
                          static_cast<unsigned>(mask), chld.sa_handler == SIG_IGN ? "ign" : "dfl", fds, held);
    int fd = open(g_reload_log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0 || write(fd, line, static_cast<size_t>(n)) != n)
        std::abort();
    close(fd);
    return 0;
}

extern "C" int CFL_GET_MULTI_ITEMS(ConfigItem *items, const char *)
{
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
        g.multi_items_written.push_back(std::string(it->section) + "." + it->key + "=" + it->value);
    return 0;
}

// A missing key leaves the buffer as it was: the program clears it first.
extern "C" int CFL_GET_STRING(const char *section, const char *key, char *value, const char *)
{
    const char *v = conf_value(section, key);
    if (v)
        std::snprintf(value, CFL_STRING_SIZE, "%s", v);
    return v ? 0 : -1;
}

extern "C" int CFL_VALUE_SET_STRING(const char *section, const char *key, const char *value, const char *file)
{
    log("CFL_VALUE_SET_STRING " + str(section) + " " + str(key) + " " + str(value) + " " + str(file));
    g.conf[section][key] = value;
    return 0;
}

extern "C" const char *sysconf_getvalue(const char *section, const char *key)
{ log("sysconf_getvalue " + str(section) + " " + str(key)); return conf_value(section, key); }

extern "C" int dev_get_uptime(UptimeInfo *up) { *up = g.uptime_known ? g.uptime : *up; return 0; }

extern "C" int if_getinfo(const char *, IfInfo *info)
{ return inet_pton(AF_INET, g.wan_ip.c_str(), info->raw + IFINFO_ADDR_IP) == 1 ? 0 : -1; }

extern "C" int clearConn(int idx) { log("clearConn " + num(idx)); return 0; }

// The port's settings, found by the record the fake handed out for it.
extern "C" SslInfo *ssl_get_ssl_info_from_port(PortInfo *port)
{
    for (int i = 0; i < 4; ++i)
        if (port && port == pPortInfo[i] && !g.ssl_missing[i])
            return reinterpret_cast<SslInfo *>(g.ssl[i]);
    return nullptr;
}
