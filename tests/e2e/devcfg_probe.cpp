// Drives single calls of the device configuration library from the command
// line, against the folder in DEVKIT_ROOT, so the Python tests can check
// what the library does on its own and hammer its store concurrently.
#include <arpa/inet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "devcfg.h"

static void put_u32(unsigned char *p, unsigned off, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[off + i] = static_cast<unsigned char>(v >> (8 * i));
}

// Writes one whole version of port `port` through the library: every field
// the program owns, the encryption bit and the RTU slave record.
static int save_version(int port, uint32_t v)
{
    DevInfo *dev = nullptr;
    PortInfo *ports[4] = {};
    TtyInfo *ttys[4] = {};
    if (GetDevInfoAlloc(&dev) != 0 || GetPortInfoAlloc(&ports[port], port) != 0)
        return 1;
    unsigned char *p = reinterpret_cast<unsigned char *>(ports[port]);
    put_u32(p, PI_PORT_MODE, v % 8);
    put_u32(p, PI_NET_ENABLE, v % 2);
    put_u32(p, PI_IDLE_TIMEOUT, v * 3);
    p[PI_NET_ADDR + LA_PORT] = static_cast<unsigned char>((1000 + v) >> 8);
    p[PI_NET_ADDR + LA_PORT + 1] = static_cast<unsigned char>(1000 + v);
    put_u32(p, PI_NET_ADDR + LA_ADDR, v);
    put_u32(p, PI_LINK_CNT, v % 4);
    for (int k = 0; k < 4; ++k) {
        put_u32(p, PI_LINK(k) + LA_ADDR, v + k);
        put_u32(p, PI_HOST_CNT_AT(k), v * 10 + k);
    }
    put_u32(p, PI_ALIVE_CHECK, v * 7);
    put_u32(p, PI_FLAGS, v);
    SslInfo *ssl = ssl_get_ssl_info_from_port(ports[port]);
    if (!ssl)
        return 1;
    unsigned char *s = reinterpret_cast<unsigned char *>(ssl);
    s[0] = static_cast<unsigned char>((s[0] & ~1u) | (v & 1u));
    const char *msg = nullptr;
    int rc = SaveNewConfig(&dev, ports, ttys, &msg, 0);
    MbusSlaveInfo slave = {static_cast<int32_t>(v), static_cast<int32_t>(v + 1), static_cast<int32_t>(v + 2),
                           static_cast<int32_t>(v + 3), static_cast<int32_t>(v + 4), static_cast<int32_t>(v + 5)};
    rc |= set_mbus_rtuslave_mode_info(&slave, port);
    free(dev);
    free(ports[port]);
    if (msg)
        printf("msg %s\n", msg);
    return rc != 0;
}

// Runs a sequence of system.conf operations in one process, one output
// line each:
//   get S K      CFL_GET_STRING through "/var/run//system.conf"
//   sysget S K   sysconf_getvalue ("/var/run/system.conf")
//   set S K V    CFL_VALUE_SET_STRING
//   file TEXT    replaces the file as another process would (rename)
static int conf_sequence(const std::vector<std::string> &a)
{
    const char *root = getenv("DEVKIT_ROOT");
    std::string path = std::string(root ? root : ".") + "/var/run/system.conf";
    for (size_t i = 1; i < a.size();) {
        const std::string &op = a[i];
        size_t need = op == "set" ? 4 : op == "file" ? 2 : 3;
        if (i + need > a.size())
            return 2;
        if (op == "get") {
            char buf[CFL_STRING_SIZE];
            int rc = CFL_GET_STRING(a[i + 1].c_str(), a[i + 2].c_str(), buf, "/var/run//system.conf");
            printf("%s\n", rc == 0 ? buf : "(missing)");
        } else if (op == "sysget") {
            const char *v = sysconf_getvalue(a[i + 1].c_str(), a[i + 2].c_str());
            printf("%s\n", v ? v : "(missing)");
        } else if (op == "set") {
            int rc = CFL_VALUE_SET_STRING(a[i + 1].c_str(), a[i + 2].c_str(), a[i + 3].c_str(),
                                          "/var/run//system.conf");
            printf("set %d\n", rc != 0);
        } else if (op == "file") {
            std::string tmp = path + ".other";
            FILE *f = fopen(tmp.c_str(), "w");
            if (!f || fputs(a[i + 1].c_str(), f) < 0 || fclose(f) != 0 || rename(tmp.c_str(), path.c_str()) != 0)
                return 1;
            printf("file\n");
        } else {
            return 2;
        }
        i += need;
    }
    return 0;
}

