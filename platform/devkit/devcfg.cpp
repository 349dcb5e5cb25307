// Device configuration library for development hosts. The device lives in
// the folder named by DEVKIT_ROOT: its records in one image file (read once
// per process and kept), the system configuration in DIR/var/run/system.conf,
// firewall and connection resets as lines in DIR/log.
#include <arpa/inet.h>
#include <errno.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#pragma GCC visibility push(default)
#include "devcfg.h"
#pragma GCC visibility pop

#include "dk_conf.h"
#include "dk_store.h"
#include "record.h"

#define SYSTEM_CONF_PATH "/var/run/system.conf"

// ---- Device image, cached for the life of the process ----

static DeviceImage g_img;
static int g_img_state;  // 0 not read yet, 1 held, -1 no device
static unsigned char g_ssl[DK_PORTS][DK_SSL_SIZE];

static void take_image(const DeviceImage *img)
{
    if (img != &g_img)
        memcpy(&g_img, img, sizeof g_img);
    g_img_state = 1;
}

static const DeviceImage *image(void)
{
    if (g_img_state == 0) {
        g_img_state = -1;
        if (dk_read_image(dk_env_root(), &g_img) == 0) {
            g_img_state = 1;
            memcpy(g_ssl, g_img.ssl, sizeof g_ssl);
        }
    }
    return g_img_state == 1 ? &g_img : nullptr;
}

static bool port_ok(int idx)
{
    return idx >= 0 && idx < DK_PORTS;
}

typedef void (*Patch)(DeviceImage *img, const void *ctx);

// One transaction: under the folder lock, read the current image, patch
// the part being stored, replace the file unless the patch changed nothing
// (a save of unchanged settings costs no write). The patched image becomes
// the process's copy.
static int store(Patch patch, const void *ctx)
{
    const char *root = dk_env_root();
    if (!root || !image())
        return -1;
    int lock = dk_lock(root);
    if (lock < 0)
        return -1;
    DeviceImage *cur = static_cast<DeviceImage *>(malloc(2 * sizeof(DeviceImage)));
    int rc = -1;
    if (cur && dk_read_image(root, cur) == 0) {
        DeviceImage *before = cur + 1;
        memcpy(before, cur, sizeof *cur);
        patch(cur, ctx);
        rc = memcmp(before, cur, sizeof *cur) == 0 ? 0 : dk_write_image(root, cur);
        if (rc == 0)
            take_image(cur);
    }
    free(cur);
    dk_unlock(lock);
    return rc;
}

// ---- Records ----

static void *alloc_copy(const void *src, size_t n)
{
    void *p = malloc(n);
    if (p)
        memcpy(p, src, n);
    return p;
}

int GetDevInfoAlloc(DevInfo **dev)
{
    if (!dev)
        return -1;
    *dev = nullptr;
    const DeviceImage *img = image();
    if (!img)
        return -1;
    *dev = static_cast<DevInfo *>(alloc_copy(img->dev, sizeof img->dev));
    return *dev ? 0 : -1;
}

int GetPortInfoAlloc(PortInfo **port, int idx)
{
    if (!port)
        return -1;
    *port = nullptr;
    const DeviceImage *img = image();
    if (!img || !port_ok(idx))
        return -1;
    unsigned char *p = static_cast<unsigned char *>(alloc_copy(img->port[idx], DK_PORT_SIZE));
    if (!p)
        return -1;
    p[0] = static_cast<unsigned char>(idx);  // library byte: which port this is
    *port = reinterpret_cast<PortInfo *>(p);
    return 0;
}

int GetTtyInfoAlloc(TtyInfo **tty, int idx)
{
    if (!tty)
        return -1;
    *tty = nullptr;
    const DeviceImage *img = image();
    if (!img || !port_ok(idx))
        return -1;
    *tty = static_cast<TtyInfo *>(alloc_copy(img->tty[idx], DK_TTY_SIZE));
    return *tty ? 0 : -1;
}

struct SaveSet {
    DevInfo *dev;
    PortInfo **ports;
    TtyInfo **ttys;
};

static void patch_save(DeviceImage *img, const void *ctx)
{
    const SaveSet *s = static_cast<const SaveSet *>(ctx);
    if (s->dev)
        memcpy(img->dev, s->dev, sizeof img->dev);
    for (int i = 0; i < DK_PORTS; ++i) {
        if (s->ports && s->ports[i]) {
            memcpy(img->port[i], s->ports[i], DK_PORT_SIZE);
            img->port[i][0] = static_cast<unsigned char>(i);
            memcpy(img->ssl[i], g_ssl[i], DK_SSL_SIZE);
        }
        if (s->ttys && s->ttys[i])
            memcpy(img->tty[i], s->ttys[i], DK_TTY_SIZE);
    }
}

