// The form fields: the kinds, the settings made from the tag table, their
// getters and setters, and the checks of the kinds' limits.
//
// Getters of the port record show what the selected port's record holds,
// whatever its service, and nothing without a record. Setters act only in
// a save of their guard's service (any save for ANY_SAVE) and only with a
// record. The Modbus settings change the four Modbus records the
// dispatcher loaded; which one a save stores is the save flow's choice.
#include "fields.h"

#include <limits.h>

#include "ipcalc.h"
#include "messages.h"
#include "modes.h"
#include "numtext.h"
#include "output.h"
#include "record.h"
#include "state.h"
#include "tags.h"
#include "text.h"

constexpr FieldKind field_kinds[FIELD_KINDS] = {
#define KIND(id, name, rule, min, max, message) {RULE_##rule, min, max, message},
#include "field_kinds.def"
#undef KIND
};
static_assert(field_kinds[KIND_TIMEOUT].max == INT32_MAX / IDLE_TIMEOUT_SCALE &&
                  field_kinds[KIND_SIGNED_TIMEOUT].min == -(INT32_MAX / IDLE_TIMEOUT_SCALE),
              "a timeout's hundredths fit the 32-bit field");
static_assert(field_kinds[KIND_HOST].max < int{sizeof(MbusMasterInfo::host_addr)},
              "a host address fits its field with its end mark");

// The places, as the rows of tag_table.def name them.
static constexpr void *master(MbusMasterInfo &r) { return &r; }
static constexpr void *slave(MbusSlaveInfo &r) { return &r; }
#define AT_WORD(off) IN_PORT_WORD, off, nullptr, 0, 0
#define AT_PORT(la) IN_PORT_PORT, la, nullptr, 0, 0
#define AT_ADDR(la) IN_PORT_ADDR, la, nullptr, 0, 0
#define AT_FLAG(bit) IN_PORT_FLAG, PI_FLAGS, nullptr, bit, 0
#define AT_ENCRYPTION IN_ENCRYPTION, 0, nullptr, 0, 0
#define AT_MASTER(rec, field, dflt) IN_MODBUS, offsetof(MbusMasterInfo, field), master(rec), 0, dflt
#define AT_SLAVE(rec, field, dflt) IN_MODBUS, offsetof(MbusSlaveInfo, field), slave(rec), 0, dflt

const FormField form_fields[FORM_FIELDS] = {
#define FIELD(tag, name, kind, guard, place) {tag, KIND_##kind, guard, place},
#include "tag_table.def"
};

// ---- the checks ----

void refuse_save(const char *message)
{
    if (!ret_msg)
        ret_msg = message;
}

// ok, after leaving the setting's message pending when it is false.
static bool taken(FieldId id, bool ok)
{
    if (!ok)
        refuse_save(kind_of(id).message);
    return ok;
}

bool field_number(FieldId id, const char *value, int32_t *out)
{
    const FieldKind &k = kind_of(id);
    long long v = 0;
    if (!dec_strict(value, &v)) {
        refuse_save(MSG_NOT_A_NUMBER);
        return false;
    }
    if (!taken(id, k.rule == RULE_NUMBER && v >= k.min && v <= k.max))
        return false;
    *out = static_cast<int32_t>(v);
    return true;
}

bool field_address(FieldId id, const char *value, uint32_t *word)
{
    return taken(id, kind_of(id).rule == RULE_ADDRESS && read_address(value, word));
}

bool field_text(FieldId id, const char *value, size_t *len)
{
    const FieldKind &k = kind_of(id);
    // Counted no further than one past the limit.
    size_t n = text_len_max(value, static_cast<size_t>(k.max) + 1);
    if (!taken(id, k.rule == RULE_TEXT && n >= static_cast<size_t>(k.min) && n <= static_cast<size_t>(k.max)))
        return false;
    *len = n;
    return true;
}

PortInfo *field_target(FieldId id, const char *value)
{
    const FormField &f = form_fields[id];
    if ((f.guard != ANY_SAVE && iServiceMode != f.guard) || !value)
        return nullptr;
    return sel_port();
}

// ---- showing a setting ----

static void print_flag(bool on)
{
    out_char(on ? '1' : '0');
}

// The library's encryption settings of the selected port, asked for anew at
// each use; null without a record or when the library keeps none for it.
static unsigned char *ssl_byte(PortInfo *p)
{
    return reinterpret_cast<unsigned char *>(ssl_get_ssl_info_from_port(p));
}

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

// An integer that holds 0 (not set) shows as the row's fallback, which is
// written into the record first; the host address is bounded by its field,
// so a record without its end mark prints no further.
static void get_modbus(const FormField &f)
{
    char *at = static_cast<char *>(f.record) + f.offset;
    if (field_kinds[f.kind].rule == RULE_TEXT) {
        print_escaped(at, text_len_max(at, sizeof(MbusMasterInfo::host_addr)));
        return;
    }
    int32_t *number = reinterpret_cast<int32_t *>(at);
    if (*number == 0)
        *number = f.fallback;
    print_dec(*number);
}

// Shows the address as dotted text: 0.0.0.0 where the kind leaves an unset
// address empty, and 255.255.255.255 also for a range start.
static void get_address(const FormField &f, const PortInfo *p)
{
    char text[IP_TEXT_SIZE] = {};
    if (!inet_neta2(pi_addr(p, f.offset), text, sizeof text))
        return;
    if (f.kind != KIND_ADDRESS && text_equal(text, "0.0.0.0"))
        return;
    if (f.kind == KIND_RANGE_START && text_equal(text, "255.255.255.255"))
        return;
    out_str(text);
}

