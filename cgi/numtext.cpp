#include "numtext.h"

#include <limits.h>
#include <stdint.h>

#include "output.h"

// isspace() in the C locale.
static bool blank(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Blanks, a sign, then digits up to the first other character, which *end
// is left at; *digits tells whether there was one. The cap keeps the loop
// from overflowing however many digits follow.
static long long scan_dec(const unsigned char **end, bool *digits)
{
    const unsigned char *s = *end;
    while (blank(*s))
        ++s;
    bool neg = false;
    if (*s == '+' || *s == '-')
        neg = (*s++ == '-');
    *digits = *s >= '0' && *s <= '9';
    long long mag = 0;
    while (*s >= '0' && *s <= '9') {
        mag = mag * 10 + (*s++ - '0');
        if (mag > DEC_WIDE_LIMIT)
            mag = DEC_WIDE_LIMIT;
    }
    *end = s;
    return neg ? -mag : mag;
}

bool dec_strict(const char *text, long long *out)
{
    if (!text)
        return false;
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
    bool digits = false;
    long long v = scan_dec(&s, &digits);
    while (blank(*s))
        ++s;
    if (!digits || *s != '\0')
        return false;
    *out = v;
    return true;
}

int dec_value(const char *text)
{
    if (!text)
        return 0;
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
    bool digits = false;
    long long v = scan_dec(&s, &digits);
    if (v < INT_MIN)
        return INT_MIN;
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

// "00" to "99": two digits per division.
static const char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the digits of m backwards so that the last one lands just before
// end.
static void digits_before(char *end, unsigned long long m)
{
    // 64-bit division only for what 32 bits cannot hold: the device has no
    // instruction for it.
    while (m > UINT32_MAX) {
        unsigned r = static_cast<unsigned>(m % 100);
        m /= 100;
        end -= 2;
        end[0] = kPairs[2 * r];
        end[1] = kPairs[2 * r + 1];
    }
    uint32_t n = static_cast<uint32_t>(m);
    while (n >= 100) {
        unsigned r = n % 100;
        n /= 100;
        end -= 2;
        end[0] = kPairs[2 * r];
        end[1] = kPairs[2 * r + 1];
    }
    if (n >= 10) {
        end[-2] = kPairs[2 * n];
        end[-1] = kPairs[2 * n + 1];
    } else {
        end[-1] = static_cast<char>('0' + n);
    }
}

unsigned dec_text(char *out, long long v)
{
    // The magnitude in unsigned arithmetic, so LLONG_MIN needs no negation.
    unsigned long long m = static_cast<unsigned long long>(v);
    unsigned len = 0;
    if (v < 0) {
        m = 0ull - m;
        out[len++] = '-';
    }
    // Count the digits first, so they go straight to their places. The
    // magnitude is at most 2^63, below 10^19, so the power never wraps.
    unsigned digits = 1;
    for (unsigned long long power = 10; m >= power; power *= 10)
        ++digits;
    len += digits;
    digits_before(out + len, m);
    out[len] = '\0';
    return len;
}

unsigned octet_text(char *out, unsigned char v)
{
    unsigned n = v;
    if (n >= 100) {
        unsigned h = n / 100;
        n -= 100 * h;
        out[0] = static_cast<char>('0' + h);
        out[1] = kPairs[2 * n];
        out[2] = kPairs[2 * n + 1];
        return 3;
    }
    if (n >= 10) {
        out[0] = kPairs[2 * n];
        out[1] = kPairs[2 * n + 1];
        return 2;
    }
    out[0] = static_cast<char>('0' + n);
    return 1;
}

void print_dec(long long v)
{
    char text[DEC_TEXT_SIZE];
    out_text(text, dec_text(text, v));
}