int main(int argc, char **argv)
{
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.empty())
        return 2;
    const std::string &cmd = a[0];
    if (cmd == "check" && a.size() == 2) {
        int owner = -1;
        int rc = check_valid_port_num(atoi(a[1].c_str()), &owner);
        printf("%d %d\n", rc, owner);
    } else if (cmd == "clear" && a.size() == 2) {
        printf("%d\n", clearConn(atoi(a[1].c_str())));
    } else if (cmd == "fw" && a.size() == 3) {
        int renew = fw_renewconf(a[1].c_str());
        int reload = fw_reload(a[2].c_str());
        printf("%d %d\n", renew, reload);
    } else if (cmd == "uptime") {
        UptimeInfo up;
        int rc = dev_get_uptime(&up);
        printf("%d %ld %ld %ld %ld\n", rc, up.days, up.hours, up.minutes, up.seconds);
    } else if (cmd == "ifaddr" && a.size() == 2) {
        IfInfo info;
        memset(&info, 0, sizeof info);
        int rc = if_getinfo(a[1].c_str(), &info);
        struct in_addr addr;
        memcpy(&addr, info.raw + IFINFO_ADDR_IP, 4);
        printf("%d %s\n", rc != 0, inet_ntoa(addr));
    } else if (cmd == "wanif") {
        char name[WANIF_NAME_SIZE] = {};
        int rc = net_get_wanif(name);
        printf("%d [%s]\n", rc != 0, name);
    } else if (cmd == "sysget" && a.size() == 3) {
        const char *v = sysconf_getvalue(a[1].c_str(), a[2].c_str());
        printf("%s\n", v ? v : "(null)");
    } else if (cmd == "get" && a.size() == 3) {
        char buf[CFL_STRING_SIZE];
        memset(buf, 'x', sizeof buf);
        int rc = CFL_GET_STRING(a[1].c_str(), a[2].c_str(), buf, "/var/run//system.conf");
        printf("%d [%s]\n", rc != 0, buf);
    } else if (cmd == "set" && a.size() == 4) {
        // Write, then read back in the same process: the cache follows writes.
        int rc = CFL_VALUE_SET_STRING(a[1].c_str(), a[2].c_str(), a[3].c_str(), "/var/run//system.conf");
        const char *v = sysconf_getvalue(a[1].c_str(), a[2].c_str());
        printf("%d [%s]\n", rc != 0, v ? v : "(null)");
    } else if (cmd == "multi" && a.size() >= 3 && a.size() % 2 == 1) {
        // Reads the items, appends "+" to each value, writes them back.
        std::vector<ConfigItem> items(a.size() / 2 + 1);
        for (size_t i = 0; i + 1 < items.size(); ++i) {
            items[i].section = a[1 + 2 * i].c_str();
            items[i].key = a[2 + 2 * i].c_str();
            items[i].kind = 1;
            memset(items[i].value, 'x', sizeof items[i].value);
        }
        items.back() = ConfigItem{nullptr, nullptr, 1, {0}};
        int rc = CFL_GET_MULTI_ITEMS(items.data(), "/var/run//system.conf");
        for (size_t i = 0; i + 1 < items.size(); ++i) {
            printf("%s\n", items[i].value);
            strncat(items[i].value, "+", sizeof items[i].value - strlen(items[i].value) - 1);
        }
        rc = CFL_VALUE_SET_MULTI_ITEMS(items.data(), "/var/run//system.conf") != 0;
        printf("%d\n", rc);
    } else if (cmd == "seq") {
        return conf_sequence(a);
    } else if (cmd == "ssl" && a.size() == 2) {
        PortInfo *port = nullptr;
        int idx = atoi(a[1].c_str());
        GetPortInfoAlloc(&port, idx);
        SslInfo *ssl = ssl_get_ssl_info_from_port(port);
        printf("%d\n", ssl ? reinterpret_cast<unsigned char *>(ssl)[0] & 1 : -1);
        free(port);
    } else if (cmd == "save" && a.size() == 3) {
        return save_version(atoi(a[1].c_str()), static_cast<uint32_t>(strtoul(a[2].c_str(), nullptr, 10)));
    } else if (cmd == "nodevice") {
        DevInfo *dev = reinterpret_cast<DevInfo *>(&argc);
        int rc = GetDevInfoAlloc(&dev);
        printf("%d %s\n", rc != 0, dev ? "set" : "null");
        free(dev);
    } else {
        return 2;
    }
    return 0;
}