int SaveNewConfig(DevInfo **dev, PortInfo **ports, TtyInfo **ttys, const char **msg, int mbus)
{
    (void)mbus;  // the Modbus records were stored by their own calls
    SaveSet set = {dev ? *dev : nullptr, ports, ttys};
    int rc = store(patch_save, &set);
    if (rc != 0 && msg)
        *msg = "save failed";
    return rc;
}

SslInfo *ssl_get_ssl_info_from_port(PortInfo *port)
{
    if (!port || !image())
        return nullptr;
    unsigned idx = reinterpret_cast<const unsigned char *>(port)[0];
    if (idx >= DK_PORTS)
        return nullptr;
    return reinterpret_cast<SslInfo *>(g_ssl[idx]);
}

// ---- Modbus mode codes and records ----

struct MbusPut {
    int idx;
    DkKind kind;
    const void *rec;
};

static void patch_mbus(DeviceImage *img, const void *ctx)
{
    const MbusPut *m = static_cast<const MbusPut *>(ctx);
    memcpy(dk_record(img, m->kind, m->idx), m->rec, dk_kind(m->kind).size);
}

static int mbus_get(DkKind kind, void *out, int idx)
{
    const DeviceImage *img = image();
    if (!out || !img || !port_ok(idx))
        return -1;
    memcpy(out, dk_record(img, kind, idx), dk_kind(kind).size);
    return 0;
}

static int mbus_set(DkKind kind, const void *rec, int idx)
{
    if (!rec || !port_ok(idx))
        return -1;
    MbusPut put = {idx, kind, rec};
    return store(patch_mbus, &put);
}

static_assert(sizeof(int) == sizeof(int32_t), "mode codes are stored as int32");

int get_mbus_mode_info(int *mode, int idx) { return mbus_get(DkKind::MbusMode, mode, idx); }
int set_mbus_mode_info(int *mode, int idx) { return mbus_set(DkKind::MbusMode, mode, idx); }
int get_mbus_rtumaster_mode_info(MbusMasterInfo *info, int idx) { return mbus_get(DkKind::RtuMaster, info, idx); }
int set_mbus_rtumaster_mode_info(MbusMasterInfo *info, int idx) { return mbus_set(DkKind::RtuMaster, info, idx); }
int get_mbus_asciimaster_mode_info(MbusMasterInfo *info, int idx) { return mbus_get(DkKind::AsciiMaster, info, idx); }
int set_mbus_asciimaster_mode_info(MbusMasterInfo *info, int idx) { return mbus_set(DkKind::AsciiMaster, info, idx); }
int get_mbus_rtuslave_mode_info(MbusSlaveInfo *info, int idx) { return mbus_get(DkKind::RtuSlave, info, idx); }
int set_mbus_rtuslave_mode_info(MbusSlaveInfo *info, int idx) { return mbus_set(DkKind::RtuSlave, info, idx); }
int get_mbus_asciislave_mode_info(MbusSlaveInfo *info, int idx) { return mbus_get(DkKind::AsciiSlave, info, idx); }
int set_mbus_asciislave_mode_info(MbusSlaveInfo *info, int idx) { return mbus_set(DkKind::AsciiSlave, info, idx); }

// A network port number is in use when a serial port's stored service
// listens on it over TCP: the data port (net_addr) of a TCP server or
// virtual COM port, or the server port of the Modbus slave record of the
// slave mode in port_mode. Clients' and masters' remote ports, UDP ports and
// records of a mode the port no longer runs hold nothing. Zero is "not set"
// in the Modbus records and never counts as in use.
int check_valid_port_num(int port_num, int *owner)
{
    const DeviceImage *img = image();
    if (!img || port_num <= 0 || port_num > 65535)
        return 0;
    for (int i = 0; i < DK_PORTS; ++i) {
        const PortInfo *port = reinterpret_cast<const PortInfo *>(img->port[i]);
        int32_t mode = pi_i32(port, PI_PORT_MODE);
        int32_t listens = 0;
        if (mode == PORT_SERVER_MODE || mode == PORT_VIRTUALCOM_MODE)
            listens = pi_port(port, PI_NET_ADDR);
        for (const DkKindRow &k : dk_kinds)
            if (k.listens && k.mbus_mode == mode)
                memcpy(&listens, dk_record(img, k.kind, i) + k.port_at, sizeof listens);
        if (listens == port_num) {
            if (owner)
                *owner = i;
            return 1;
        }
    }
    return 0;
}

