// Modbus gateway tags: the selected port's four Modbus parameter records,
// shown with the device's defaults for unset fields and changed by a save.
// Which record a save stores is the save flow's choice, so no setter looks
// at the mode or the page.
#include <stddef.h>
#include <stdint.h>

#include "field_limits.h"
#include "modes.h"
#include "numtext.h"
#include "output.h"
#include "state.h"
#include "tags.h"
#include "text.h"

enum { HOST_ADDR_SIZE = sizeof(MbusMasterInfo::host_addr) };
static_assert(int{HOST_TEXT_MAX} < int{HOST_ADDR_SIZE}, "a taken host address fits with its end mark");

// One tag's field in its mode's record (modbus_record), at its offset: an
// integer, or the host address text. An integer that holds 0 (not set) is
// shown as the fallback, which is written into the record first; a fallback
// of 0 shows 0. Each row names its tag; its limits are that tag's row of the
// field limits. No pointers: each would be a relocation on every request.
struct ModbusField {
    unsigned char tag;   // the ModbusTag whose row this is
    unsigned char mode;  // the ServiceMode whose record holds the field
    bool text;           // the host address, not an integer
    uint16_t offset;     // in the record
    int32_t fallback;
    FieldTagId limit;
};

// A master field's mode, or a slave field's: a row that pairs a field with
// the other kind of record does not compile.
void mode_without_that_record();
consteval unsigned char master_mode(ServiceMode m)
{
    if (m != ENUM_RTU_MASTER_MODE && m != ENUM_ASCII_MASTER_MODE)
        mode_without_that_record();
    return static_cast<unsigned char>(m);
}
consteval unsigned char slave_mode(ServiceMode m)
{
    if (m != ENUM_RTU_SLAVE_MODE && m != ENUM_ASCII_SLAVE_MODE)
        mode_without_that_record();
    return static_cast<unsigned char>(m);
}

// The Modbus tags stand last in the field limits, in the same order.
#define MB_LIMIT(t) static_cast<FieldTagId>(int{FIELD_rtumaster_host_addr} + int{t})
#define MB_TEXT(t, m)                                                                          \
    {.tag = (t), .mode = master_mode(m), .text = true,                                         \
     .offset = offsetof(MbusMasterInfo, host_addr), .fallback = 0, .limit = MB_LIMIT(t)}
#define MB_NUM(t, m, type, field, dflt)                                                        \
    {.tag = (t), .mode = (m), .text = false, .offset = offsetof(type, field),                  \
     .fallback = (dflt), .limit = MB_LIMIT(t)}
#define MB_MASTER(t, m, field, dflt) MB_NUM(t, master_mode(m), MbusMasterInfo, field, dflt)
#define MB_SLAVE(t, m, field, dflt) MB_NUM(t, slave_mode(m), MbusSlaveInfo, field, dflt)

// Rows in the tag table's order.
enum ModbusTag {
    RTUMASTER_HOST_ADDR, RTUMASTER_HOST_PORT, RTUMASTER_IDLE_TIMEOUT, RTUMASTER_ALIVE_CHECK,
    RTUSLAVE_SERVER_PORT, RTUSLAVE_MAX_CONNECT, RTUSLAVE_MAX_TRY, RTUSLAVE_RQSTPAUSE,
    RTUSLAVE_RESPWAIT, RTUSLAVE_CONNECT_TIMEOUT,
    ASCIIMASTER_HOST_ADDR, ASCIIMASTER_HOST_PORT, ASCIIMASTER_IDLE_TIMEOUT, ASCIIMASTER_ALIVE_CHECK,
    ASCIISLAVE_SERVER_PORT, ASCIISLAVE_MAX_CONNECT, ASCIISLAVE_MAX_TRY, ASCIISLAVE_RQSTPAUSE,
    ASCIISLAVE_RESPWAIT, ASCIISLAVE_CONNECT_TIMEOUT,
    MODBUS_TAGS
};

