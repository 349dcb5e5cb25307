// What each checked form field takes: one row per kind of field (its range
// or rule and the message a refused value leaves), one row per tag naming
// its kind. Every setter that checks its value does so through the
// field_* calls below, and the pages' inputs are to carry the same limits.
#ifndef S2N_FIELD_LIMITS_H
#define S2N_FIELD_LIMITS_H

#include <stddef.h>
#include <stdint.h>

// The page takes the idle timeout in seconds; the record holds hundredths.
enum { IDLE_TIMEOUT_SCALE = 100 };
// The longest Modbus host address: its field keeps the end mark too.
enum { HOST_TEXT_MAX = 255 };

enum FieldRule : unsigned char {
    RULE_NUMBER,   // a decimal number from min to max
    RULE_ADDRESS,  // IPv4 text: 1 to 4 decimal parts of 0 to 255, no leading zeros
    RULE_TEXT,     // text of min to max characters
};

// The numbers of a kind. Its texts (what the field holds, e.g. "data port";
// for RULE_ADDRESS the same rule as an input pattern; the message a refused
// value leaves in ret_msg) come from the field_limit_* calls below: a
// pointer in a table is a relocation the loader makes on every request.
struct FieldLimit {
    FieldRule rule;
    int32_t min, max;  // RULE_NUMBER: the value; otherwise the text's length
};

// The kinds, one row each: id, kind, rule, min, max, pattern, message.
#define S2N_FIELD_LIMITS(X)                                                                        \
    /* the service's own port: 0 would switch it off */                                            \
    X(LIMIT_DATA_PORT, "data port", RULE_NUMBER, 1, 65535, nullptr, MSG_DATA_PORT_RANGE)            \
    /* a link, destination or Modbus port: 0 leaves it unset */                                    \
    X(LIMIT_PORT, "port", RULE_NUMBER, 0, 65535, nullptr, MSG_PORT_RANGE)                           \
    /* seconds whose hundredths a 32-bit field holds */                                            \
    X(LIMIT_TIMEOUT, "timeout", RULE_NUMBER, 0, INT32_MAX / IDLE_TIMEOUT_SCALE, nullptr,             \
      MSG_TIMEOUT_RANGE)                                                                           \
    X(LIMIT_SIGNED_TIMEOUT, "signed timeout", RULE_NUMBER, -(INT32_MAX / IDLE_TIMEOUT_SCALE),        \
      INT32_MAX / IDLE_TIMEOUT_SCALE, nullptr, MSG_SIGNED_TIMEOUT_RANGE)                           \
    X(LIMIT_ALIVE_CHECK, "alive check", RULE_NUMBER, 0, INT32_MAX, nullptr, MSG_ALIVE_CHECK_RANGE)  \
    /* any value of a 32-bit field */                                                              \
    X(LIMIT_NUMBER, "number", RULE_NUMBER, INT32_MIN, INT32_MAX, nullptr, MSG_NUMBER_RANGE)         \
    X(LIMIT_ADDRESS, "ip address", RULE_ADDRESS, 0, 15,                                             \
      R"re(((25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d)\.){0,3}(25[0-5]|2[0-4]\d|1\d\d|[1-9]?\d))re",             \
      MSG_BAD_ADDRESS)                                                                             \
    /* a Modbus host: a name or an address */                                                     \
    X(LIMIT_HOST, "host address", RULE_TEXT, 0, HOST_TEXT_MAX, nullptr, MSG_HOST_TOO_LONG)

enum FieldLimitId : unsigned char {
#define S2N_FIELD_LIMIT_ID(id, kind, rule, min, max, pattern, message) id,
    S2N_FIELD_LIMITS(S2N_FIELD_LIMIT_ID)
#undef S2N_FIELD_LIMIT_ID
    FIELD_LIMITS
};

extern const FieldLimit field_limits[];
extern const unsigned field_limit_count;
const char *field_limit_kind(FieldLimitId id);
const char *field_limit_pattern(FieldLimitId id);  // null but for RULE_ADDRESS
const char *field_limit_message(FieldLimitId id);

