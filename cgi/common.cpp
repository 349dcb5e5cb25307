// Device status tags shared by every page: uptime and WAN address.
#include <arpa/inet.h>
#include <stdio.h>
#include <string.h>

#include "devcfg.h"
#include "numtext.h"
#include "tags.h"

// "%02ld": at least two digits, a leading zero below 10; wider and negative
// values print in full.
static void print_2d(long v)
{
    if (v >= 0 && v < 10)
        fputc('0', stdout);
    print_dec(v);
}

// The fields are shown as the library gives them, without carrying. The
// record starts zeroed, so a library that fills nothing shows "00:00:00".
int get_uptime(void *)
{
    UptimeInfo up;
    memset(&up, 0, sizeof up);
    dev_get_uptime(&up);
    if (up.days > 0) {
        print_dec(up.days);
        fputs(up.days > 1 ? " days, " : " day, ", stdout);
    }
    print_2d(up.hours);
    fputc(':', stdout);
    print_2d(up.minutes);
    fputc(':', stdout);
    print_2d(up.seconds);
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
        fputs("N/A", stdout);
        return 1;
    }
    struct in_addr addr;
    memcpy(&addr.s_addr, info.raw + IFINFO_ADDR_IP, sizeof addr.s_addr);
    fputs(inet_ntoa(addr), stdout);
    return 0;
}
