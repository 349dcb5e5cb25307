// UDP service tags: the port's own UDP port and four destination ranges.
// A range is kept as its start address and destination port (a LinkAddress
// slot shared with the TCP client links) and its count of addresses; its end
// is worked out from start and count each time the page shows it.
#include "ipcalc.h"
#include "link_fields.h"
#include "messages.h"
#include "modes.h"
#include "numtext.h"
#include "output.h"
#include "record.h"
#include "state.h"
#include "tags.h"
#include "text.h"

// The record a UDP setter may change: only in a UDP save, only with a value.
static PortInfo *udp_target(const char *value)
{
    return mode_target(ENUM_SEVICE_MODE_UDP, value);
}

// The address word of 255.255.255.255.
static const uint32_t kAllOnes = 0xFFFFFFFFu;

// Unset (0) and rejected (all ones) addresses are shown as empty fields.
static void print_address(const char *text)
{
    if (!text_equal(text, "0.0.0.0") && !text_equal(text, "255.255.255.255"))
        out_str(text);
}

// ---- one destination range, k = 0..3 ----

static int get_range_start(int k)
{
    const PortInfo *p = sel_port();
    if (!p)
        return 0;
    char text[IP_TEXT_SIZE] = {};
    if (inet_neta2(pi_addr(p, PI_LINK(k)), text, sizeof text))
        print_address(text);
    return 0;
}

// An empty field clears the start. 255.255.255.255 is refused: the page
// shows it as an empty field, so the next save of the page would clear it.
static int set_range_start(int k, FieldTagId tag, const char *value)
{
    uint32_t word = 0;
    if (udp_target(value) && read_address(value, &word) && word == kAllOnes) {
        refuse_save(MSG_BROADCAST_START);
        return 0;
    }
    return set_address_at(ENUM_SEVICE_MODE_UDP, PI_LINK(k), tag, 0, value);
}

static int get_range_end(int k)
{
    const PortInfo *p = sel_port();
    if (!p)
        return 0;
    char text[IP_TEXT_SIZE] = {};
    if (!inet_neta2(pi_addr(p, PI_LINK(k)), text, sizeof text))
        return 0;
    calcIpEnd(text, pi_i32(p, PI_HOST_CNT_AT(k)), text);
    print_address(text);
    return 0;
}

// Measures from the start as the record holds it now, so a start set earlier
// in the same save counts. An empty end counts 1. An end before its start
// leaves a count of 1; an end that is no address text, has no start the page
// shows or would show as another end keeps the stored count. Each refusal
// leaves a message that keeps the save from being stored.
static int set_range_end(int k, FieldTagId tag, const char *value)
{
    PortInfo *p = udp_target(value);
    uint32_t end = 0;
    uint32_t shown = 0;
    if (!p || (value[0] != '\0' && !field_address(tag, value, &end)))
        return 0;
    const uint32_t start_word = pi_addr(p, PI_LINK(k));
    if (value[0] != '\0' && (start_word == 0 || start_word == kAllOnes)) {
        refuse_save(MSG_END_WITHOUT_START);
        return 0;
    }
    char start[IP_TEXT_SIZE] = {};
    if (!inet_neta2(start_word, start, sizeof start))
        return 0;
    int n = calcIpCnt(start, value);
    if (n == 0) {
        refuse_save(MSG_END_BEFORE_START);
        n = 1;
    } else if (value[0] != '\0' && !(range_end_word(start_word, n, &shown) && shown == end)) {
        // The counting skips addresses (mostly those ending in .0 and
        // .255): a count measured to one of them shows another end.
        refuse_save(MSG_END_NOT_REACHED);
        return 0;
    }
    pi_set_i32(p, PI_HOST_CNT_AT(k), n);
    return 0;
}

static int get_range_port(int k)
{
    return get_port_at(PI_LINK(k));
}

static int set_range_port(int k, FieldTagId tag, const char *value)
{
    return set_port_at(ENUM_SEVICE_MODE_UDP, PI_LINK(k), tag, value);
}

// ---- the tags ----

int get_udp_port(void *) { return get_port_at(PI_NET_ADDR); }
int set_udp_port(const char *value)
{
    return set_port_at(ENUM_SEVICE_MODE_UDP, PI_NET_ADDR, FIELD_udp_port, value);
}

int get_HostStartIp1(void *) { return get_range_start(0); }
int set_HostStartIp1(const char *value) { return set_range_start(0, FIELD_HostStartIp1, value); }
int get_HostEndIp1(void *) { return get_range_end(0); }
int set_HostEndIp1(const char *value) { return set_range_end(0, FIELD_HostEndIp1, value); }
int get_SendPort1(void *) { return get_range_port(0); }
int set_SendPort1(const char *value) { return set_range_port(0, FIELD_SendPort1, value); }

int get_HostStartIp2(void *) { return get_range_start(1); }
int set_HostStartIp2(const char *value) { return set_range_start(1, FIELD_HostStartIp2, value); }
int get_HostEndIp2(void *) { return get_range_end(1); }
int set_HostEndIp2(const char *value) { return set_range_end(1, FIELD_HostEndIp2, value); }
int get_SendPort2(void *) { return get_range_port(1); }
int set_SendPort2(const char *value) { return set_range_port(1, FIELD_SendPort2, value); }

int get_HostStartIp3(void *) { return get_range_start(2); }
int set_HostStartIp3(const char *value) { return set_range_start(2, FIELD_HostStartIp3, value); }
int get_HostEndIp3(void *) { return get_range_end(2); }
int set_HostEndIp3(const char *value) { return set_range_end(2, FIELD_HostEndIp3, value); }
int get_SendPort3(void *) { return get_range_port(2); }
int set_SendPort3(const char *value) { return set_range_port(2, FIELD_SendPort3, value); }

int get_HostStartIp4(void *) { return get_range_start(3); }
int set_HostStartIp4(const char *value) { return set_range_start(3, FIELD_HostStartIp4, value); }
int get_HostEndIp4(void *) { return get_range_end(3); }
int set_HostEndIp4(const char *value) { return set_range_end(3, FIELD_HostEndIp4, value); }
int get_SendPort4(void *) { return get_range_port(3); }
int set_SendPort4(const char *value) { return set_range_port(3, FIELD_SendPort4, value); }
