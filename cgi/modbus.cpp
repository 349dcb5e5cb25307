// Modbus gateway tags: the selected port's four Modbus parameter records,
// shown with the device's defaults for unset fields and changed by a save.
// Which record a save stores is the save flow's choice, so no setter looks
// at the mode or the page.
#include <stdint.h>
#include <string.h>

#include "numtext.h"
#include "output.h"
#include "state.h"
#include "tags.h"
#include "text.h"

enum { HOST_ADDR_SIZE = sizeof(MbusMasterInfo::host_addr) };

// One tag's field in its record: an integer, or the host address text. An
// integer that holds 0 (not set) is shown as the fallback, which is written
// into the record first; a fallback of 0 shows 0.
struct ModbusField {
    int32_t *number;
    char *text;
    int32_t fallback;
};

#define MB_TEXT(rec) {.number = nullptr, .text = (rec).host_addr, .fallback = 0}
#define MB_NUM(rec, field, dflt) {.number = &(rec).field, .text = nullptr, .fallback = (dflt)}

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

static const ModbusField modbus_fields[] = {
    MB_TEXT(rtumaster_info),
    MB_NUM(rtumaster_info, host_port, 502),
    MB_NUM(rtumaster_info, idle_timeout, 0),
    MB_NUM(rtumaster_info, alive_check, 0),
    MB_NUM(rtuslave_info, server_port, 502),
    MB_NUM(rtuslave_info, max_connect, 10),
    MB_NUM(rtuslave_info, max_try, 5),
    MB_NUM(rtuslave_info, rqstpause, 100),
    MB_NUM(rtuslave_info, respwait, 100),
    MB_NUM(rtuslave_info, connect_timeout, 10),
    MB_TEXT(asciimaster_info),
    MB_NUM(asciimaster_info, host_port, 502),
    MB_NUM(asciimaster_info, idle_timeout, 0),
    MB_NUM(asciimaster_info, alive_check, 0),
    MB_NUM(asciislave_info, server_port, 502),
    MB_NUM(asciislave_info, max_connect, 10),
    MB_NUM(asciislave_info, max_try, 5),
    MB_NUM(asciislave_info, rqstpause, 100),
    MB_NUM(asciislave_info, respwait, 100),
    MB_NUM(asciislave_info, connect_timeout, 10),
};
static_assert(sizeof modbus_fields / sizeof modbus_fields[0] == MODBUS_TAGS, "one row per tag");

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

static int get_field(ModbusTag tag)
{
    const ModbusField &f = modbus_fields[tag];
    if (f.text) {
        // Bounded by the field: a record without its end mark prints no further.
        print_escaped(f.text, text_len_max(f.text, HOST_ADDR_SIZE));
        return 0;
    }
    if (*f.number == 0)
        *f.number = f.fallback;
    print_dec(*f.number);
    return 0;
}

// A host address that does not fit with its end mark is refused whole: the
// field keeps what it held rather than a cut name that reaches another host.
static int set_field(ModbusTag tag, const char *value)
{
    const ModbusField &f = modbus_fields[tag];
    if (!value)
        return 0;
    if (!f.text) {
        *f.number = dec_value(value);
        return 0;
    }
    size_t len = strnlen(value, HOST_ADDR_SIZE);
    if (len < HOST_ADDR_SIZE)
        memcpy(f.text, value, len + 1);
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
