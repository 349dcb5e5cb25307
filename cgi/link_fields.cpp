#include "link_fields.h"

#include <stdint.h>

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

int set_port_at(int service_mode, unsigned la, FieldTagId tag, const char *value)
{
    PortInfo *p = mode_target(service_mode, value);
    int32_t v = 0;
    if (p && field_number(tag, value, &v))
        pi_set_port(p, la, static_cast<uint16_t>(v));
    return 0;
}

int set_address_at(int service_mode, unsigned la, FieldTagId tag, uint32_t empty_word, const char *value)
{
    PortInfo *p = mode_target(service_mode, value);
    uint32_t word = empty_word;
    if (p && (value[0] == '\0' || field_address(tag, value, &word)))
        pi_set_addr(p, la, word);
    return 0;
}
