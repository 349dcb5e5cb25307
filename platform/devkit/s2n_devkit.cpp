// s2n-devkit: creates, shows and changes a simulated device folder, and runs
// the service mode CGI against it as a web server would.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "dk_conf.h"
#include "dk_store.h"

#ifndef DK_SOURCE_WWW
#define DK_SOURCE_WWW ""
#endif
#ifndef DK_CGI_PATH
#define DK_CGI_PATH ""
#endif

namespace fs = std::filesystem;

namespace {

constexpr const char *kSystemConf = "var/run/system.conf";
constexpr const char *kCgiName = "s2n_service_mode.cgi";

[[noreturn]] void fail(int status, const std::string &msg)
{
    std::cerr << "s2n-devkit: " << msg << "\n";
    std::exit(status);
}

void usage()
{
    std::cerr << "usage:\n"
                 "  s2n-devkit init [--force] DIR     create a simulated four-port device\n"
                 "  s2n-devkit show DIR               print the device state as JSON\n"
                 "  s2n-devkit set DIR KEY=VALUE...   change stored fields in one transaction\n"
                 "  s2n-devkit request DIR [--post] QUERY\n"
                 "                                    run the CGI once and print its response\n";
    std::exit(2);
}

// ---- Byte access to a stored PortInfo record ----

uint32_t get_u32(const unsigned char *p, unsigned off)
{
    return uint32_t(p[off]) | uint32_t(p[off + 1]) << 8 | uint32_t(p[off + 2]) << 16 |
           uint32_t(p[off + 3]) << 24;
}

void put_u32(unsigned char *p, unsigned off, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[off + i] = static_cast<unsigned char>(v >> (8 * i));
}

unsigned get_port(const unsigned char *p, unsigned la)
{
    return unsigned(p[la + LA_PORT]) << 8 | p[la + LA_PORT + 1];
}

void put_port(unsigned char *p, unsigned la, unsigned port)
{
    p[la + LA_PORT] = static_cast<unsigned char>(port >> 8);
    p[la + LA_PORT + 1] = static_cast<unsigned char>(port);
}

std::string get_ip(const unsigned char *p, unsigned la)
{
    const unsigned char *a = p + la + LA_ADDR;
    return std::to_string(a[0]) + "." + std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
           std::to_string(a[3]);
}

// ---- Value parsing ----

std::optional<long long> parse_int(const std::string &s, long long lo, long long hi)
{
    if (s.empty() || s.size() > 20)
        return std::nullopt;
    errno = 0;
    char *end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 0);
    if (errno || *end || v < lo || v > hi || std::isspace(static_cast<unsigned char>(s[0])))
        return std::nullopt;
    return v;
}

std::optional<uint32_t> parse_ip(const std::string &s)
{
    unsigned char b[4];
    size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        size_t end = s.find('.', pos);
        if (i < 3 && end == std::string::npos)
            return std::nullopt;
        std::string part = s.substr(pos, i < 3 ? end - pos : std::string::npos);
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        int v = std::stoi(part);
        if (v > 255)
            return std::nullopt;
        b[i] = static_cast<unsigned char>(v);
        pos = end + 1;
    }
    uint32_t word;
    std::memcpy(&word, b, 4);
    return word;
}

std::vector<std::string> split(const std::string &s, char sep)
{
    std::vector<std::string> out;
    size_t pos = 0;
    for (;;) {
        size_t end = s.find(sep, pos);
        out.push_back(s.substr(pos, end - pos));
        if (end == std::string::npos)
            return out;
        pos = end + 1;
    }
}

// ---- Device folder ----

std::string device_root(const std::string &dir)
{
    char buf[PATH_MAX];
    if (!realpath(dir.c_str(), buf))
        fail(1, dir + ": " + std::strerror(errno));
    return buf;
}

DeviceImage read_device(const std::string &root)
{
    DeviceImage img;
    if (dk_read_image(root.c_str(), &img) != 0)
        fail(1, root + ": no device here (run s2n-devkit init first)");
    return img;
}

