#include "numtext.h"

#include <limits.h>
#include <stdio.h>

int dec_value(const char *text)
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
    // Accumulate the magnitude with a cap one past INT_MAX, so the loop
    // never overflows however many digits follow.
    const long long cap = static_cast<long long>(INT_MAX) + 1;
    long long mag = 0;
    while (*s >= '0' && *s <= '9') {
        mag = mag * 10 + (*s++ - '0');
        if (mag > cap)
            mag = cap;
    }
    if (neg)
        return static_cast<int>(-mag);          // -cap is INT_MIN
    return mag > INT_MAX ? INT_MAX : static_cast<int>(mag);
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
