// Getters and setters of the tag table, declared from its rows. A getter
// ignores its argument, prints its value to standard output and returns 0
// ("wanip" returns 1 after printing "N/A"); a setter takes the submitted
// value text and returns 0.
#ifndef S2N_TAGS_H
#define S2N_TAGS_H

#define FIELD(tag, name, kind, guard, place) \
    int get_##name(void *);                  \
    int set_##name(const char *value);
#define TAG(tag, getter, setter) \
    int getter(void *);          \
    int setter(const char *value);
#define SHOW(tag, getter) int getter(void *);
#include "tag_table.def"

#endif