std::string read_text(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---- init ----

const char *kDefaultConf =
    "# System configuration of the simulated device\n"
    "[system]\n"
    "fw_version=devkit-1.0\n"
    "\n"
    "[serial]\n"
    "s2n_remoteman=1\n"
    "DataPort0=4001\nDataPort1=4002\nDataPort2=4003\nDataPort3=4004\n"
    "CtrlPort0=4101\nCtrlPort1=4102\nCtrlPort2=4103\nCtrlPort3=4104\n"
    "ProtolPort0=0\nProtolPort1=0\nProtolPort2=0\nProtolPort3=0\n"
    "\n"
    "[network]\n"
    "wan_ifname=lo\n"
    "wan_conn_type=dhcp\n";

void default_image(DeviceImage &img)
{
    dk_image_header(&img);
    std::snprintf(reinterpret_cast<char *>(img.dev), sizeof img.dev, "S2N devkit device");
    for (int i = 0; i < DK_PORTS; ++i) {
        unsigned char *p = img.port[i];
        p[0] = static_cast<unsigned char>(i);
        put_u32(p, PI_PORT_MODE, PORT_SERVER_MODE);
        put_u32(p, PI_NET_ENABLE, 1);
        // Every address slot is an IPv4 socket address: family AF_INET.
        const unsigned slots[] = {PI_NET_ADDR, PI_CTRL_ADDR, PI_LINK(0), PI_LINK(1), PI_LINK(2), PI_LINK(3)};
        for (unsigned la : slots)
            p[la] = 2;
        put_port(p, PI_NET_ADDR, 4001 + i);
        put_port(p, PI_CTRL_ADDR, 4101 + i);
        std::snprintf(reinterpret_cast<char *>(img.tty[i]), DK_TTY_SIZE, "ttyS%d 9600 8N1", i);
        img.mbus_mode[i] = PORT_SERVER_MODE;
    }
}

int cmd_init(std::vector<std::string> args)
{
    bool force = false;
    std::string dir;
    for (auto &a : args) {
        if (a == "--force")
            force = true;
        else if (dir.empty() && !a.empty() && a[0] != '-')
            dir = a;
        else
            usage();
    }
    if (dir.empty())
        usage();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        fail(1, dir + ": " + ec.message());
    std::string root = device_root(dir);
    DeviceImage probe;
    if (!force && (dk_read_image(root.c_str(), &probe) == 0 || fs::exists(fs::path(root) / DK_DEVICE_FILE)))
        fail(1, root + ": a device exists already (use --force to replace it)");

    fs::create_directories(fs::path(root) / "var/run");
    fs::create_directories(fs::path(root) / "log");
    int lock = dk_lock(root.c_str());
    if (lock < 0)
        fail(1, root + ": cannot lock the device folder");
    DeviceImage img;
    default_image(img);
    std::string conf_path = (fs::path(root) / kSystemConf).string();
    bool ok = dk_write_image(root.c_str(), &img) == 0 &&
              dk_replace_file(conf_path.c_str(), kDefaultConf, std::strlen(kDefaultConf), 0644) == 0;
    for (const char *log : {DK_LOG_FIREWALL, DK_LOG_CLEAR_CONN})
        std::ofstream(fs::path(root) / log, std::ios::trunc);
    dk_unlock(lock);
    if (!ok)
        fail(1, root + ": cannot write the device");

    // Templates: a link to the source tree's pages, so edits show at once.
    fs::path www = fs::path(root) / "www";
    fs::remove_all(www, ec);
    if (std::strlen(DK_SOURCE_WWW) == 0 || !fs::is_directory(DK_SOURCE_WWW))
        fail(1, std::string("template folder not found: ") + DK_SOURCE_WWW);
    fs::create_directory_symlink(DK_SOURCE_WWW, www, ec);
    if (ec)
        fail(1, www.string() + ": " + ec.message());
    std::cout << "device created in " << root << "\n";
    return 0;
}

// ---- show ----

std::string json_str(const std::string &s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string addr_json(const unsigned char *p, unsigned la)
{
    return "{\"port\": " + std::to_string(get_port(p, la)) + ", \"ip\": " + json_str(get_ip(p, la)) + "}";
}

std::string master_json(const MbusMasterInfo &m)
{
    std::string host(m.host_addr, strnlen(m.host_addr, sizeof m.host_addr));
    return "{\"idle_timeout\": " + std::to_string(m.idle_timeout) +
           ", \"alive_check\": " + std::to_string(m.alive_check) + ", \"host_addr\": " + json_str(host) +
           ", \"host_port\": " + std::to_string(m.host_port) + "}";
}

std::string slave_json(const MbusSlaveInfo &s)
{
    return "{\"server_port\": " + std::to_string(s.server_port) +
           ", \"max_connect\": " + std::to_string(s.max_connect) +
           ", \"max_try\": " + std::to_string(s.max_try) + ", \"rqstpause\": " + std::to_string(s.rqstpause) +
           ", \"respwait\": " + std::to_string(s.respwait) +
           ", \"connect_timeout\": " + std::to_string(s.connect_timeout) + "}";
}

std::string conf_json(const std::string &text)
{
    // Sections and keys in file order; the first entry of a key counts,
    // as for the library's readers.
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections;
    auto find_section = [&](const std::string &name) -> decltype(sections)::value_type & {
        for (auto &s : sections)
            if (s.first == name)
                return s;
        sections.push_back({name, {}});
        return sections.back();
    };
    std::string current;
    bool have_section = false;
    ConfLine line;
    for (size_t pos = 0; conf_line(text.data(), text.size(), pos, &line); pos = line.next) {
        if (line.kind == ConfLine::SECTION) {
            current = text.substr(line.name, line.name_len);
            have_section = true;
            find_section(current);
        } else if (line.kind == ConfLine::ENTRY && have_section) {
            auto &sec = find_section(current);
            std::string key = text.substr(line.name, line.name_len);
            bool dup = false;
            for (auto &kv : sec.second)
                dup = dup || kv.first == key;
            if (!dup)
                sec.second.push_back({key, text.substr(line.value, line.value_len)});
        }
    }
    std::string out = "{";
    for (size_t i = 0; i < sections.size(); ++i) {
        out += (i ? ",\n    " : "\n    ") + json_str(sections[i].first) + ": {";
        auto &kv = sections[i].second;
        for (size_t k = 0; k < kv.size(); ++k)
            out += (k ? ", " : "") + json_str(kv[k].first) + ": " + json_str(kv[k].second);
        out += "}";
    }
    return out + (sections.empty() ? "}" : "\n  }");
}

std::string log_json(const fs::path &p)
{
    std::string text = read_text(p);
    std::string out = "[";
    size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        out += (first ? "" : ", ") + json_str(text.substr(pos, end - pos));
        first = false;
        pos = end + 1;
    }
    return out + "]";
}

int cmd_show(std::vector<std::string> args)
{
    if (args.size() != 1)
        usage();
    std::string root = device_root(args[0]);
    DeviceImage img = read_device(root);
    std::ostringstream o;
    o << "{\n  \"ports\": [";
    for (int i = 0; i < DK_PORTS; ++i) {
        const unsigned char *p = img.port[i];
        o << (i ? ",\n" : "\n") << "    {\"port_mode\": " << int32_t(get_u32(p, PI_PORT_MODE))
          << ", \"net_enable\": " << int32_t(get_u32(p, PI_NET_ENABLE))
          << ", \"idle_timeout\": " << int32_t(get_u32(p, PI_IDLE_TIMEOUT))
          << ",\n     \"net_addr\": " << addr_json(p, PI_NET_ADDR)
          << ", \"ctrl_addr\": " << addr_json(p, PI_CTRL_ADDR) << ",\n     \"links\": [";
        for (int k = 0; k < 4; ++k)
            o << (k ? ", " : "") << addr_json(p, PI_LINK(k));
        o << "],\n     \"link_cnt\": " << int32_t(get_u32(p, PI_LINK_CNT)) << ", \"host_cnt\": [";
        for (int k = 0; k < 4; ++k)
            o << (k ? ", " : "") << int32_t(get_u32(p, PI_HOST_CNT_AT(k)));
        o << "], \"alive_check\": " << int32_t(get_u32(p, PI_ALIVE_CHECK))
          << ", \"flags\": " << get_u32(p, PI_FLAGS)
          << ",\n     \"encrypt_enable\": " << (img.ssl[i][0] & SSL_ENCRYPT_ENABLE ? 1 : 0)
          << ", \"mbus_mode\": " << img.mbus_mode[i]
          << ",\n     \"rtumaster\": " << master_json(img.rtumaster[i])
          << ",\n     \"asciimaster\": " << master_json(img.asciimaster[i])
          << ",\n     \"rtuslave\": " << slave_json(img.rtuslave[i])
          << ",\n     \"asciislave\": " << slave_json(img.asciislave[i]) << "}";
    }
    o << "\n  ],\n  \"system_conf\": " << conf_json(read_text(fs::path(root) / kSystemConf))
      << ",\n  \"logs\": {\"firewall\": " << log_json(fs::path(root) / DK_LOG_FIREWALL)
      << ", \"clear_conn\": " << log_json(fs::path(root) / DK_LOG_CLEAR_CONN) << "}\n}\n";
    std::cout << o.str();
    return 0;
}

// ---- set ----

using Change = std::function<void(DeviceImage &)>;

struct ConfChange {
    std::string section, key, value;
};

[[noreturn]] void bad(const std::string &path, const std::string &why)
{
    fail(2, path + ": " + why);
}

long long need_int(const std::string &key, const std::string &v, long long lo, long long hi)
{
    auto n = parse_int(v, lo, hi);
    if (!n)
        bad(key, "'" + v + "' is not a number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return *n;
}

int need_index(const std::string &key, const std::string &v, int count)
{
    if (v.size() != 1 || v[0] < '0' || v[0] >= '0' + count)
        bad(key, "index must be 0.." + std::to_string(count - 1));
    return v[0] - '0';
}

// A LinkAddress field: "port" or "ip".
Change addr_change(const std::string &key, int port, unsigned la, const std::string &field,
                   const std::string &v)
{
    if (field == "port") {
        unsigned n = static_cast<unsigned>(need_int(key, v, 0, 65535));
        return [=](DeviceImage &img) { put_port(img.port[port], la, n); };
    }
    if (field == "ip") {
        auto ip = parse_ip(v);
        if (!ip)
            bad(key, "'" + v + "' is not a dotted IPv4 address");
        uint32_t word = *ip;
        return [=](DeviceImage &img) { std::memcpy(img.port[port] + la + LA_ADDR, &word, 4); };
    }
    bad(key, "unknown field (port, ip)");
}

Change master_change(const std::string &key, MbusMasterInfo (DeviceImage::*table)[DK_PORTS], int port,
                     const std::string &field, const std::string &v)
{
    if (field == "host_addr") {
        if (v.size() > 255)
            bad(key, "longer than 255 characters");
        return [=](DeviceImage &img) {
            MbusMasterInfo &m = (img.*table)[port];
            std::memset(m.host_addr, 0, sizeof m.host_addr);
            std::memcpy(m.host_addr, v.data(), v.size());
        };
    }
    int32_t MbusMasterInfo::*member = nullptr;
    if (field == "idle_timeout")
        member = &MbusMasterInfo::idle_timeout;
    else if (field == "alive_check")
        member = &MbusMasterInfo::alive_check;
    else if (field == "host_port")
        member = &MbusMasterInfo::host_port;
    else
        bad(key, "unknown field (idle_timeout, alive_check, host_addr, host_port)");
    int32_t n = static_cast<int32_t>(need_int(key, v, INT32_MIN, INT32_MAX));
    return [=](DeviceImage &img) { (img.*table)[port].*member = n; };
}

Change slave_change(const std::string &key, MbusSlaveInfo (DeviceImage::*table)[DK_PORTS], int port,
                    const std::string &field, const std::string &v)
{
    static const std::pair<const char *, int32_t MbusSlaveInfo::*> fields[] = {
        {"server_port", &MbusSlaveInfo::server_port}, {"max_connect", &MbusSlaveInfo::max_connect},
        {"max_try", &MbusSlaveInfo::max_try},         {"rqstpause", &MbusSlaveInfo::rqstpause},
        {"respwait", &MbusSlaveInfo::respwait},       {"connect_timeout", &MbusSlaveInfo::connect_timeout},
    };
    for (auto &f : fields) {
        if (field == f.first) {
            int32_t n = static_cast<int32_t>(need_int(key, v, INT32_MIN, INT32_MAX));
            auto member = f.second;
            return [=](DeviceImage &img) { (img.*table)[port].*member = n; };
        }
    }
    bad(key, "unknown field (server_port, max_connect, max_try, rqstpause, respwait, connect_timeout)");
}

Change port_change(const std::string &key, const std::vector<std::string> &path, const std::string &v)
{
    if (path.size() < 3)
        bad(key, "unknown path");
    int port = need_index(key, path[1], DK_PORTS);
    const std::string &f = path[2];
    size_t depth = path.size();
    static const std::pair<const char *, unsigned> ints[] = {
        {"port_mode", PI_PORT_MODE}, {"net_enable", PI_NET_ENABLE}, {"idle_timeout", PI_IDLE_TIMEOUT},
        {"link_cnt", PI_LINK_CNT},   {"alive_check", PI_ALIVE_CHECK},
    };
    for (auto &i : ints) {
        if (f == i.first && depth == 3) {
            uint32_t n = static_cast<uint32_t>(need_int(key, v, INT32_MIN, INT32_MAX));
            unsigned off = i.second;
            return [=](DeviceImage &img) { put_u32(img.port[port], off, n); };
        }
    }
    if (f == "flags" && depth == 3) {
        uint32_t n = static_cast<uint32_t>(need_int(key, v, 0, UINT32_MAX));
        return [=](DeviceImage &img) { put_u32(img.port[port], PI_FLAGS, n); };
    }
    if ((f == "net_addr" || f == "ctrl_addr") && depth == 4)
        return addr_change(key, port, f == "net_addr" ? PI_NET_ADDR : PI_CTRL_ADDR, path[3], v);
    if (f == "links" && depth == 5)
        return addr_change(key, port, PI_LINK(need_index(key, path[3], 4)), path[4], v);
    if (f == "host_cnt" && depth == 4) {
        unsigned off = PI_HOST_CNT_AT(need_index(key, path[3], 4));
        uint32_t n = static_cast<uint32_t>(need_int(key, v, INT32_MIN, INT32_MAX));
        return [=](DeviceImage &img) { put_u32(img.port[port], off, n); };
    }
    if (f == "encrypt_enable" && depth == 3) {
        bool on = need_int(key, v == "true" ? "1" : v == "false" ? "0" : v, 0, 1) != 0;
        return [=](DeviceImage &img) {
            unsigned char &b = img.ssl[port][0];
            b = static_cast<unsigned char>(on ? (b | SSL_ENCRYPT_ENABLE) : (b & ~SSL_ENCRYPT_ENABLE));
        };
    }
    if (f == "mbus_mode" && depth == 3) {
        int32_t n = static_cast<int32_t>(need_int(key, v, INT32_MIN, INT32_MAX));
        return [=](DeviceImage &img) { img.mbus_mode[port] = n; };
    }
    if ((f == "rtumaster" || f == "asciimaster") && depth == 4)
        return master_change(key, f == "rtumaster" ? &DeviceImage::rtumaster : &DeviceImage::asciimaster,
                             port, path[3], v);
    if ((f == "rtuslave" || f == "asciislave") && depth == 4)
        return slave_change(key, f == "rtuslave" ? &DeviceImage::rtuslave : &DeviceImage::asciislave, port,
                            path[3], v);
    bad(key, "unknown path");
}

int cmd_set(std::vector<std::string> args)
{
    if (args.size() < 2)
        usage();
    std::string root = device_root(args[0]);
    std::vector<Change> changes;
    std::vector<ConfChange> conf;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        size_t eq = a.find('=');
        if (eq == std::string::npos)
            bad(a, "expected KEY=VALUE");
        std::string key = a.substr(0, eq), value = a.substr(eq + 1);
        if (key.rfind("system_conf.", 0) == 0) {
            std::string rest = key.substr(12);
            size_t dot = rest.find('.');
            if (dot == std::string::npos)
                bad(key, "expected system_conf.SECTION.KEY");
            ConfChange c{rest.substr(0, dot), rest.substr(dot + 1), value};
            if (!conf_name_ok(c.section.c_str(), true) || !conf_name_ok(c.key.c_str(), false))
                bad(key, "not a usable section or key name");
            if (!conf_value_ok(c.value.c_str()))
                bad(key, "value too long or holds a line break");
            conf.push_back(c);
        } else if (key.rfind("ports.", 0) == 0) {
            changes.push_back(port_change(key, split(key, '.'), value));
        } else {
            bad(key, "unknown path (ports.N.FIELD or system_conf.SECTION.KEY)");
        }
    }

    // One transaction: the device image and the configuration file change
    // together under the folder lock.
    read_device(root);
    int lock = dk_lock(root.c_str());
    if (lock < 0)
        fail(1, root + ": cannot lock the device folder");
    DeviceImage img;
    bool ok = dk_read_image(root.c_str(), &img) == 0;
    for (auto &c : changes)
        c(img);
    std::string conf_path = (fs::path(root) / kSystemConf).string();
    char *text = nullptr;
    size_t len = 0;
    if (ok && !conf.empty()) {
        ok = dk_read_file(conf_path.c_str(), DK_CONF_MAX, &text, &len) >= 0;
        for (auto &c : conf)
            ok = ok && conf_set(&text, &len, c.section.c_str(), c.key.c_str(), c.value.c_str()) == 0;
    }
    if (ok && !changes.empty())
        ok = dk_write_image(root.c_str(), &img) == 0;
    if (ok && !conf.empty())
        ok = dk_replace_file(conf_path.c_str(), text, len, 0644) == 0;
    std::free(text);
    dk_unlock(lock);
    if (!ok)
        fail(1, root + ": the change could not be stored");
    return 0;
}

// ---- request ----

std::string cgi_path()
{
    if (const char *env = std::getenv("S2N_CGI"); env && *env)
        return env;
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        fs::path beside = fs::path(self).parent_path() / kCgiName;
        if (fs::exists(beside))
            return beside.string();
    }
    return DK_CGI_PATH;
}

