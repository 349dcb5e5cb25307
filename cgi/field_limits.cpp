// The field limits: one row per kind, one per checked tag.
#include "field_limits.h"

#include "messages.h"

const FieldLimit field_limits[] = {
#define S2N_FIELD_LIMIT_ROW(id, kind, rule, min, max, pattern, message) {rule, min, max},
    S2N_FIELD_LIMITS(S2N_FIELD_LIMIT_ROW)
#undef S2N_FIELD_LIMIT_ROW
};
const unsigned field_limit_count = sizeof field_limits / sizeof field_limits[0];

// The texts by switches, which compile to code and relative offsets.
#define S2N_FIELD_LIMIT_TEXT(column)                                                               \
    const char *field_limit_##column(FieldLimitId id)                                              \
    {                                                                                              \
        switch (id) {                                                                              \
            S2N_FIELD_LIMITS(S2N_FIELD_LIMIT_CASE_##column)                                        \
        case FIELD_LIMITS: break;                                                                  \
        }                                                                                          \
        return nullptr;                                                                            \
    }
#define S2N_FIELD_LIMIT_CASE_kind(id, kind, rule, min, max, pattern, message) case id: return kind;
#define S2N_FIELD_LIMIT_CASE_pattern(id, kind, rule, min, max, pattern, message) case id: return pattern;
#define S2N_FIELD_LIMIT_CASE_message(id, kind, rule, min, max, pattern, message) case id: return message;
S2N_FIELD_LIMIT_TEXT(kind)
S2N_FIELD_LIMIT_TEXT(pattern)
S2N_FIELD_LIMIT_TEXT(message)

const FieldTag field_tags[] = {
#define S2N_FIELD_TAG_ROW(tag, limit) {#tag, limit},
    S2N_FIELD_TAGS(S2N_FIELD_TAG_ROW)
#undef S2N_FIELD_TAG_ROW
};
const unsigned field_tag_count = sizeof field_tags / sizeof field_tags[0];
