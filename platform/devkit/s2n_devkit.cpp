// s2n-devkit: creates, shows and changes a simulated device folder, and runs
// the service mode CGI against it as a web server would.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

#include <nlohmann/json.hpp>

#include "dk_conf.h"
#include "dk_store.h"
#include "record.h"

#ifndef DK_WWW
#define DK_WWW ""
#endif
#ifndef DK_CGI_PATH
#define DK_CGI_PATH ""
#endif

namespace fs = std::filesystem;
// Objects keep their members in insertion order: table order, file order.
using Json = nlohmann::ordered_json;

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

// ---- The stored fields, one row each ----
//
// Every field the program owns, and the library-side records the tool shows,
// is one row: its dotted name below "ports.N" ("#" stands for an index 0 to
// count - 1), where it lives, how it is read and written, the values "set"
// accepts and the value "init" gives it. init, show and set all walk this
// table, so a new field is a new row.

using Area = DkKind;
enum class Type {
    I32,   // signed 32-bit: little-endian in a port record, native elsewhere
    U32,   // unsigned 32-bit, little-endian (the flag word)
    Port,  // 16-bit port of a LinkAddress, network order
    Ip,    // IPv4 address of a LinkAddress, dotted
    Bit,   // bit 0 of a byte: 0/1 (or false/true)
    Text,  // NUL-terminated text of `hi` characters at most
};

constexpr long long kI32Min = INT32_MIN, kI32Max = INT32_MAX;

// A row names what differs from a plain signed 32-bit port record field
// that init leaves 0.
struct Field {
    const char *name;
    Area area = Area::Port;
    Type type = Type::I32;
    unsigned offset = 0;          // in the area's record
    unsigned count = 1;           // how many "#" repeats; 1 for a plain field
    unsigned stride = 0;          // bytes from one repeat to the next
    long long lo = kI32Min;       // what set accepts (for Text, hi is the longest text)
    long long hi = kI32Max;
    long long init = 0;           // what init stores for port 0 ...
    long long init_step = 0;      // ... plus this for each further port
};

#define MASTER_AT(f) static_cast<unsigned>(offsetof(MbusMasterInfo, f))
#define SLAVE_AT(f) static_cast<unsigned>(offsetof(MbusSlaveInfo, f))

const Field kFields[] = {
    {.name = "port_mode", .offset = PI_PORT_MODE, .init = PORT_SERVER_MODE},
    {.name = "net_enable", .offset = PI_NET_ENABLE, .init = 1},
    {.name = "idle_timeout", .offset = PI_IDLE_TIMEOUT},
    {.name = "net_addr.port", .type = Type::Port, .offset = PI_NET_ADDR, .lo = 0, .hi = 65535, .init = 4001,
     .init_step = 1},
    {.name = "net_addr.ip", .type = Type::Ip, .offset = PI_NET_ADDR},
    {.name = "ctrl_addr.port", .type = Type::Port, .offset = PI_CTRL_ADDR, .lo = 0, .hi = 65535, .init = 4101,
     .init_step = 1},
    {.name = "ctrl_addr.ip", .type = Type::Ip, .offset = PI_CTRL_ADDR},
    {.name = "links.#.port", .type = Type::Port, .offset = PI_LINKS, .count = 4, .stride = LA_SIZE, .lo = 0,
     .hi = 65535},
    {.name = "links.#.ip", .type = Type::Ip, .offset = PI_LINKS, .count = 4, .stride = LA_SIZE},
    {.name = "link_cnt", .offset = PI_LINK_CNT},
    {.name = "host_cnt.#", .offset = PI_HOST_CNT, .count = 4, .stride = 4},
    {.name = "alive_check", .offset = PI_ALIVE_CHECK},
    {.name = "flags", .type = Type::U32, .offset = PI_FLAGS, .lo = 0, .hi = UINT32_MAX},
    {.name = "encrypt_enable", .area = Area::Ssl, .type = Type::Bit, .lo = 0, .hi = 1},
    {.name = "mbus_mode", .area = Area::MbusMode, .init = PORT_SERVER_MODE},
#define MASTER_ROWS(rec, where)                                                                          \
    {.name = rec ".idle_timeout", .area = where, .offset = MASTER_AT(idle_timeout)},                     \
    {.name = rec ".alive_check", .area = where, .offset = MASTER_AT(alive_check)},                       \
    {.name = rec ".host_addr", .area = where, .type = Type::Text, .offset = MASTER_AT(host_addr),        \
     .hi = sizeof(MbusMasterInfo::host_addr) - 1},                                                       \
    {.name = rec ".host_port", .area = where, .offset = MASTER_AT(host_port)}
#define SLAVE_ROW(rec, where, f) {.name = rec "." #f, .area = where, .offset = SLAVE_AT(f)}
#define SLAVE_ROWS(rec, where)                                                                           \
    SLAVE_ROW(rec, where, server_port), SLAVE_ROW(rec, where, max_connect), SLAVE_ROW(rec, where, max_try), \
        SLAVE_ROW(rec, where, rqstpause), SLAVE_ROW(rec, where, respwait),                                \
        SLAVE_ROW(rec, where, connect_timeout)
    MASTER_ROWS("rtumaster", Area::RtuMaster),
    MASTER_ROWS("asciimaster", Area::AsciiMaster),
    SLAVE_ROWS("rtuslave", Area::RtuSlave),
    SLAVE_ROWS("asciislave", Area::AsciiSlave),
#undef MASTER_ROWS
#undef SLAVE_ROW
#undef SLAVE_ROWS
};

