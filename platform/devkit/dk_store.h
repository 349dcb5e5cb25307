// Device folder of the development kit: where a simulated device keeps its
// state, how paths inside it are formed, and the one-file record store.
// Shared by the two platform libraries and the s2n-devkit tool.
#ifndef DK_STORE_H
#define DK_STORE_H

#include <stddef.h>
#include <stdint.h>

#include "devcfg.h"

enum {
    DK_PORTS = 4,
    DK_DEVINFO_SIZE = 64,
    DK_PORT_SIZE = 768,
    DK_TTY_SIZE = 64,
    DK_SSL_SIZE = 32,
    DK_VERSION = 1,
    DK_PATH_SIZE = 4096,
};

#define DK_MAGIC "S2NDEVK\0"
#define DK_DEVICE_FILE "device.bin"
#define DK_LOCK_FILE ".lock"
#define DK_LOG_FIREWALL "log/firewall.log"
#define DK_LOG_CLEAR_CONN "log/clear_conn.log"

// The whole device state, stored as one file in this layout (native byte
// order, no padding). Bytes the program does not own pass through unchanged.
struct DeviceImage {
    unsigned char magic[8];
    uint32_t version;
    uint32_t size;  // sizeof(DeviceImage)
    unsigned char dev[DK_DEVINFO_SIZE];
    unsigned char port[DK_PORTS][DK_PORT_SIZE];
    unsigned char tty[DK_PORTS][DK_TTY_SIZE];
    int32_t mbus_mode[DK_PORTS];
    MbusMasterInfo rtumaster[DK_PORTS];
    MbusMasterInfo asciimaster[DK_PORTS];
    MbusSlaveInfo rtuslave[DK_PORTS];
    MbusSlaveInfo asciislave[DK_PORTS];
    unsigned char ssl[DK_PORTS][DK_SSL_SIZE];
};

static_assert(DK_PORT_SIZE >= PI_MIN_SIZE, "port record holds every program field");
static_assert(offsetof(DeviceImage, dev) == 16, "header is 16 bytes");
static_assert(offsetof(DeviceImage, port) == 80, "port records");
static_assert(offsetof(DeviceImage, tty) == 3152, "serial line records");
static_assert(offsetof(DeviceImage, mbus_mode) == 3408, "Modbus mode codes");
static_assert(offsetof(DeviceImage, rtumaster) == 3424, "RTU master records");
static_assert(offsetof(DeviceImage, asciimaster) == 4512, "ASCII master records");
static_assert(offsetof(DeviceImage, rtuslave) == 5600, "RTU slave records");
static_assert(offsetof(DeviceImage, asciislave) == 5696, "ASCII slave records");
static_assert(offsetof(DeviceImage, ssl) == 5792, "encryption records");
static_assert(sizeof(DeviceImage) == 5920, "image size");

// The per-port records of the image, one row per kind: where port 0's record
// lies and how long each is (the next port's follows). A Modbus record names
// the Modbus mode code that uses it, where its network port (int32) lies and
// whether the device listens on that port (a slave) or connects to it.
enum class DkKind { Port, Ssl, MbusMode, RtuMaster, AsciiMaster, RtuSlave, AsciiSlave };

struct DkKindRow {
    DkKind kind;
    unsigned offset;
    unsigned size;
    int mbus_mode;  // -1: not a Modbus record
    unsigned port_at;
    bool listens;   // the port is the device's own (a slave's server port)
};

#define DK_AT(member) static_cast<unsigned>(offsetof(DeviceImage, member))
#define DK_MBUS(rec, type, code, port, ls) DK_AT(rec), sizeof(type), code, offsetof(type, port), ls
inline constexpr DkKindRow dk_kinds[] = {
    {DkKind::Port, DK_AT(port), DK_PORT_SIZE, -1, 0, false},
    {DkKind::Ssl, DK_AT(ssl), DK_SSL_SIZE, -1, 0, false},
    {DkKind::MbusMode, DK_AT(mbus_mode), sizeof(int32_t), -1, 0, false},
    {DkKind::RtuMaster, DK_MBUS(rtumaster, MbusMasterInfo, RTU_MASTER_MODE, host_port, false)},
    {DkKind::AsciiMaster, DK_MBUS(asciimaster, MbusMasterInfo, ASCII_MASTER_MODE, host_port, false)},
    {DkKind::RtuSlave, DK_MBUS(rtuslave, MbusSlaveInfo, RTU_SLAVE_MODE, server_port, true)},
    {DkKind::AsciiSlave, DK_MBUS(asciislave, MbusSlaveInfo, ASCII_SLAVE_MODE, server_port, true)},
};
#undef DK_MBUS
#undef DK_AT

constexpr bool dk_kinds_in_order()
{
    for (unsigned i = 0; i < sizeof dk_kinds / sizeof dk_kinds[0]; ++i)
        if (static_cast<unsigned>(dk_kinds[i].kind) != i)
            return false;
    return true;
}
static_assert(dk_kinds_in_order(), "row i is the kind numbered i");

inline const DkKindRow &dk_kind(DkKind kind)
{
    return dk_kinds[static_cast<unsigned>(kind)];
}

// One port's record of a kind in the image.
inline unsigned char *dk_record(DeviceImage *img, DkKind kind, int port)
{
    const DkKindRow &k = dk_kind(kind);
    return reinterpret_cast<unsigned char *>(img) + k.offset + static_cast<unsigned>(port) * k.size;
}

inline const unsigned char *dk_record(const DeviceImage *img, DkKind kind, int port)
{
    return dk_record(const_cast<DeviceImage *>(img), kind, port);
}

// The device folder named by DEVKIT_ROOT, made absolute once per process
// (the firewall child changes to "/" before it logs); null when unset or
// not a folder.
const char *dk_env_root(void);

// root (absolute) + "/" + sub (may be null) + "/" + rel with repeated slashes collapsed
// and "." components dropped. Refuses ".." components, empty results and
// paths that do not fit. Returns 0 on success.
int dk_path(char *out, size_t size, const char *root, const char *sub, const char *rel);

// Reads DIR/device.bin in one read; -1 when missing or not a device image.
int dk_read_image(const char *root, DeviceImage *img);

// Fills a fresh image with the header; the caller fills the records.
void dk_image_header(DeviceImage *img);

// Exclusive lock on DIR/.lock, serialising every writer of the folder.
// Returns the descriptor or -1; dk_unlock releases it.
int dk_lock(const char *root);
void dk_unlock(int fd);

// Replaces a file atomically: writes "<path>.tmp", flushes it to the disk,
// then renames it over path. On failure (a full disk, a read-only folder)
// the temporary file is removed and path is left as it was. Call with the
// folder lock held. Returns 0 on success.
int dk_replace_file(const char *path, const void *data, size_t len, unsigned mode);

int dk_write_image(const char *root, const DeviceImage *img);

// Appends one line (a newline is added) to a log of the folder with one
// write() on an O_APPEND descriptor, so concurrent lines never interleave.
int dk_append_line(const char *root, const char *log, const char *line);

// Reads a whole small file into a malloc'd, NUL-terminated buffer.
// Returns 0 and sets *text/*len; 1 when the file does not exist (empty
// buffer); -1 on other errors or when it is larger than max.
int dk_read_file(const char *path, size_t max, char **text, size_t *len);

#endif