// ---- Logs ----

static int log_line(const char *log, const char *what, const char *arg)
{
    char line[256];
    int n = snprintf(line, sizeof line, "%s %s", what, arg ? arg : "");
    if (n < 0 || static_cast<size_t>(n) >= sizeof line)
        return -1;
    return dk_append_line(dk_env_root(), log, line);
}

int clearConn(int idx)
{
    if (!port_ok(idx))
        return -1;
    char num[16];
    snprintf(num, sizeof num, "%d", idx);
    return log_line(DK_LOG_CLEAR_CONN, "clearConn", num);
}

int fw_renewconf(const char *wanif)
{
    return log_line(DK_LOG_FIREWALL, "fw_renewconf", wanif);
}

int fw_reload(const char *group)
{
    return log_line(DK_LOG_FIREWALL, "fw_reload", group);
}

// ---- Host status ----

// DEVKIT_UPTIME, a number of seconds, stands in for the host's uptime, so
// two runs of a page can give the same bytes (the benchmark compares them).
static bool fixed_uptime(long *s)
{
    const char *text = getenv("DEVKIT_UPTIME");
    if (!text || !*text)
        return false;
    long v = 0;
    for (; *text >= '0' && *text <= '9' && v < 100000000L; ++text)
        v = v * 10 + (*text - '0');
    *s = v;
    return true;
}

int dev_get_uptime(UptimeInfo *up)
{
    if (!up)
        return -1;
    memset(up, 0, sizeof *up);
    long s = 0;
    if (!fixed_uptime(&s)) {
        struct sysinfo si;
        if (sysinfo(&si) != 0)
            return -1;
        s = si.uptime;
    }
    up->days = s / 86400;
    up->hours = s / 3600 % 24;
    up->minutes = s / 60 % 60;
    up->seconds = s % 60;
    return 0;
}

int net_get_wanif(char *name)
{
    if (!name)
        return -1;
    const char *v = sysconf_getvalue("network", "wan_ifname");
    if (!v || strlen(v) >= WANIF_NAME_SIZE)
        return -1;
    memcpy(name, v, strlen(v) + 1);
    return 0;
}

int if_getinfo(const char *ifname, IfInfo *info)
{
    if (!ifname || !info || !ifname[0] || strlen(ifname) >= IFNAMSIZ)
        return -1;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    struct ifreq req;
    memset(&req, 0, sizeof req);
    memcpy(req.ifr_name, ifname, strlen(ifname) + 1);
    int rc = ioctl(fd, SIOCGIFADDR, &req);
    close(fd);
    if (rc != 0 || req.ifr_addr.sa_family != AF_INET)
        return -1;
    static_assert(IFINFO_ADDR + sizeof(struct sockaddr_in) <= IFINFO_SIZE, "address fits");
    static_assert(IFINFO_ADDR + offsetof(struct sockaddr_in, sin_addr) == IFINFO_ADDR_IP, "address at 60");
    memcpy(info->raw + IFINFO_ADDR, &req.ifr_addr, sizeof(struct sockaddr_in));
    return 0;
}

// ---- System configuration file ----

// The configuration file of the last read or write, kept parsed: its
// text, where its entries are, its folder path and the name the caller
// gave (so repeated reads of the same name skip resolving the path).
static struct {
    char *text;
    ConfIndex index;
    char path[DK_PATH_SIZE];
    char file[256];
} g_conf;

static int conf_path(char *out, const char *file)
{
    const char *root = dk_env_root();
    if (!root || !file)
        return -1;
    return dk_path(out, DK_PATH_SIZE, root, nullptr, file);
}

static void conf_drop(void)
{
    free(g_conf.text);
    g_conf.text = nullptr;
    conf_index_free(&g_conf.index);
    g_conf.path[0] = '\0';
    g_conf.file[0] = '\0';
}

// Makes text (malloc'd, taken over) the kept copy of path; false when it
// cannot be indexed, and then nothing is kept.
static bool conf_keep(const char *path, const char *file, char *text, size_t len)
{
    conf_drop();
    if (conf_index(text, len, &g_conf.index) != 0) {
        free(text);
        return false;
    }
    g_conf.text = text;
    memcpy(g_conf.path, path, strlen(path) + 1);
    if (strlen(file) < sizeof g_conf.file)
        memcpy(g_conf.file, file, strlen(file) + 1);
    return true;
}