// The checked tags, in tag table order, with their kinds.
#define S2N_FIELD_TAGS(X)                                                  \
    X(VcomIdleTimeout, LIMIT_SIGNED_TIMEOUT)                               \
    X(VcomAliveCheck, LIMIT_NUMBER)                                        \
    X(tcp_server_port, LIMIT_DATA_PORT)                                    \
    X(server_idle_timeout, LIMIT_TIMEOUT)                                  \
    X(server_alive_check, LIMIT_ALIVE_CHECK)                               \
    X(tcp_client_ip, LIMIT_ADDRESS)                                        \
    X(tcp_client_port, LIMIT_DATA_PORT)                                    \
    X(client_idle_timeout, LIMIT_TIMEOUT)                                  \
    X(client_alive_check, LIMIT_ALIVE_CHECK)                               \
    X(client_link_ip1, LIMIT_ADDRESS) X(client_link_port1, LIMIT_PORT)     \
    X(client_link_ip2, LIMIT_ADDRESS) X(client_link_port2, LIMIT_PORT)     \
    X(client_link_ip3, LIMIT_ADDRESS) X(client_link_port3, LIMIT_PORT)     \
    X(client_link_ip4, LIMIT_ADDRESS) X(client_link_port4, LIMIT_PORT)     \
    X(udp_port, LIMIT_DATA_PORT)                                           \
    X(HostStartIp1, LIMIT_ADDRESS) X(HostEndIp1, LIMIT_ADDRESS) X(SendPort1, LIMIT_PORT) \
    X(HostStartIp2, LIMIT_ADDRESS) X(HostEndIp2, LIMIT_ADDRESS) X(SendPort2, LIMIT_PORT) \
    X(HostStartIp3, LIMIT_ADDRESS) X(HostEndIp3, LIMIT_ADDRESS) X(SendPort3, LIMIT_PORT) \
    X(HostStartIp4, LIMIT_ADDRESS) X(HostEndIp4, LIMIT_ADDRESS) X(SendPort4, LIMIT_PORT) \
    X(rtumaster_host_addr, LIMIT_HOST)                                     \
    X(rtumaster_host_port, LIMIT_PORT)                                     \
    X(rtumaster_idle_timeout, LIMIT_NUMBER)                                \
    X(rtumaster_alive_check, LIMIT_NUMBER)                                 \
    X(rtuslave_server_port, LIMIT_PORT)                                    \
    X(rtuslave_max_connect, LIMIT_NUMBER)                                  \
    X(rtuslave_max_try, LIMIT_NUMBER)                                      \
    X(rtuslave_rqstpause, LIMIT_NUMBER)                                    \
    X(rtuslave_respwait, LIMIT_NUMBER)                                     \
    X(rtuslave_idle_timeout, LIMIT_NUMBER)                                 \
    X(asciimaster_host_addr, LIMIT_HOST)                                   \
    X(asciimaster_host_port, LIMIT_PORT)                                   \
    X(asciimaster_idle_timeout, LIMIT_NUMBER)                              \
    X(asciimaster_alive_check, LIMIT_NUMBER)                               \
    X(asciislave_server_port, LIMIT_PORT)                                  \
    X(asciislave_max_connect, LIMIT_NUMBER)                                \
    X(asciislave_max_try, LIMIT_NUMBER)                                    \
    X(asciislave_rqstpause, LIMIT_NUMBER)                                  \
    X(asciislave_respwait, LIMIT_NUMBER)                                   \
    X(asciislave_idle_timeout, LIMIT_NUMBER)

// The tag's name is held in the row, not pointed to: a table of pointers
// costs the loader a relocation per row on every request.
enum { FIELD_TAG_SIZE = 32 };
struct FieldTag {
    char tag[FIELD_TAG_SIZE];
    FieldLimitId limit;
};

// Tags, the rows of field_tags: FIELD_<tag>.
enum FieldTagId : unsigned char {
#define S2N_FIELD_TAG_ID(tag, limit) FIELD_##tag,
    S2N_FIELD_TAGS(S2N_FIELD_TAG_ID)
#undef S2N_FIELD_TAG_ID
    FIELD_TAGS
};

extern const FieldTag field_tags[];
extern const unsigned field_tag_count;

// Each check returns true for a value its tag's kind takes; otherwise it
// leaves the kind's message pending (so nothing of the save is stored) and
// returns false. A value the checks refuse is never stored.

// A number: its value, in range.
bool field_number(FieldTagId tag, const char *value, int32_t *out);
// Address text: its address word (first octet in the low byte).
bool field_address(FieldTagId tag, const char *value, uint32_t *word);
// Text: its length.
bool field_text(FieldTagId tag, const char *value, size_t *len);

// Leaves message pending unless one already is: the first refusal of a save
// is the one the page shows.
void refuse_save(const char *message);

#endif
