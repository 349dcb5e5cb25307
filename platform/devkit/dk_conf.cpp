// INI text scanning and in-place editing.
#include "dk_conf.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static bool blank(char c)
{
    return c == ' ' || c == '\t';
}

bool conf_line(const char *text, size_t len, size_t pos, ConfLine *line)
{
    if (pos >= len)
        return false;
    const char *nl = static_cast<const char *>(memchr(text + pos, '\n', len - pos));
    size_t end = nl ? static_cast<size_t>(nl - text) : len;
    *line = ConfLine{};
    line->start = pos;
    line->end = end;
    line->next = nl ? end + 1 : len;
    size_t e = end;
    if (e > pos && text[e - 1] == '\r')
        --e;
    size_t s = pos;
    while (s < e && blank(text[s]))
        ++s;
    size_t t = e;
    while (t > s && blank(text[t - 1]))
        --t;
    if (s == t) {
        line->kind = ConfLine::BLANK;
    } else if (text[s] == '#' || text[s] == ';') {
        line->kind = ConfLine::COMMENT;
    } else if (text[s] == '[' && text[t - 1] == ']' && t - s >= 2) {
        line->kind = ConfLine::SECTION;
        size_t a = s + 1, b = t - 1;
        while (a < b && blank(text[a]))
            ++a;
        while (b > a && blank(text[b - 1]))
            --b;
        line->name = a;
        line->name_len = b - a;
    } else {
        const char *eq = static_cast<const char *>(memchr(text + s, '=', t - s));
        if (!eq) {
            line->kind = ConfLine::OTHER;
            return true;
        }
        line->kind = ConfLine::ENTRY;
        size_t k = static_cast<size_t>(eq - text);
        size_t kb = k;
        while (kb > s && blank(text[kb - 1]))
            --kb;
        line->name = s;
        line->name_len = kb - s;
        size_t v = k + 1;
        while (v < e && blank(text[v]))
            ++v;
        line->value = v;
        line->value_len = e - v;
    }
    return true;
}

static bool span_is(const char *text, size_t at, size_t n, const char *name)
{
    return strlen(name) == n && memcmp(text + at, name, n) == 0;
}

const char *conf_find(const char *text, size_t len, const char *section, const char *key,
                      size_t *vlen)
{
    if (!text || !section || !key)
        return nullptr;
    bool in = false;
    ConfLine line;
    for (size_t pos = 0; conf_line(text, len, pos, &line); pos = line.next) {
        if (line.kind == ConfLine::SECTION)
            in = span_is(text, line.name, line.name_len, section);
        else if (in && line.kind == ConfLine::ENTRY && span_is(text, line.name, line.name_len, key)) {
            if (vlen)
                *vlen = line.value_len;
            return text + line.value;
        }
    }
    return nullptr;
}

int conf_index(const char *text, size_t len, ConfIndex *index)
{
    *index = ConfIndex{};
    size_t cap = 0;
    bool in_section = false;
    size_t section = 0, section_len = 0;
    ConfLine line;
    for (size_t pos = 0; text && conf_line(text, len, pos, &line); pos = line.next) {
        if (line.kind == ConfLine::SECTION) {
            in_section = true;
            section = line.name;
            section_len = line.name_len;
            continue;
        }
        if (line.kind != ConfLine::ENTRY || !in_section)
            continue;
        if (index->count == cap) {
            cap = cap ? 2 * cap : 32;
            void *grown = realloc(index->entry, cap * sizeof(ConfEntry));
            if (!grown) {
                conf_index_free(index);
                return -1;
            }
            index->entry = static_cast<ConfEntry *>(grown);
        }
        index->entry[index->count++] =
            ConfEntry{section, section_len, line.name, line.name_len, line.value, line.value_len};
    }
    return 0;
}

void conf_index_free(ConfIndex *index)
{
    free(index->entry);
    *index = ConfIndex{};
}

