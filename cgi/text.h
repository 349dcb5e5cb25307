// Small text helpers in place of the C library's string calls (the
// README's speed rule says why).
#ifndef S2N_TEXT_H
#define S2N_TEXT_H

#include <stddef.h>

// strlen.
static inline size_t text_len(const char *s)
{
    size_t n = 0;
    while (s[n] != '\0')
        ++n;
    return n;
}

// strnlen: the length, or max when no end mark comes within max bytes.
static inline size_t text_len_max(const char *s, size_t max)
{
    size_t n = 0;
    while (n < max && s[n] != '\0')
        ++n;
    return n;
}

// strcmp(a, b) == 0.
static inline bool text_equal(const char *a, const char *b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// strcasecmp(a, b) == 0, for ASCII letters.
static inline bool text_equal_nocase(const char *a, const char *b)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    while (*a != '\0' && lower(*a) == lower(*b)) {
        ++a;
        ++b;
    }
    return lower(*a) == lower(*b);
}

// strchr: the first c in s, or null; c may not be the end mark.
static inline const char *text_find(const char *s, char c)
{
    for (; *s != '\0'; ++s)
        if (*s == c)
            return s;
    return nullptr;
}

// memcpy of n bytes; returns the end of the copy.
static inline char *copy_bytes(char *to, const char *from, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        to[i] = from[i];
    return to + n;
}

#endif
