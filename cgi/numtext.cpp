#include "numtext.h"

#include <limits.h>

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