static constexpr ModbusField modbus_fields[] = {
    MB_TEXT(RTUMASTER_HOST_ADDR, ENUM_RTU_MASTER_MODE),
    MB_MASTER(RTUMASTER_HOST_PORT, ENUM_RTU_MASTER_MODE, host_port, 502),
    MB_MASTER(RTUMASTER_IDLE_TIMEOUT, ENUM_RTU_MASTER_MODE, idle_timeout, 0),
    MB_MASTER(RTUMASTER_ALIVE_CHECK, ENUM_RTU_MASTER_MODE, alive_check, 0),
    MB_SLAVE(RTUSLAVE_SERVER_PORT, ENUM_RTU_SLAVE_MODE, server_port, 502),
    MB_SLAVE(RTUSLAVE_MAX_CONNECT, ENUM_RTU_SLAVE_MODE, max_connect, 10),
    MB_SLAVE(RTUSLAVE_MAX_TRY, ENUM_RTU_SLAVE_MODE, max_try, 5),
    MB_SLAVE(RTUSLAVE_RQSTPAUSE, ENUM_RTU_SLAVE_MODE, rqstpause, 100),
    MB_SLAVE(RTUSLAVE_RESPWAIT, ENUM_RTU_SLAVE_MODE, respwait, 100),
    MB_SLAVE(RTUSLAVE_CONNECT_TIMEOUT, ENUM_RTU_SLAVE_MODE, connect_timeout, 10),
    MB_TEXT(ASCIIMASTER_HOST_ADDR, ENUM_ASCII_MASTER_MODE),
    MB_MASTER(ASCIIMASTER_HOST_PORT, ENUM_ASCII_MASTER_MODE, host_port, 502),
    MB_MASTER(ASCIIMASTER_IDLE_TIMEOUT, ENUM_ASCII_MASTER_MODE, idle_timeout, 0),
    MB_MASTER(ASCIIMASTER_ALIVE_CHECK, ENUM_ASCII_MASTER_MODE, alive_check, 0),
    MB_SLAVE(ASCIISLAVE_SERVER_PORT, ENUM_ASCII_SLAVE_MODE, server_port, 502),
    MB_SLAVE(ASCIISLAVE_MAX_CONNECT, ENUM_ASCII_SLAVE_MODE, max_connect, 10),
    MB_SLAVE(ASCIISLAVE_MAX_TRY, ENUM_ASCII_SLAVE_MODE, max_try, 5),
    MB_SLAVE(ASCIISLAVE_RQSTPAUSE, ENUM_ASCII_SLAVE_MODE, rqstpause, 100),
    MB_SLAVE(ASCIISLAVE_RESPWAIT, ENUM_ASCII_SLAVE_MODE, respwait, 100),
    MB_SLAVE(ASCIISLAVE_CONNECT_TIMEOUT, ENUM_ASCII_SLAVE_MODE, connect_timeout, 10),
};
static_assert(sizeof modbus_fields / sizeof modbus_fields[0] == MODBUS_TAGS, "one row per tag");
static_assert(int{FIELD_TAGS} - int{FIELD_rtumaster_host_addr} == int{MODBUS_TAGS}, "the Modbus tags end the field limits");
static_assert([] {
    for (int i = 0; i < MODBUS_TAGS; ++i)
        if (modbus_fields[i].tag != i)
            return false;
    return true;
}(), "each row in its tag's place");

// The host address is text a user typed and the page puts it inside an
// attribute value: the characters that could end the attribute or start
// markup go out as entities, the runs between them whole.
static void print_escaped(const char *text, size_t len)
{
    size_t plain = 0;
    for (size_t i = 0; i < len; ++i) {
        const char *entity;
        switch (text[i]) {
        case '"': entity = "&quot;"; break;
        case '<': entity = "&lt;"; break;
        case '>': entity = "&gt;"; break;
        case '&': entity = "&amp;"; break;
        case '\'': entity = "&#39;"; break;
        default: continue;
        }
        out_text(text + plain, i - plain);
        out_str(entity);
        plain = i + 1;
    }
    out_text(text + plain, len - plain);
}

// The field in its record.
[[gnu::always_inline]] static inline char *field_at(const ModbusField &f)
{
    ModbusRecord rec = modbus_record(&service_modes[f.mode - 1]);
    char *base = rec.master ? reinterpret_cast<char *>(rec.master) : reinterpret_cast<char *>(rec.slave);
    return base + f.offset;
}
static int32_t *number_at(const ModbusField &f) { return reinterpret_cast<int32_t *>(field_at(f)); }

static int get_field(ModbusTag tag)
{
    const ModbusField &f = modbus_fields[tag];
    if (f.text) {
        // Bounded by the field: a record without its end mark prints no further.
        const char *text = field_at(f);
        print_escaped(text, text_len_max(text, HOST_ADDR_SIZE));
        return 0;
    }
    int32_t *number = number_at(f);
    if (*number == 0)
        *number = f.fallback;
    print_dec(*number);
    return 0;
}

// A refused value leaves the field as it was: a host address that does not
// fit with its end mark is not cut to a name that reaches another host.
static int set_field(ModbusTag tag, const char *value)
{
    const ModbusField &f = modbus_fields[tag];
    if (!value)
        return 0;
    int32_t number = 0;
    size_t len = 0;
    if (!f.text && field_number(f.limit, value, &number))
        *number_at(f) = number;
    else if (f.text && field_text(f.limit, value, &len))
        copy_bytes(field_at(f), value, len + 1);
    return 0;
}

