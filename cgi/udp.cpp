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
// in the same save counts. An empty end counts 1. A refused range keeps a
// count of 1 and leaves a message that keeps the save from being stored; an
// end that is no address text is refused before it is measured.
static int set_range_end(int k, FieldId tag, const char *value)
{
    PortInfo *p = field_target(tag, value);
    uint32_t end = 0;
    if (!p || (value[0] != '\0' && !field_address(tag, value, &end)))
        return 0;
    char start[IP_TEXT_SIZE] = {};
    if (!inet_neta2(pi_addr(p, PI_LINK(k)), start, sizeof start))
        return 0;
    int n = calcIpCnt(start, value);
    if (n == 0) {
        refuse_save(MSG_END_BEFORE_START);
        n = 1;
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