// The kept copy of file, read and parsed on first use; it follows the
// process's own writes. False when the file cannot be read.
static bool conf_load(const char *file)
{
    if (!file)
        return false;
    if (g_conf.text && g_conf.file[0] && strcmp(file, g_conf.file) == 0)
        return true;
    char path[DK_PATH_SIZE];
    if (conf_path(path, file) != 0)
        return false;
    if (g_conf.text && strcmp(path, g_conf.path) == 0) {
        if (strlen(file) < sizeof g_conf.file)
            memcpy(g_conf.file, file, strlen(file) + 1);
        return true;
    }
    char *text;
    size_t n;
    if (dk_read_file(path, DK_CONF_MAX, &text, &n) < 0) {
        free(text);
        return false;
    }
    return conf_keep(path, file, text, n);
}

// Copies the value of section/key into out (size bytes, truncated there);
// empty text and -1 when absent.
static int conf_copy(const char *file, const char *section, const char *key, char *out,
                     size_t size)
{
    out[0] = '\0';
    size_t vlen = 0;
    if (!conf_load(file))
        return -1;
    const char *v = conf_lookup(g_conf.text, &g_conf.index, section, key, &vlen);
    if (!v)
        return -1;
    if (vlen >= size)
        vlen = size - 1;
    memcpy(out, v, vlen);
    out[vlen] = '\0';
    return 0;
}

struct ConfEdit {
    const char *section;
    const char *key;
    const char *value;
};

// One transaction on a configuration file: under the folder lock, read
// the current text, apply every edit, replace the file. All or nothing.
static int conf_store(const char *file, const ConfEdit *edits, int count)
{
    const char *root = dk_env_root();
    char path[DK_PATH_SIZE];
    if (!root || conf_path(path, file) != 0)
        return -1;
    for (int i = 0; i < count; ++i)
        if (!conf_name_ok(edits[i].section, true) || !conf_name_ok(edits[i].key, false) ||
            !conf_value_ok(edits[i].value))
            return -1;
    int lock = dk_lock(root);
    if (lock < 0)
        return -1;
    char *text;
    size_t len;
    int rc = dk_read_file(path, DK_CONF_MAX, &text, &len) < 0 ? -1 : 0;
    for (int i = 0; rc == 0 && i < count; ++i)
        rc = conf_set(&text, &len, edits[i].section, edits[i].key, edits[i].value);
    if (rc == 0)
        rc = dk_replace_file(path, text, len, 0644);
    if (rc == 0) {
        // The written text is the file now: it replaces the kept copy.
        conf_keep(path, file, text, len);
        text = nullptr;
    }
    free(text);
    dk_unlock(lock);
    return rc;
}

const char *sysconf_getvalue(const char *section, const char *key)
{
    // A few rotating buffers: each value stays valid while a page prints it.
    static char values[8][CFL_STRING_SIZE];
    static unsigned next;
    if (!section || !key)
        return nullptr;
    char *out = values[next++ % 8];
    return conf_copy(SYSTEM_CONF_PATH, section, key, out, CFL_STRING_SIZE) == 0 ? out : nullptr;
}

int CFL_GET_STRING(const char *section, const char *key, char *value, const char *file)
{
    if (!value)
        return -1;
    value[0] = '\0';
    if (!section || !key)
        return -1;
    return conf_copy(file, section, key, value, CFL_STRING_SIZE);
}

int CFL_VALUE_SET_STRING(const char *section, const char *key, const char *value, const char *file)
{
    ConfEdit edit = {section, key, value};
    return conf_store(file, &edit, 1);
}

int CFL_GET_MULTI_ITEMS(ConfigItem *items, const char *file)
{
    if (!items)
        return -1;
    int rc = 0;
    for (ConfigItem *it = items; it->section; ++it)
        if (!it->key || conf_copy(file, it->section, it->key, it->value, sizeof it->value) != 0)
            rc = -1;
    return rc;
}

int CFL_VALUE_SET_MULTI_ITEMS(ConfigItem *items, const char *file)
{
    enum { MAX_ITEMS = 64 };
    ConfEdit edits[MAX_ITEMS];
    int count = 0;
    if (!items)
        return -1;
    for (ConfigItem *it = items; it->section; ++it) {
        // A value area without its terminating NUL is not a value.
        if (count == MAX_ITEMS || !it->key || !memchr(it->value, '\0', sizeof it->value))
            return -1;
        edits[count++] = ConfEdit{it->section, it->key, it->value};
    }
    return conf_store(file, edits, count);
}
