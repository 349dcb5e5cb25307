// CGI form and template library for development hosts: urlencoded form
// fields from the query string or a POST body, the response header, the
// language table and template rendering from DEVKIT_ROOT/www.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#pragma GCC visibility push(default)
#include "cgiweb.h"
#pragma GCC visibility pop

#include "dk_languages.h"
#include "dk_store.h"

enum {
    FORM_MAX = 64 * 1024,       // largest query string or body taken
    FORM_FIELDS = 512,          // fields beyond this are dropped
    TEMPLATE_MAX = 256 * 1024,  // largest template rendered
    TAG_MAX = 63,               // longest tag name
};

// ---- Form fields ----

struct CgiList {
    int count;
    char *data;  // the decoded text; names and values point into it
    const char *name[FORM_FIELDS];
    const char *value[FORM_FIELDS];
};

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Decodes s[0..n) in place ("+" is a blank, %XX a byte; a malformed escape
// stays as it is) and NUL-terminates it. False when it decodes to a NUL byte.
static bool url_decode(char *s, size_t n)
{
    size_t o = 0;
    bool ok = true;
    for (size_t i = 0; i < n; ++i) {
        char c = s[i];
        if (c == '+') {
            c = ' ';
        } else if (c == '%') {
            int hi = i + 1 < n ? hex_digit(s[i + 1]) : -1;
            int lo = i + 2 < n ? hex_digit(s[i + 2]) : -1;
            if (hi >= 0 && lo >= 0) {
                c = static_cast<char>(hi << 4 | lo);
                i += 2;
                if (c == '\0')
                    ok = false;
            }
        } else if (c == '\0') {
            ok = false;
        }
        s[o++] = c;
    }
    s[o] = '\0';
    return ok;
}

// Splits "a=b&c=d" (text of len bytes, NUL-terminated, owned by the list).
static void split_fields(CgiList *list, char *text, size_t len)
{
    size_t i = 0;
    while (i < len && list->count < FORM_FIELDS) {
        size_t end = i;
        while (end < len && text[end] != '&')
            ++end;
        char *pair = text + i;
        size_t plen = end - i;
        char *eq = static_cast<char *>(memchr(pair, '=', plen));
        size_t nlen = eq ? static_cast<size_t>(eq - pair) : plen;
        char *value = eq ? eq + 1 : pair + plen;
        size_t vlen = eq ? plen - nlen - 1 : 0;
        text[end] = '\0';
        bool ok = url_decode(pair, nlen);
        if (eq)
            ok = url_decode(value, vlen) && ok;
        // NUL bytes were refused with the whole form; an empty name is no field.
        if (ok && pair[0]) {
            list->name[list->count] = pair;
            list->value[list->count] = eq ? value : "";
            ++list->count;
        }
        i = end + 1;
    }
}

// A decimal CONTENT_LENGTH of at most FORM_MAX; -1 otherwise.
static long content_length(const char *s)
{
    if (!s || !*s || strlen(s) > 9)
        return -1;
    long n = 0;
    for (; *s; ++s) {
        if (*s < '0' || *s > '9')
            return -1;
        n = n * 10 + (*s - '0');
    }
    return n <= FORM_MAX ? n : -1;
}

static bool urlencoded(const char *type)
{
    static const char form[] = "application/x-www-form-urlencoded";
    if (!type || !*type)
        return true;
    return strncasecmp(type, form, sizeof form - 1) == 0 &&
           (type[sizeof form - 1] == '\0' || type[sizeof form - 1] == ';' || type[sizeof form - 1] == ' ');
}

// The raw form text: the POST body or the query string. Null for a form
// that is refused (too large, bad length, other encodings).
static char *form_text(size_t *len)
{
    const char *method = getenv("REQUEST_METHOD");
    if (method && strcmp(method, "POST") == 0) {
        long n = content_length(getenv("CONTENT_LENGTH"));
        if (n < 0 || !urlencoded(getenv("CONTENT_TYPE")))
            return nullptr;
        char *buf = static_cast<char *>(malloc(static_cast<size_t>(n) + 1));
        if (!buf)
            return nullptr;
        size_t got = 0;
        while (got < static_cast<size_t>(n)) {
            ssize_t r = read(0, buf + got, static_cast<size_t>(n) - got);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            got += static_cast<size_t>(r);
        }
        // A body that ends early is a request cut short, not a shorter form.
        if (got < static_cast<size_t>(n)) {
            free(buf);
            return nullptr;
        }
        buf[got] = '\0';
        *len = got;
        return buf;
    }
    const char *q = getenv("QUERY_STRING");
    if (!q)
        q = "";
    size_t n = strnlen(q, FORM_MAX + 1);
    if (n > FORM_MAX)
        return nullptr;
    char *buf = static_cast<char *>(malloc(n + 1));
    if (buf) {
        memcpy(buf, q, n);
        buf[n] = '\0';
        *len = n;
    }
    return buf;
}

int read_cgi_input(CgiList **list)
{
    if (!list)
        return -1;
    list_clear(list);
    // The name and value arrays are filled up to count; only the head is set.
    CgiList *l = static_cast<CgiList *>(malloc(sizeof(CgiList)));
    if (!l)
        return -1;
    l->count = 0;
    l->data = nullptr;
    *list = l;
    size_t len = 0;
    l->data = form_text(&len);
    if (!l->data)
        return -1;
    // A NUL byte, sent as such or as %00, cannot be passed on as text: the
    // whole form is refused rather than stored without that field.
    if (memchr(l->data, '\0', len) || memmem(l->data, len, "%00", 3))
        return -1;
    split_fields(l, l->data, len);
    return l->count;
}

const char *cgi_val(CgiList *list, const char *name)
{
    if (!list || !name)
        return nullptr;
    for (int i = 0; i < list->count; ++i)
        if (list->name[i][0] == name[0] && strcmp(list->name[i], name) == 0)
            return list->value[i];
    return nullptr;
}

void list_clear(CgiList **list)
{
    if (!list || !*list)
        return;
    free((*list)->data);
    free(*list);
    *list = nullptr;
}

// ---- Response ----

void html_header(void)
{
    fputs("Content-Type: text/html; charset=utf-8\n\n", stdout);
}

void CgiError(void)
{
    fputs("Status: 500 Internal Server Error\n"
          "Content-Type: text/plain; charset=utf-8\n"
          "\n"
          "The request cannot be served.\n",
          stdout);
    fflush(stdout);
}

// ---- Languages ----

// Shipped languages; the tag is also the template folder under www/.
static const char *const languages[] = {DK_LANGUAGES};
enum { LANGUAGES = sizeof languages / sizeof languages[0] };

// Index of the language a tag like "en", "EN-gb" names; -1 when not shipped.
static int language_of(const char *tag, size_t n)
{
    size_t primary = 0;
    while (primary < n && tag[primary] != '-' && tag[primary] != '_')
        ++primary;
    for (int i = 0; i < LANGUAGES; ++i)
        if (strlen(languages[i]) == primary && strncasecmp(languages[i], tag, primary) == 0)
            return i;
    return -1;
}

// Quality of one Accept-Language item's parameters (";q=0.5"), 0..1000.
static int quality(const char *p, const char *end)
{
    const char *q = p;
    while (q < end && (*q == ' ' || *q == ';'))
        ++q;
    if (end - q < 3 || (q[0] != 'q' && q[0] != 'Q') || q[1] != '=')
        return 1000;
    q += 2;
    int whole = (q < end && *q == '1') ? 1000 : 0;
    if (q < end && (*q == '0' || *q == '1'))
        ++q;
    int frac = 0, scale = 100;
    if (q < end && *q == '.')
        for (++q; q < end && *q >= '0' && *q <= '9' && scale > 0; ++q, scale /= 10)
            frac += (*q - '0') * scale;
    return whole ? 1000 : frac;
}

// The shipped language the browser prefers most; -1 when none.
static int accepted_language(const char *header)
{
    int best = -1, best_q = 0;
    const char *s = header;
    while (s && *s) {
        const char *end = strchr(s, ',');
        if (!end)
            end = s + strlen(s);
        while (s < end && *s == ' ')
            ++s;
        const char *semi = s;
        while (semi < end && *semi != ';')
            ++semi;
        const char *tag_end = semi;
        while (tag_end > s && tag_end[-1] == ' ')
            --tag_end;
        int lang = language_of(s, static_cast<size_t>(tag_end - s));
        int q = semi < end ? quality(semi, end) : 1000;
        if (lang >= 0 && q > best_q) {
            best = lang;
            best_q = q;
        }
        s = *end ? end + 1 : end;
    }
    return best;
}

int lang_get_index(const char *lang)
{
    if (lang) {
        int i = language_of(lang, strlen(lang));
        if (i >= 0)
            return i;
    }
    int i = accepted_language(getenv("HTTP_ACCEPT_LANGUAGE"));
    return i >= 0 ? i : 0;
}

const char *lang_get_tag(int index)
{
    if (index < 0 || index >= LANGUAGES)
        index = 0;
    return languages[index];
}

// ---- Templates ----

static bool tag_char(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

static const TagEntry *find_tag(const TagEntry *tab, const char *name, size_t n)
{
    for (const TagEntry *row = tab; row && row->tag; ++row)
        if (row->tag[0] == name[0] && strncmp(row->tag, name, n) == 0 && row->tag[n] == '\0')
            return row;
    return nullptr;
}

// Streams the template, calling the row's getter at each "<%name%>" tag.
// Unknown or malformed tags are written as they stand.
static void render(const char *text, size_t len, const TagEntry *tab)
{
    size_t emitted = 0, pos = 0;
    while (pos + 1 < len) {
        const char *open = static_cast<const char *>(memchr(text + pos, '<', len - pos - 1));
        if (!open)
            break;
        size_t at = static_cast<size_t>(open - text);
        if (text[at + 1] != '%') {
            pos = at + 1;
            continue;
        }
        size_t s = at + 2, e = s;
        while (e < len && e - s <= TAG_MAX && tag_char(text[e]))
            ++e;
        if (e > s && e - s <= TAG_MAX && e + 1 < len && text[e] == '%' && text[e + 1] == '>') {
            const TagEntry *row = find_tag(tab, text + s, e - s);
            if (row && row->getter) {
                fwrite(text + emitted, 1, at - emitted, stdout);
                row->getter(nullptr);
                emitted = pos = e + 2;
                continue;
            }
        }
        pos = at + 1;
    }
    fwrite(text + emitted, 1, len - emitted, stdout);
}

int parse_html(const char *path, const TagEntry *tab)
{
    char full[DK_PATH_SIZE];
    char *text = nullptr;
    size_t len = 0;
    const char *root = dk_env_root();
    if (!path || !root || dk_path(full, sizeof full, root, "www", path) != 0 ||
        dk_read_file(full, TEMPLATE_MAX, &text, &len) != 0) {
        free(text);
        // The path is not echoed: it comes from the form.
        fputs("<!DOCTYPE html><title>Error</title><p>The page is not available.</p>\n", stdout);
        fflush(stdout);
        return 2;
    }
    render(text, len, tab);
    free(text);
    fflush(stdout);
    return 0;
}
