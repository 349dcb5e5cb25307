/*
 * Device configuration library: the records it exchanges with the service
 * mode CGI and the calls the CGI makes. The library is closed on the device;
 * platform/devkit provides a stand-in for development hosts.
 *
 * Layouts here are interfaces: every offset and size is checked at compile
 * time, for 32-bit (the device) and 64-bit (development hosts) targets.
 */
#ifndef DEVCFG_H
#define DEVCFG_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define DEVCFG_ASSERT(c, m) static_assert(c, m)
extern "C" {
#else
#define DEVCFG_ASSERT(c, m) _Static_assert(c, m)
#endif

/* ---- PortInfo: packed per-port service record, owned by the library ----
 * Opaque to the program: it only holds pointers handed out by
 * GetPortInfoAlloc and reaches fields one byte at a time at these offsets.
 * Integers are little-endian; ports and IPv4 addresses are network order. */
typedef struct PortInfo PortInfo;

#define PI_PORT_MODE    8    /* int32, PortMode code 0..7 */
#define PI_NET_ENABLE   12   /* int32 */
#define PI_IDLE_TIMEOUT 16   /* int32, page value x 100 */
#define PI_NET_ADDR     68   /* LinkAddress: data port and client address */
#define PI_LINK_CNT     496  /* int32, links minus one */
#define PI_LINKS        500  /* four LinkAddress slots */
#define PI_HOST_CNT     564  /* four int32, UDP range sizes */
#define PI_ALIVE_CHECK  664  /* int32 */
#define PI_CTRL_ADDR    676  /* LinkAddress, control channel */
#define PI_FLAGS        740  /* uint32 flag word */
#define PI_MIN_SIZE     744  /* the record is at least this long */

/* LinkAddress: 16 bytes laid out like an IPv4 socket address. */
#define LA_PORT 2   /* uint16, network order */
#define LA_ADDR 4   /* 4 bytes, network order */
#define LA_SIZE 16

#define PI_LINK(k)      (PI_LINKS + LA_SIZE * (k))
#define PI_HOST_CNT_AT(k) (PI_HOST_CNT + 4 * (k))
#define PI_FLAG_CONNECT_ON 0x4000000u

DEVCFG_ASSERT(PI_LINK(3) + LA_SIZE == PI_HOST_CNT, "link slots end where host_cnt starts");
DEVCFG_ASSERT(PI_HOST_CNT_AT(3) == 576, "host_cnt[3] offset");
DEVCFG_ASSERT(PI_NET_ADDR + LA_PORT == 70 && PI_NET_ADDR + LA_ADDR == 72, "net_addr fields");
DEVCFG_ASSERT(PI_LINK(1) + LA_ADDR == 520, "slot 1 address");
DEVCFG_ASSERT(PI_FLAGS + 4 == PI_MIN_SIZE, "flags is the last field the program owns");

/* PortMode: the codes stored in port_mode. */
enum {
    PORT_SERVER_MODE = 0,
    PORT_CLIENT_MODE = 1,
    PORT_UDP_MODE = 2,
    PORT_VIRTUALCOM_MODE = 3,
    RTU_SLAVE_MODE = 4,
    RTU_MASTER_MODE = 5,
    ASCII_SLAVE_MODE = 6,
    ASCII_MASTER_MODE = 7
};

/* ---- Modbus parameter records: naturally aligned, native byte order ---- */
typedef struct MbusMasterInfo {
    int32_t idle_timeout;
    int32_t alive_check;
    char host_addr[256];
    int32_t host_port;
    unsigned char reserved[4];
} MbusMasterInfo;

typedef struct MbusSlaveInfo {
    int32_t server_port;
    int32_t max_connect;
    int32_t max_try;
    int32_t rqstpause;
    int32_t respwait;
    int32_t connect_timeout;
} MbusSlaveInfo;

DEVCFG_ASSERT(sizeof(MbusMasterInfo) == 272, "MbusMasterInfo size");
DEVCFG_ASSERT(offsetof(MbusMasterInfo, idle_timeout) == 0, "idle_timeout");
DEVCFG_ASSERT(offsetof(MbusMasterInfo, alive_check) == 4, "alive_check");
DEVCFG_ASSERT(offsetof(MbusMasterInfo, host_addr) == 8, "host_addr");
DEVCFG_ASSERT(offsetof(MbusMasterInfo, host_port) == 264, "host_port");
DEVCFG_ASSERT(offsetof(MbusMasterInfo, reserved) == 268, "reserved");
DEVCFG_ASSERT(sizeof(MbusSlaveInfo) == 24, "MbusSlaveInfo size");
DEVCFG_ASSERT(offsetof(MbusSlaveInfo, server_port) == 0, "server_port");
DEVCFG_ASSERT(offsetof(MbusSlaveInfo, max_connect) == 4, "max_connect");
DEVCFG_ASSERT(offsetof(MbusSlaveInfo, max_try) == 8, "max_try");
DEVCFG_ASSERT(offsetof(MbusSlaveInfo, rqstpause) == 12, "rqstpause");
DEVCFG_ASSERT(offsetof(MbusSlaveInfo, respwait) == 16, "respwait");
DEVCFG_ASSERT(offsetof(MbusSlaveInfo, connect_timeout) == 20, "connect_timeout");

/* ---- ConfigItem: one row of a multi-item table of the configuration file ---- */
#define CFG_ITEM_VALUE_SIZE 516
typedef struct ConfigItem {
    const char *section;  /* null in the end row */
    const char *key;      /* null in the end row */
    int32_t kind;
    char value[CFG_ITEM_VALUE_SIZE];
} ConfigItem;

DEVCFG_ASSERT(offsetof(ConfigItem, section) == 0, "section");
DEVCFG_ASSERT(offsetof(ConfigItem, key) == sizeof(void *), "key");
DEVCFG_ASSERT(offsetof(ConfigItem, kind) == 2 * sizeof(void *), "kind");
DEVCFG_ASSERT(offsetof(ConfigItem, value) == 2 * sizeof(void *) + 4, "value");
DEVCFG_ASSERT(sizeof(void *) != 4 || sizeof(ConfigItem) == 528, "ConfigItem is 528 bytes on the device");
DEVCFG_ASSERT(sizeof(void *) != 8 || sizeof(ConfigItem) == 536, "ConfigItem on 64-bit hosts");

/* ---- Status records ---- */
typedef struct UptimeInfo {
    long days;
    long hours;
    long minutes;
    long seconds;
} UptimeInfo;
DEVCFG_ASSERT(sizeof(UptimeInfo) == 4 * sizeof(long), "UptimeInfo is four longs");
DEVCFG_ASSERT(sizeof(long) != 4 || sizeof(UptimeInfo) == 16, "UptimeInfo is 16 bytes on the device");

#define IFINFO_SIZE 408
#define IFINFO_ADDR 56      /* IPv4 socket address */
#define IFINFO_ADDR_IP 60   /* its 4-byte address, network order */
typedef struct IfInfo {
    unsigned char raw[IFINFO_SIZE];
} IfInfo;
DEVCFG_ASSERT(sizeof(IfInfo) == 408, "IfInfo size");

#define WANIF_NAME_SIZE 8

/* Encryption settings of a port: bit 0 of the first byte means on. */
typedef struct SslInfo SslInfo;
#define SSL_ENCRYPT_ENABLE 0x01u

/* Device and serial line records: opaque, only loaded, handed on, freed. */
typedef struct DevInfo DevInfo;
typedef struct TtyInfo TtyInfo;

/* ---- Calls ---- */
int GetDevInfoAlloc(DevInfo **dev);
int GetPortInfoAlloc(PortInfo **port, int idx);
int GetTtyInfoAlloc(TtyInfo **tty, int idx);
int SaveNewConfig(DevInfo **dev, PortInfo **ports, TtyInfo **ttys, const char **msg, int mbus);

int get_mbus_mode_info(int *mode, int idx);
int set_mbus_mode_info(int *mode, int idx);
int get_mbus_rtumaster_mode_info(MbusMasterInfo *info, int idx);
int set_mbus_rtumaster_mode_info(MbusMasterInfo *info, int idx);
int get_mbus_asciimaster_mode_info(MbusMasterInfo *info, int idx);
int set_mbus_asciimaster_mode_info(MbusMasterInfo *info, int idx);
int get_mbus_rtuslave_mode_info(MbusSlaveInfo *info, int idx);
int set_mbus_rtuslave_mode_info(MbusSlaveInfo *info, int idx);
int get_mbus_asciislave_mode_info(MbusSlaveInfo *info, int idx);
int set_mbus_asciislave_mode_info(MbusSlaveInfo *info, int idx);

int check_valid_port_num(int port_num, int *owner);
int clearConn(int idx);
SslInfo *ssl_get_ssl_info_from_port(PortInfo *port);

int dev_get_uptime(UptimeInfo *up);
int net_get_wanif(char *name);
int if_getinfo(const char *ifname, IfInfo *info);
const char *sysconf_getvalue(const char *section, const char *key);

int fw_renewconf(const char *wanif);
int fw_reload(const char *group);

#define CFL_STRING_SIZE 256
int CFL_GET_MULTI_ITEMS(ConfigItem *items, const char *file);
int CFL_VALUE_SET_MULTI_ITEMS(ConfigItem *items, const char *file);
int CFL_GET_STRING(const char *section, const char *key, char *value, const char *file);
int CFL_VALUE_SET_STRING(const char *section, const char *key, const char *value, const char *file);

#ifdef __cplusplus
}
#endif
#endif