const char *conf_lookup(const char *text, const ConfIndex *index, const char *section,
                        const char *key, size_t *vlen)
{
    if (!text || !section || !key)
        return nullptr;
    size_t slen = strlen(section), klen = strlen(key);
    for (size_t i = 0; i < index->count; ++i) {
        const ConfEntry *e = &index->entry[i];
        if (e->key_len == klen && e->section_len == slen &&
            memcmp(text + e->key, key, klen) == 0 && memcmp(text + e->section, section, slen) == 0) {
            if (vlen)
                *vlen = e->value_len;
            return text + e->value;
        }
    }
    return nullptr;
}

bool conf_name_ok(const char *name, bool section)
{
    if (!name || !name[0] || strlen(name) > 255)
        return false;
    if (blank(name[0]) || blank(name[strlen(name) - 1]))
        return false;
    if (!section && (name[0] == '#' || name[0] == ';' || name[0] == '['))
        return false;
    return strpbrk(name, section ? "\r\n[]" : "\r\n=") == nullptr;
}

bool conf_value_ok(const char *value)
{
    return value && strlen(value) <= DK_CONF_VALUE_MAX && strpbrk(value, "\r\n") == nullptr;
}

// Replaces [at, at + cut) of the text by ins.
static int splice(char **text, size_t *len, size_t at, size_t cut, const char *ins, size_t n)
{
    size_t newlen = *len - cut + n;
    if (newlen > DK_CONF_MAX)
        return -1;
    char *buf = static_cast<char *>(malloc(newlen + 1));
    if (!buf)
        return -1;
    memcpy(buf, *text, at);
    memcpy(buf + at, ins, n);
    memcpy(buf + at + n, *text + at + cut, *len - at - cut);
    buf[newlen] = '\0';
    free(*text);
    *text = buf;
    *len = newlen;
    return 0;
}

int conf_set(char **text, size_t *len, const char *section, const char *key, const char *value)
{
    if (!text || !*text || !conf_name_ok(section, true) || !conf_name_ok(key, false) ||
        !conf_value_ok(value))
        return -1;
    bool in = false, found_section = false;
    size_t insert_at = 0;
    bool insert_needs_nl = false;
    ConfLine line;
    for (size_t pos = 0; conf_line(*text, *len, pos, &line); pos = line.next) {
        if (line.kind == ConfLine::SECTION) {
            in = !found_section && span_is(*text, line.name, line.name_len, section);
            if (in) {
                found_section = true;
                insert_at = line.next;
                insert_needs_nl = line.next == line.end;
            }
        } else if (in && line.kind == ConfLine::ENTRY) {
            if (span_is(*text, line.name, line.name_len, key))
                return splice(text, len, line.value, line.value_len, value, strlen(value));
            insert_at = line.next;
            insert_needs_nl = line.next == line.end;
        }
    }
    // Not present in the first header of the section: a later duplicate
    // header may still hold it; the reader takes it from there, so does this.
    if (const char *v = conf_find(*text, *len, section, key, nullptr)) {
        size_t at = static_cast<size_t>(v - *text);
        size_t vlen = 0;
        conf_find(*text, *len, section, key, &vlen);
        return splice(text, len, at, vlen, value, strlen(value));
    }
    char add[1100];
    size_t n = 0;
    if (found_section) {
        n = static_cast<size_t>(
            snprintf(add, sizeof add, "%s%s=%s\n", insert_needs_nl ? "\n" : "", key, value));
    } else {
        insert_at = *len;
        // Keep a blank line between the last section and the new one.
        const char *sep = "";
        if (*len > 0 && (*text)[*len - 1] != '\n')
            sep = "\n\n";
        else if (*len > 1 && (*text)[*len - 2] != '\n')
            sep = "\n";
        n = static_cast<size_t>(snprintf(add, sizeof add, "%s[%s]\n%s=%s\n", sep, section, key, value));
    }
    if (n >= sizeof add)
        return -1;
    return splice(text, len, insert_at, 0, add, n);
}