int get_rtumaster_host_addr(void *) { return get_field(RTUMASTER_HOST_ADDR); }
int set_rtumaster_host_addr(const char *value) { return set_field(RTUMASTER_HOST_ADDR, value); }
int get_rtumaster_host_port(void *) { return get_field(RTUMASTER_HOST_PORT); }
int set_rtumaster_host_port(const char *value) { return set_field(RTUMASTER_HOST_PORT, value); }
int get_rtumaster_idle_timeout(void *) { return get_field(RTUMASTER_IDLE_TIMEOUT); }
int set_rtumaster_idle_timeout(const char *value) { return set_field(RTUMASTER_IDLE_TIMEOUT, value); }
int get_rtumaster_alive_check(void *) { return get_field(RTUMASTER_ALIVE_CHECK); }
int set_rtumaster_alive_check(const char *value) { return set_field(RTUMASTER_ALIVE_CHECK, value); }

int get_rtuslave_server_port(void *) { return get_field(RTUSLAVE_SERVER_PORT); }
int set_rtuslave_server_port(const char *value) { return set_field(RTUSLAVE_SERVER_PORT, value); }
int get_rtuslave_max_connect(void *) { return get_field(RTUSLAVE_MAX_CONNECT); }
int set_rtuslave_max_connect(const char *value) { return set_field(RTUSLAVE_MAX_CONNECT, value); }
int get_rtuslave_max_try(void *) { return get_field(RTUSLAVE_MAX_TRY); }
int set_rtuslave_max_try(const char *value) { return set_field(RTUSLAVE_MAX_TRY, value); }
int get_rtuslave_rqstpause(void *) { return get_field(RTUSLAVE_RQSTPAUSE); }
int set_rtuslave_rqstpause(const char *value) { return set_field(RTUSLAVE_RQSTPAUSE, value); }
int get_rtuslave_respwait(void *) { return get_field(RTUSLAVE_RESPWAIT); }
int set_rtuslave_respwait(const char *value) { return set_field(RTUSLAVE_RESPWAIT, value); }
int get_rtuslave_connect_timeout(void *) { return get_field(RTUSLAVE_CONNECT_TIMEOUT); }
int set_rtuslave_connect_timeout(const char *value) { return set_field(RTUSLAVE_CONNECT_TIMEOUT, value); }

int get_asciimaster_host_addr(void *) { return get_field(ASCIIMASTER_HOST_ADDR); }
int set_asciimaster_host_addr(const char *value) { return set_field(ASCIIMASTER_HOST_ADDR, value); }
int get_asciimaster_host_port(void *) { return get_field(ASCIIMASTER_HOST_PORT); }
int set_asciimaster_host_port(const char *value) { return set_field(ASCIIMASTER_HOST_PORT, value); }
int get_asciimaster_idle_timeout(void *) { return get_field(ASCIIMASTER_IDLE_TIMEOUT); }
int set_asciimaster_idle_timeout(const char *value) { return set_field(ASCIIMASTER_IDLE_TIMEOUT, value); }
int get_asciimaster_alive_check(void *) { return get_field(ASCIIMASTER_ALIVE_CHECK); }
int set_asciimaster_alive_check(const char *value) { return set_field(ASCIIMASTER_ALIVE_CHECK, value); }

int get_asciislave_server_port(void *) { return get_field(ASCIISLAVE_SERVER_PORT); }
int set_asciislave_server_port(const char *value) { return set_field(ASCIISLAVE_SERVER_PORT, value); }
int get_asciislave_max_connect(void *) { return get_field(ASCIISLAVE_MAX_CONNECT); }
int set_asciislave_max_connect(const char *value) { return set_field(ASCIISLAVE_MAX_CONNECT, value); }
int get_asciislave_max_try(void *) { return get_field(ASCIISLAVE_MAX_TRY); }
int set_asciislave_max_try(const char *value) { return set_field(ASCIISLAVE_MAX_TRY, value); }
int get_asciislave_rqstpause(void *) { return get_field(ASCIISLAVE_RQSTPAUSE); }
int set_asciislave_rqstpause(const char *value) { return set_field(ASCIISLAVE_RQSTPAUSE, value); }
int get_asciislave_respwait(void *) { return get_field(ASCIISLAVE_RESPWAIT); }
int set_asciislave_respwait(const char *value) { return set_field(ASCIISLAVE_RESPWAIT, value); }
int get_asciislave_connect_timeout(void *) { return get_field(ASCIISLAVE_CONNECT_TIMEOUT); }
int set_asciislave_connect_timeout(const char *value) { return set_field(ASCIISLAVE_CONNECT_TIMEOUT, value); }
