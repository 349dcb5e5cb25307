#include "link_fields.h"

#include <arpa/inet.h>
#include <stdint.h>

#include "ipcalc.h"
#include "numtext.h"
#include "record.h"
#include "state.h"

PortInfo *mode_target(int service_mode, const char *value)
{
    if (iServiceMode != service_mode || !value)
        return nullptr;
    return sel_port();
}

int get_port_at(unsigned la)
{
    const PortInfo *p = sel_port();
    if (p)
        print_dec(pi_port(p, la));
    return 0;
}

int set_port_at(int service_mode, unsigned la, int lowest, const char *value)
{
    PortInfo *p = mode_target(service_mode, value);
    int v = dec_value(value);
    if (p && v >= lowest)
        pi_set_port(p, la, static_cast<uint16_t>(static_cast<unsigned>(v)));
    return 0;
}

void store_address(PortInfo *p, unsigned la, const char *value)
{
    uint32_t word = 0;
    if (read_short_address(value, &word))
        pi_set_addr(p, la, word);
    else
        pi_set_inaddr(p, la, inet_addr(value));
}