// The page shows a timeout in seconds, its word holds hundredths.
static int32_t word_scale(const FormField &f)
{
    return f.kind == KIND_TIMEOUT || f.kind == KIND_SIGNED_TIMEOUT ? IDLE_TIMEOUT_SCALE : 1;
}

// A stored link count below 0 shows as one link; the timeouts show whole
// seconds, truncated toward zero (stored -250 shows -2).
static void get_word(const FormField &f, const PortInfo *p)
{
    int32_t v = pi_i32(p, f.offset);
    if (f.kind != KIND_LINK_COUNT)
        print_dec(v / word_scale(f));
    else if (v < 0)
        out_char('1');
    else
        print_dec(static_cast<long long>(v) + 1);
}

static int field_get(FieldId id)
{
    const FormField &f = form_fields[id];
    if (f.place == IN_MODBUS) {
        get_modbus(f);
        return 0;
    }
    PortInfo *p = sel_port();
    if (!p)
        return 0;
    switch (f.place) {
    case IN_PORT_WORD: get_word(f, p); break;
    case IN_PORT_PORT: print_dec(pi_port(p, f.offset)); break;
    case IN_PORT_ADDR: get_address(f, p); break;
    case IN_PORT_FLAG: print_flag((pi_u32(p, f.offset) & f.bit) != 0); break;
    case IN_ENCRYPTION: {
        // A port the library keeps no encryption settings for shows "0".
        const unsigned char *b = ssl_byte(p);
        print_flag(b && (*b & SSL_ENCRYPT_ENABLE));
        break;
    }
    case IN_MODBUS: break;
    }
    return 0;
}

// ---- taking a setting ----

// A refused value leaves the field as it was: a host address that does not
// fit with its end mark is not cut to a name that reaches another host.
static void set_modbus(FieldId id, const char *value)
{
    const FormField &f = form_fields[id];
    char *at = static_cast<char *>(f.record) + f.offset;
    int32_t number = 0;
    size_t len = 0;
    if (kind_of(id).rule == RULE_TEXT) {
        if (field_text(id, value, &len))
            copy_bytes(at, value, len + 1);
    } else if (field_number(id, value, &number)) {
        *reinterpret_cast<int32_t *>(at) = number;
    }
}

// The kind keeps a timeout's hundredths within the 32-bit range and a link
// count, stored minus one, above 0.
static void set_word(FieldId id, PortInfo *p, const char *value)
{
    const FormField &f = form_fields[id];
    int32_t v = 0;
    if (!field_number(id, value, &v))
        return;
    if (f.kind == KIND_LINK_COUNT)
        pi_set_i32(p, f.offset, v - 1);
    else
        pi_set_i32(p, f.offset, static_cast<int32_t>(int64_t{v} * word_scale(f)));
}

// The empty text stores the kind's meaning of empty: the all-ones address,
// or 0 for an address the kind lets be unset. A range start of all ones is
// refused: the page shows it empty, so the next save would clear it.
static void set_address(FieldId id, PortInfo *p, const char *value)
{
    const FormField &f = form_fields[id];
    uint32_t word = f.kind == KIND_ADDRESS ? 0xFFFFFFFFu : 0;
    if (value[0] != '\0' && !field_address(id, value, &word))
        return;
    if (f.kind == KIND_RANGE_START && word == 0xFFFFFFFFu)
        refuse_save(MSG_BROADCAST_START);
    else
        pi_set_addr(p, f.offset, word);
}

// ConnectOn switches on for exactly 1, the encryption for any value but 0;
// every other bit stays. The library keeps the encryption change and stores
// it with the port records.
static int field_set(FieldId id, const char *value)
{
    const FormField &f = form_fields[id];
    if (f.place == IN_MODBUS) {
        if (value)
            set_modbus(id, value);
        return 0;
    }
    PortInfo *p = field_target(id, value);
    if (!p)
        return 0;
    int32_t v = 0;
    switch (f.place) {
    case IN_PORT_WORD: set_word(id, p, value); break;
    case IN_PORT_PORT:
        if (field_number(id, value, &v))
            pi_set_port(p, f.offset, static_cast<uint16_t>(v));
        break;
    case IN_PORT_ADDR: set_address(id, p, value); break;
    case IN_PORT_FLAG: pi_set_flag(p, f.bit, dec_value(value) == 1); break;
    case IN_ENCRYPTION:
        if (unsigned char *b = ssl_byte(p)) {
            if (dec_value(value) != 0)
                *b = static_cast<unsigned char>(*b | SSL_ENCRYPT_ENABLE);
            else
                *b = static_cast<unsigned char>(*b & ~SSL_ENCRYPT_ENABLE);
        }
        break;
    case IN_MODBUS: break;
    }
    return 0;
}

// The getters and setters of the FIELD rows.
#define FIELD(tag, name, kind, guard, place)                      \
    int get_##name(void *) { return field_get(FIELD_##name); }   \
    int set_##name(const char *value) { return field_set(FIELD_##name, value); }
#define WRITTEN_FIELD(tag, name, kind, guard, place)
#include "tag_table.def"
