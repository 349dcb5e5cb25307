// The checks of the field limits, and the refusal they leave pending.

#include "field_limits.h"
#include "ipcalc.h"
#include "numtext.h"
#include "state.h"
#include "text.h"

void refuse_save(const char *message)
{
    if (!ret_msg)
        ret_msg = message;
}

static const FieldLimit &limit_of(FieldTagId tag)
{
    return field_limits[field_tags[tag].limit];
}

// ok, after leaving the tag's kind's message pending when it is false.
static bool taken(FieldTagId tag, bool ok)
{
    if (!ok)
        refuse_save(field_limit_message(field_tags[tag].limit));
    return ok;
}

bool field_number(FieldTagId tag, const char *value, int32_t *out)
{
    const FieldLimit &l = limit_of(tag);
    // Read wide, so a number beyond the 32-bit range is not taken for the
    // largest one.
    long long v = dec_wide(value);
    if (!taken(tag, l.rule == RULE_NUMBER && v >= l.min && v <= l.max))
        return false;
    *out = static_cast<int32_t>(v);
    return true;
}

bool field_address(FieldTagId tag, const char *value, uint32_t *word)
{
    const FieldLimit &l = limit_of(tag);
    return taken(tag, l.rule == RULE_ADDRESS && read_address(value, word));
}

bool field_text(FieldTagId tag, const char *value, size_t *len)
{
    const FieldLimit &l = limit_of(tag);
    // Counted no further than one past the limit.
    size_t n = text_len_max(value, static_cast<size_t>(l.max) + 1);
    if (!taken(tag, l.rule == RULE_TEXT && n >= static_cast<size_t>(l.min) && n <= static_cast<size_t>(l.max)))
        return false;
    *len = n;
    return true;
}
