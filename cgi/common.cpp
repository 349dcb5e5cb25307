// Device status tags shared by every page: uptime and WAN address.
#include <string.h>

#include "devcfg.h"
#include "ipcalc.h"
#include "numtext.h"
#include "output.h"
#include "tags.h"
#include "text.h"

// "%02ld": at least two digits, a leading zero below 10; wider and negative
// values print in full. Returns the end of what it wrote.
static char *text_2d(char *out, long v)
{
    if (v >= 0 && v < 10)
        *out++ = '0';
    return out + dec_text(out, v);
}

// The fields are shown as the library gives them, without carrying. The
// record starts zeroed, so a library that fills nothing shows "00:00:00".
int get_uptime(void *)
{
    UptimeInfo up;
    memset(&up, 0, sizeof up);
    dev_get_uptime(&up);
    static const char days[] = " days, ";
    static const char day[] = " day, ";
    // Four numbers with a leading zero each, " days, " and two colons.
    char text[4 * (DEC_TEXT_SIZE + 1) + sizeof days + 2];
    char *end = text;
    if (up.days > 1) {
        end += dec_text(end, up.days);
        end = copy_bytes(end, days, sizeof days - 1);
    } else if (up.days == 1) {
        end += dec_text(end, up.days);
        end = copy_bytes(end, day, sizeof day - 1);
    }
    end = text_2d(end, up.hours);
    *end++ = ':';
    end = text_2d(end, up.minutes);
    *end++ = ':';
    end = text_2d(end, up.seconds);
    out_text(text, static_cast<size_t>(end - text));
    return 0;
}

// Nothing without a WAN interface or a WAN connection type; "N/A" (status 1)
// when the interface cannot tell its address.
int get_wanip(void *)
{
    char name[WANIF_NAME_SIZE];
    memset(name, 0, sizeof name);
    net_get_wanif(name);
    name[WANIF_NAME_SIZE - 1] = '\0';  // a name that fills the buffer is cut
    const char *conn_type = sysconf_getvalue("network", "wan_conn_type");
    if (name[0] == '\0' || !conn_type)
        return 0;
    IfInfo info;
    memset(&info, 0, sizeof info);
    if (if_getinfo(name, &info) != 0) {
        out_text("N/A", 3);
        return 1;
    }
    // The address's four bytes in network order, first octet first.
    char text[DOTTED_QUAD_SIZE];
    out_text(text, dotted_quad(text, info.raw + IFINFO_ADDR_IP));
    return 0;
}