// The bytes of one port's record in an area.
unsigned char *area_bytes(DeviceImage &img, Area area, int port)
{
    return dk_record(&img, area, port);
}

// A field's value as JSON; at is the field's bytes in its record.
Json field_json(const Field &f, unsigned char *rec, unsigned at)
{
    PortInfo *pi = reinterpret_cast<PortInfo *>(rec);
    switch (f.type) {
    case Type::I32:
        if (f.area == Area::Port)
            return pi_i32(pi, at);
        int32_t v;
        std::memcpy(&v, rec + at, sizeof v);
        return v;
    case Type::U32: return pi_u32(pi, at);
    case Type::Port: return pi_port(pi, at);
    case Type::Ip: {
        const unsigned char *a = rec + at + LA_ADDR;
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
        return text;
    }
    case Type::Bit: return rec[at] & 1u;
    case Type::Text: {
        const char *t = reinterpret_cast<const char *>(rec + at);
        return std::string(t, strnlen(t, static_cast<size_t>(f.hi) + 1));
    }
    }
    return nullptr;
}

// Stores a checked value: n for the numeric types, word for Ip, text for Text.
void field_store(const Field &f, unsigned char *rec, unsigned at, long long n, uint32_t word,
                 const std::string &text)
{
    PortInfo *pi = reinterpret_cast<PortInfo *>(rec);
    switch (f.type) {
    case Type::I32:
        if (f.area == Area::Port) {
            pi_set_i32(pi, at, static_cast<int32_t>(n));
        } else {
            int32_t v = static_cast<int32_t>(n);
            std::memcpy(rec + at, &v, sizeof v);
        }
        break;
    case Type::U32: pi_set_u32(pi, at, static_cast<uint32_t>(n)); break;
    case Type::Port: pi_set_port(pi, at, static_cast<uint16_t>(n)); break;
    case Type::Ip: pi_set_inaddr(pi, at, word); break;
    case Type::Bit: rec[at] = static_cast<unsigned char>((rec[at] & ~1u) | (n ? 1u : 0u)); break;
    case Type::Text:
        std::memset(rec + at, 0, static_cast<size_t>(f.hi) + 1);
        std::memcpy(rec + at, text.data(), text.size());
        break;
    }
}

