// The field limits: one row per kind, one per checked tag.
#include "field_limits.h"

#include "messages.h"

const FieldLimit field_limits[] = {
#define S2N_FIELD_LIMIT_ROW(id, kind, rule, min, max, pattern, message) {kind, rule, min, max, pattern, message},
    S2N_FIELD_LIMITS(S2N_FIELD_LIMIT_ROW)
#undef S2N_FIELD_LIMIT_ROW
};
const unsigned field_limit_count = sizeof field_limits / sizeof field_limits[0];

const FieldTag field_tags[] = {
#define S2N_FIELD_TAG_ROW(tag, limit) {#tag, limit},
    S2N_FIELD_TAGS(S2N_FIELD_TAG_ROW)
#undef S2N_FIELD_TAG_ROW
};
const unsigned field_tag_count = sizeof field_tags / sizeof field_tags[0];