int cmd_request(std::vector<std::string> args)
{
    bool post = false;
    std::vector<std::string> rest;
    for (auto &a : args) {
        if (a == "--post")
            post = true;
        else
            rest.push_back(a);
    }
    if (rest.empty() || rest.size() > 2)
        usage();
    std::string root = device_root(rest[0]);
    std::string query = rest.size() > 1 ? rest[1] : "";
    std::string cgi = cgi_path();
    if (cgi.empty() || access(cgi.c_str(), X_OK) != 0)
        fail(1, "CGI program not found: " + cgi);

    std::vector<std::string> env = {
        "DEVKIT_ROOT=" + root,
        "GATEWAY_INTERFACE=CGI/1.1",
        "SERVER_PROTOCOL=HTTP/1.1",
        "SERVER_NAME=127.0.0.1",
        "SERVER_PORT=80",
        "REMOTE_ADDR=127.0.0.1",
        "SCRIPT_NAME=/cgi-bin/s2n_service_mode.cgi",
        "PATH=/usr/local/bin:/usr/bin:/bin",
        std::string("REQUEST_METHOD=") + (post ? "POST" : "GET"),
        "QUERY_STRING=" + (post ? std::string() : query),
    };
    if (post) {
        env.push_back("CONTENT_LENGTH=" + std::to_string(query.size()));
        env.push_back("CONTENT_TYPE=application/x-www-form-urlencoded");
    }
    for (const char *pass : {"HTTP_ACCEPT_LANGUAGE", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char *v = std::getenv(pass))
            env.push_back(std::string(pass) + "=" + v);
    // S2N_EMULATOR ("qemu-arm -L /usr/arm-linux-gnueabihf") runs a CGI
    // built for another machine: its words, then the CGI path.
    std::vector<std::string> runner;
    if (const char *emu = std::getenv("S2N_EMULATOR")) {
        std::istringstream words(emu);
        for (std::string w; words >> w;)
            runner.push_back(w);
    }
    std::vector<char *> envp;
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    int pipefd[2];
    if (pipe(pipefd) != 0)
        fail(1, "pipe failed");
    std::cout.flush();
    pid_t pid = fork();
    if (pid < 0)
        fail(1, "fork failed");
    if (pid == 0) {
        dup2(pipefd[0], 0);
        close(pipefd[0]);
        close(pipefd[1]);
        std::vector<char *> argv;
        for (auto &w : runner)
            argv.push_back(w.data());
        argv.push_back(cgi.data());
        argv.push_back(nullptr);
        if (runner.empty())
            execve(argv[0], argv.data(), envp.data());
        else
            execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(pipefd[0]);
    signal(SIGPIPE, SIG_IGN);
    if (post) {
        const char *p = query.data();
        size_t left = query.size();
        while (left > 0) {
            ssize_t w = write(pipefd[1], p, left);
            if (w <= 0)
                break;
            p += w;
            left -= static_cast<size_t>(w);
        }
    }
    close(pipefd[1]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        usage();
    std::string cmd = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (cmd == "init")
        return cmd_init(args);
    if (cmd == "show")
        return cmd_show(args);
    if (cmd == "set")
        return cmd_set(args);
    if (cmd == "request")
        return cmd_request(args);
    usage();
}