// The dotted name of repeat k of a field ("links.2.ip").
std::string field_name(const Field &f, unsigned k)
{
    std::string name = f.name;
    size_t hash = name.find('#');
    if (hash != std::string::npos)
        name.replace(hash, 1, std::to_string(k));
    return name;
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

// What init gives a field for a port.
long long init_value(const char *name, int port)
{
    for (const Field &f : kFields)
        if (std::strcmp(f.name, name) == 0)
            return f.init + f.init_step * port;
    fail(1, std::string("no field ") + name);
}

// The [serial] entries the program keeps in line with each port's record
// ("DataPort0"...), from the values init gives the records.
const struct {
    const char *key;
    long long (*value)(int port);
} kPortEntries[] = {
    {"DataPort", [](int i) { return init_value("net_addr.port", i); }},
    {"CtrlPort", [](int i) { return init_value("ctrl_addr.port", i); }},
    {"ProtolPort", [](int i) -> long long { return init_value("port_mode", i) == PORT_UDP_MODE; }},
};

std::string default_conf()
{
    std::string text = "# System configuration of the simulated device\n"
                       "[system]\n"
                       "fw_version=devkit-1.0\n"
                       "\n"
                       "[serial]\n"
                       "s2n_remoteman=1\n";
    for (const auto &e : kPortEntries)
        for (int i = 0; i < DK_PORTS; ++i)
            text += e.key + std::to_string(i) + "=" + std::to_string(e.value(i)) + "\n";
    return text + "\n"
                  "[network]\n"
                  "wan_ifname=lo\n"
                  "wan_conn_type=dhcp\n";
}

void default_image(DeviceImage &img)
{
    dk_image_header(&img);
    std::snprintf(reinterpret_cast<char *>(img.dev), sizeof img.dev, "S2N devkit device");
    for (int i = 0; i < DK_PORTS; ++i) {
        unsigned char *p = img.port[i];
        p[0] = static_cast<unsigned char>(i);  // library byte: which port this is
        // Every address slot is an IPv4 socket address: family AF_INET.
        for (unsigned la : {PI_NET_ADDR, PI_CTRL_ADDR, PI_LINK(0), PI_LINK(1), PI_LINK(2), PI_LINK(3)})
            p[la] = 2;
        for (const Field &f : kFields)
            for (unsigned k = 0; k < f.count; ++k)
                field_store(f, area_bytes(img, f.area, i), f.offset + k * f.stride, f.init + f.init_step * i, 0,
                            "");
        std::snprintf(reinterpret_cast<char *>(img.tty[i]), DK_TTY_SIZE, "ttyS%d 9600 8N1", i);
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
    std::string conf_path = (fs::path(root) / kSystemConf).string(), conf = default_conf();
    bool ok = dk_write_image(root.c_str(), &img) == 0 &&
              dk_replace_file(conf_path.c_str(), conf.data(), conf.size(), 0644) == 0;
    for (const char *log : {DK_LOG_FIREWALL, DK_LOG_CLEAR_CONN})
        std::ofstream(fs::path(root) / log, std::ios::trunc);
    dk_unlock(lock);
    if (!ok)
        fail(1, root + ": cannot write the device");

    // Templates: a link to the pages the build renders, so a rebuild shows
    // at once.
    fs::path www = fs::path(root) / "www";
    fs::remove_all(www, ec);
    if (std::strlen(DK_WWW) == 0 || !fs::is_directory(DK_WWW))
        fail(1, std::string("template folder not found: ") + DK_WWW);
    fs::create_directory_symlink(DK_WWW, www, ec);
    if (ec)
        fail(1, www.string() + ": " + ec.message());
    std::cout << "device created in " << root << "\n";
    return 0;
}

// ---- show ----

// The port fields nest as their dotted names do: "links.2.ip" is member
// "ip" of element 2 of the array "links" (a JSON pointer starting a numeric
// component at 0 makes an array).
Json port_json(DeviceImage &img, int port)
{
    Json out = Json::object();
    for (const Field &f : kFields)
        for (unsigned k = 0; k < f.count; ++k) {
            std::string pointer = "/";
            pointer += field_name(f, k);
            std::replace(pointer.begin(), pointer.end(), '.', '/');
            out[Json::json_pointer(pointer)] = field_json(f, area_bytes(img, f.area, port), f.offset + k * f.stride);
        }
    return out;
}

Json conf_json(const std::string &text)
{
    // Sections and keys in file order; the first entry of a key counts,
    // as for the library's readers.
    Json out = Json::object();
    Json *section = nullptr;
    ConfLine line;
    for (size_t pos = 0; conf_line(text.data(), text.size(), pos, &line); pos = line.next) {
        if (line.kind == ConfLine::SECTION) {
            std::string name = text.substr(line.name, line.name_len);
            if (!out.contains(name))
                out[name] = Json::object();
            section = &out[name];
        } else if (line.kind == ConfLine::ENTRY && section) {
            std::string key = text.substr(line.name, line.name_len);
            if (!section->contains(key))
                (*section)[key] = text.substr(line.value, line.value_len);
        }
    }
    return out;
}

// One string per line of the log.
Json log_json(const fs::path &p)
{
    std::string text = read_text(p);
    Json out = Json::array();
    for (size_t pos = 0; pos < text.size();) {
        size_t end = std::min(text.find('\n', pos), text.size());
        out.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

int cmd_show(std::vector<std::string> args)
{
    if (args.size() != 1)
        usage();
    std::string root = device_root(args[0]);
    DeviceImage img = read_device(root);
    Json doc = {{"ports", Json::array()},
                {"system_conf", conf_json(read_text(fs::path(root) / kSystemConf))},
                {"logs",
                 {{"firewall", log_json(fs::path(root) / DK_LOG_FIREWALL)},
                  {"clear_conn", log_json(fs::path(root) / DK_LOG_CLEAR_CONN)}}}};
    for (int i = 0; i < DK_PORTS; ++i)
        doc["ports"].push_back(port_json(img, i));
    // Stored text need not be UTF-8 (a host address is kept as entered):
    // such bytes show as U+FFFD rather than making the output invalid.
    std::cout << doc.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
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

// A change of one field of one port: the path "ports.N.<field name>", with
// the field's index in place of its "#".
Change port_change(const std::string &key, const std::string &v)
{
    std::vector<std::string> path = split(key, '.');
    if (path.size() < 3)
        bad(key, "unknown path");
    int port = need_index(key, path[1], DK_PORTS);
    std::vector<std::string> rest(path.begin() + 2, path.end());
    for (const Field &f : kFields) {
        std::vector<std::string> name = split(f.name, '.');
        if (name.size() != rest.size())
            continue;
        bool match = true;
        unsigned k = 0;
        for (size_t i = 0; match && i < name.size(); ++i) {
            if (name[i] == "#")
                k = static_cast<unsigned>(need_index(key, rest[i], static_cast<int>(f.count)));
            else
                match = name[i] == rest[i];
        }
        if (!match)
            continue;
        long long n = 0;
        uint32_t word = 0;
        if (f.type == Type::Ip) {
            auto ip = parse_ip(v);
            if (!ip)
                bad(key, "'" + v + "' is not a dotted IPv4 address");
            word = *ip;
        } else if (f.type == Type::Text) {
            if (v.size() > static_cast<size_t>(f.hi))
                bad(key, "longer than " + std::to_string(f.hi) + " characters");
        } else {
            n = need_int(key, f.type == Type::Bit ? (v == "true" ? "1" : v == "false" ? "0" : v) : v, f.lo, f.hi);
        }
        unsigned at = f.offset + k * f.stride;
        return [=](DeviceImage &img) { field_store(f, area_bytes(img, f.area, port), at, n, word, v); };
    }
    bad(key, "unknown field");
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
            changes.push_back(port_change(key, value));
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
