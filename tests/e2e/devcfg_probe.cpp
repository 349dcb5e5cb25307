// Drives single calls of the device configuration library against the folder
// in DEVKIT_ROOT, so the tests can check the library on its own and hammer its
// store from many processes. Each argument is one operation ("get:serial:x")
// printing one line; the operations of a run share the process's copies of
// the device and of system.conf.
#include <arpa/inet.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "devcfg.h"

static const char CONF[] = "/var/run//system.conf";

static void put_u32(unsigned char *p, unsigned off, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[off + i] = static_cast<unsigned char>(v >> (8 * i));
}

// Stores version v of a port through the library: every field the program
// owns and the encryption bit by SaveNewConfig, then the RTU slave record.
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
    unsigned char *ssl = reinterpret_cast<unsigned char *>(ssl_get_ssl_info_from_port(ports[port]));
    if (!ssl)
        return 1;
    ssl[0] = static_cast<unsigned char>((ssl[0] & ~1u) | (v & 1u));
    const char *msg = nullptr;
    int rc = SaveNewConfig(&dev, ports, ttys, &msg, 0);
    int32_t s = static_cast<int32_t>(v);
    MbusSlaveInfo slave = {s, s + 1, s + 2, s + 3, s + 4, s + 5};
    rc |= set_mbus_rtuslave_mode_info(&slave, port);
    free(dev);
    free(ports[port]);
    if (rc != 0)
        fprintf(stderr, "save %d %u: %s\n", port, v, msg ? msg : "failed");
    return rc != 0;
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        // One operation per argument, its fields split at ':'; "file:" and
        // "shell:" take the rest as one field.
        std::vector<std::string> f(1);
        for (const char *c = argv[i]; *c; ++c)
            if (*c == ':' && (f.size() == 1 || (f[0] != "file" && f[0] != "shell")))
                f.emplace_back();
            else
                f.back() += *c;
        f.resize(f.size() + 4);
        const std::string &op = f[0];
        auto s = [&](size_t k) { return f[k].c_str(); };
        auto n = [&](size_t k) { return atoi(f[k].c_str()); };
        if (op == "check") {
            int owner = -1;
            int rc = check_valid_port_num(n(1), &owner);
            printf("%d %d\n", rc, owner);
        } else if (op == "clear") {
            printf("%d\n", clearConn(n(1)));
        } else if (op == "uptime") {
            UptimeInfo up;
            int rc = dev_get_uptime(&up);
            printf("%d %ld %ld %ld %ld\n", rc, up.days, up.hours, up.minutes, up.seconds);
        } else if (op == "ifaddr") {
            IfInfo info;
            memset(&info, 0, sizeof info);
            int rc = if_getinfo(s(1), &info);
            struct in_addr addr;
            memcpy(&addr, info.raw + IFINFO_ADDR_IP, 4);
            printf("%d %s\n", rc != 0, inet_ntoa(addr));
        } else if (op == "wanif") {
            char name[WANIF_NAME_SIZE] = {};
            int rc = net_get_wanif(name);
            printf("%d [%s]\n", rc != 0, name);
        } else if (op == "get") {
            char buf[CFL_STRING_SIZE];
            memset(buf, 'x', sizeof buf);
            int rc = CFL_GET_STRING(s(1), s(2), buf, CONF);
            printf("%d [%s]\n", rc != 0, buf);
        } else if (op == "sysget") {
            const char *v = sysconf_getvalue(s(1), s(2));
            printf("%s\n", v ? v : "(null)");
        } else if (op == "set") {
            printf("set %d\n", CFL_VALUE_SET_STRING(s(1), s(2), s(3), CONF) != 0);
        } else if (op == "file") {
            // Replaces system.conf as another process would (rename).
            const char *root = getenv("DEVKIT_ROOT");
            std::string path = std::string(root ? root : ".") + "/var/run/system.conf", tmp = path + ".other";
            FILE *out = fopen(tmp.c_str(), "w");
            if (!out || fputs(s(1), out) < 0 || fclose(out) != 0 || rename(tmp.c_str(), path.c_str()) != 0)
                return 1;
            printf("file\n");
        } else if (op == "multi") {
            // Reads the items (section:key pairs), then writes each back with "+" appended, in one go.
            std::vector<ConfigItem> items;
            for (size_t k = 1; !f[k].empty(); k += 2) {
                items.push_back(ConfigItem{s(k), s(k + 1), 1, {}});
                memset(items.back().value, 'x', sizeof items.back().value);
            }
            items.push_back(ConfigItem{nullptr, nullptr, 1, {}});
            int rc = CFL_GET_MULTI_ITEMS(items.data(), CONF);
            for (size_t k = 0; k + 1 < items.size(); ++k) {
                printf("[%s]", items[k].value);
                strncat(items[k].value, "+", sizeof items[k].value - strlen(items[k].value) - 1);
            }
            printf(" %d %d\n", rc != 0, CFL_VALUE_SET_MULTI_ITEMS(items.data(), CONF) != 0);
        } else if (op == "shell") {
            // Another process's turn, between two calls of this one.
            fflush(stdout);
            printf("%d\n", system(s(1)) != 0);
        } else if (op == "ssl") {
            PortInfo *port = nullptr;
            GetPortInfoAlloc(&port, n(1));
            SslInfo *ssl = ssl_get_ssl_info_from_port(port);
            printf("%d\n", ssl ? reinterpret_cast<unsigned char *>(ssl)[0] & 1 : -1);
            free(port);
        } else if (op == "save") {
            if (save_version(n(1), static_cast<uint32_t>(strtoul(s(2), nullptr, 10))) != 0)
                return 1;
            printf("saved\n");
        } else {
            return 2;
        }
    }
    return 0;
}
