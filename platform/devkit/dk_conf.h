// INI-style configuration text: "[section]" headers, "key=value" lines,
// comments ('#' or ';') and blank lines. Edits change only the value of one
// line, or add a line, and keep everything else byte for byte.
#ifndef DK_CONF_H
#define DK_CONF_H

#include <stddef.h>

enum {
    DK_CONF_MAX = 64 * 1024,      // largest configuration file handled
    DK_CONF_VALUE_MAX = 515,      // longest value written
};

// One line of the text.
struct ConfLine {
    enum Kind { BLANK, COMMENT, SECTION, ENTRY, OTHER } kind;
    size_t start, end;            // the line without its newline
    size_t next;                  // offset of the following line
    size_t name, name_len;        // section name or key (trimmed)
    size_t value, value_len;      // entry value (leading blanks and a trailing CR dropped)
};

// Scans the line that starts at pos (pos < len). Returns false at the end.
bool conf_line(const char *text, size_t len, size_t pos, ConfLine *line);

// The value of key in section (the first such entry); null when absent.
// The value is not NUL-terminated; *vlen gives its length.
const char *conf_find(const char *text, size_t len, const char *section, const char *key,
                      size_t *vlen);

// Where the entries of a text are, in file order, each with the section
// header it is under; entries before the first header are left out. Built
// once per text, so a lookup compares lengths and bytes, not lines.
struct ConfEntry {
    size_t section, section_len;
    size_t key, key_len;
    size_t value, value_len;
};

struct ConfIndex {
    ConfEntry *entry;  // malloc'd
    size_t count;
};

// Indexes text; 0 on success. conf_index_free releases the entries.
int conf_index(const char *text, size_t len, ConfIndex *index);
void conf_index_free(ConfIndex *index);

// conf_find on an indexed text: the first entry of key in section.
const char *conf_lookup(const char *text, const ConfIndex *index, const char *section,
                        const char *key, size_t *vlen);

// Sets key in section to value in the malloc'd text (*text, *len): the
// first entry's value is replaced; a new key goes after the last entry of
// the section's first header, a new section at the end. Refuses names and
// values that would break the line structure. Returns 0 on success.
int conf_set(char **text, size_t *len, const char *section, const char *key, const char *value);

// A name or value that conf_set accepts.
bool conf_name_ok(const char *name, bool section);
bool conf_value_ok(const char *value);

#endif
