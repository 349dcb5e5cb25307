#include "numtext.h"

#include <limits.h>
#include <stdio.h>

long long dec_wide(const char *text)
{
    if (!text)
        return 0;
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
    // isspace() in the C locale, without the locale lookup.
    while (*s == ' ' || (*s >= '\t' && *s <= '\r'))
        ++s;
    bool neg = false;
    if (*s == '+' || *s == '-')
        neg = (*s++ == '-');
    // The cap keeps the loop from overflowing however many digits follow.
    long long mag = 0;
    while (*s >= '0' && *s <= '9') {
        mag = mag * 10 + (*s++ - '0');
        if (mag > DEC_WIDE_LIMIT)
            mag = DEC_WIDE_LIMIT;
    }
    return neg ? -mag : mag;
}

int dec_value(const char *text)
{
    long long v = dec_wide(text);
    if (v < INT_MIN)
        return INT_MIN;
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

unsigned dec_text(char *out, long long v)
{
    // The magnitude in unsigned arithmetic, so LLONG_MIN needs no negation.
    unsigned long long m = static_cast<unsigned long long>(v);
    if (v < 0)
        m = 0ull - m;
    char rev[DEC_TEXT_SIZE];
    unsigned n = 0;
    do {
        rev[n++] = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m != 0);
    unsigned len = 0;
    if (v < 0)
        out[len++] = '-';
    while (n > 0)
        out[len++] = rev[--n];
    out[len] = '\0';
    return len;
}

void print_dec(long long v)
{
    char text[DEC_TEXT_SIZE];
    fwrite(text, 1, dec_text(text, v), stdout);
}
