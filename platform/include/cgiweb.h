/*
 * CGI form and template library: form fields, response header, languages
 * and template rendering. Closed on the device; platform/devkit provides a
 * stand-in for development hosts.
 */
#ifndef CGIWEB_H
#define CGIWEB_H

#ifdef __cplusplus
#define CGIWEB_ASSERT(c, m) static_assert(c, m)
extern "C" {
#else
#define CGIWEB_ASSERT(c, m) _Static_assert(c, m)
#endif

#include <stddef.h>

/* One row of a tag table: the tag (also the form field name), the getter
 * that prints its value into the page and the setter that takes a submitted
 * value. A row whose tag is null ends the table. */
typedef int (*TagGetter)(void *unused);
typedef int (*TagSetter)(const char *value);
typedef struct TagEntry {
    const char *tag;
    TagGetter getter;
    TagSetter setter;
} TagEntry;

CGIWEB_ASSERT(offsetof(TagEntry, tag) == 0, "tag");
CGIWEB_ASSERT(offsetof(TagEntry, getter) == sizeof(void *), "getter");
CGIWEB_ASSERT(offsetof(TagEntry, setter) == 2 * sizeof(void *), "setter");
CGIWEB_ASSERT(sizeof(TagEntry) == 3 * sizeof(void *), "TagEntry is three pointers");
CGIWEB_ASSERT(sizeof(void *) != 4 || sizeof(TagEntry) == 12, "TagEntry is 12 bytes on the device");

/* The request's form fields; the handle starts out null. */
typedef struct CgiList CgiList;

int read_cgi_input(CgiList **list);
const char *cgi_val(CgiList *list, const char *name);
void list_clear(CgiList **list);
void CgiError(void);

int lang_get_index(const char *lang);
const char *lang_get_tag(int index);

void html_header(void);
int parse_html(const char *path, const TagEntry *tab);

#ifdef __cplusplus
}
#endif
#endif
