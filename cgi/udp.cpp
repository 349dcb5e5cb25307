// The ends of the four UDP destination ranges. A range is kept as its start
// address and destination port (a LinkAddress slot shared with the TCP
// client links) and its count of addresses; its end is worked out from
// start and count each time the page shows it.
#include "ipcalc.h"
#include "fields.h"
#include "messages.h"
#include "modes.h"
#include "numtext.h"
#include "output.h"
#include "record.h"
#include "state.h"
#include "tags.h"
#include "text.h"

// The address word of 255.255.255.255.
static const uint32_t kAllOnes = 0xFFFFFFFFu;

// Unset (0) and rejected (all ones) addresses are shown as empty fields.
static void print_address(const char *text)
{
    if (!text_equal(text, "0.0.0.0") && !text_equal(text, "255.255.255.255"))
        out_str(text);
}

// ---- the end of destination range k = 0..3 ----

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
static int set_range_end(int k, FieldId tag, const char *value)
{
    PortInfo *p = field_target(tag, value);
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

// ---- the tags ----

int get_HostEndIp1(void *) { return get_range_end(0); }
int set_HostEndIp1(const char *value) { return set_range_end(0, FIELD_HostEndIp1, value); }

int get_HostEndIp2(void *) { return get_range_end(1); }
int set_HostEndIp2(const char *value) { return set_range_end(1, FIELD_HostEndIp2, value); }

int get_HostEndIp3(void *) { return get_range_end(2); }
int set_HostEndIp3(const char *value) { return set_range_end(2, FIELD_HostEndIp3, value); }

int get_HostEndIp4(void *) { return get_range_end(3); }
int set_HostEndIp4(const char *value) { return set_range_end(3, FIELD_HostEndIp4, value); }
