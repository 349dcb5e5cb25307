#include "ipcalc.h"

#include <limits.h>

#include "numtext.h"
#include "text.h"

// Weight of a step of each octet, first to fourth.
static const int64_t kWeight[4] = {16646144, 65024, 254, 1};

unsigned dotted_quad(char *out, const unsigned char octet[4])
{
    unsigned len = octet_text(out, octet[0]);
    for (int i = 1; i < 4; ++i) {
        out[len++] = '.';
        len += octet_text(out + len, octet[i]);
    }
    out[len] = '\0';
    return len;
}

char *inet_neta2(uint32_t word, char *buf, unsigned size)
{
    // A word whose fourth octet is set has no trailing zero octets to leave
    // out: with room for any dotted quad, write it in one go.
    if ((word >> 24) != 0 && size > DOTTED_QUAD_SIZE) {
        const unsigned char octet[4] = {
            static_cast<unsigned char>(word), static_cast<unsigned char>(word >> 8),
            static_cast<unsigned char>(word >> 16), static_cast<unsigned char>(word >> 24)};
        dotted_quad(buf, octet);
        return buf;
    }
    unsigned left = size;
    unsigned pos = 0;
    if (size > 0)
        buf[0] = '\0';
    while (word != 0) {
        unsigned char octet = static_cast<unsigned char>(word);
        word >>= 8;
        // Room for three digits, a dot and the end mark.
        if (left <= 4)
            return nullptr;
        unsigned n = octet_text(buf + pos, octet);
        if (word != 0)
            buf[pos + n++] = '.';
        buf[pos + n] = '\0';
        pos += n;
        left -= n;
    }
    if (pos == 0) {
        if (left <= 7)
            return nullptr;
        copy_bytes(buf, "0.0.0.0", 8);
    }
    return buf;
}

bool read_address(const char *text, uint32_t *word)
{
    uint32_t w = 0;
    unsigned parts = 0;
    unsigned octet = 0;
    unsigned digits = 0;
    for (const char *c = text;; ++c) {
        if (*c >= '0' && *c <= '9') {
            // No leading zeros (inet_addr reads those as octal) and at most
            // three digits.
            if ((digits == 1 && octet == 0) || ++digits > 3)
                return false;
            octet = octet * 10 + static_cast<unsigned>(*c - '0');
            continue;
        }
        if ((*c != '.' && *c != '\0') || digits == 0 || octet > 255 || parts == 4)
            return false;
        w |= octet << (8 * parts++);
        octet = 0;
        digits = 0;
        if (*c == '\0')
            break;
    }
    *word = w;
    return true;
}

// Splits dotted text into four parts, each read as a decimal number; parts
// the text does not reach are 0 ("192.168.1" gives 192, 168, 1, 0). False
// for text with more than four parts or a part longer than 15 characters:
// such text is no address, and cutting it short would name another one.
static bool split_dotted(const char *text, int part[4])
{
    char buf[IP_PART_SIZE];
    unsigned len = 0;
    unsigned count = 0;
    for (int i = 0; i < 4; ++i)
        part[i] = 0;
    for (const char *p = text;; ++p) {
        if (*p == '.' || *p == '\0') {
            if (count == 4)
                return false;
            buf[len] = '\0';
            part[count++] = dec_value(buf);
            len = 0;
            if (*p == '\0')
                return true;
        } else {
            if (len == IP_PART_SIZE - 1)
                return false;
            buf[len++] = *p;
        }
    }
}

static bool blank_or_empty(const char *text)
{
    return text[0] == '\0' || text[0] == ' ';
}

int calcIpCnt(char *start, const char *end)
{
    if (!start || !end)
        return 1;
    if (blank_or_empty(start)) {
        copy_bytes(start, "0.0.0.0", 8);
        return 1;
    }
    if (blank_or_empty(end))
        return 1;

    int s[4];
    int e[4];
    if (!split_dotted(start, s) || !split_dotted(end, e))
        return 0;
    if (e[0] < s[0])
        return 0;
    // Each difference fits in 33 bits and each product in 58, so the sum
    // cannot overflow 64 bits.
    int64_t n = 1;
    for (int i = 0; i < 4; ++i)
        n += (static_cast<int64_t>(e[i]) - s[i]) * kWeight[i];
    if (n <= 0 || n > INT_MAX)
        return 0;
    return static_cast<int>(n);
}

// Sets octets j..3 (0-based) of e so that the weighted distance from s to e
// is n: each octet takes the whole steps of its weight the remainder holds,
// the fourth octet what is left. Division truncates toward zero.
static void fill_from(int64_t e[4], const int64_t s[4], int64_t n, int j)
{
    int64_t r = n;
    for (int i = 0; i < j; ++i)
        r -= (e[i] - s[i]) * kWeight[i];
    for (int i = j; i < 3; ++i) {
        e[i] = s[i] + r / kWeight[i];
        r -= (e[i] - s[i]) * kWeight[i];
    }
    e[3] = s[3] + r;
}

void calcIpEnd(const char *start, int count, char *out)
{
    int part[4];
    // The start is read completely here, before out (possibly the same
    // buffer) is written.
    if (!start || !split_dotted(start, part)) {
        out[0] = '\0';
        return;
    }
    int64_t s[4];
    int64_t e[4];
    for (int i = 0; i < 4; ++i)
        s[i] = e[i] = part[i];

    const int64_t n = static_cast<int64_t>(count) - 1;
    if (n > 0) {
        // The carries below settle only for octets a stored address can
        // hold; other parts could keep them turning without end.
        for (int i = 0; i < 4; ++i) {
            if (s[i] < 0 || s[i] > 255) {
                out[0] = '\0';
                return;
            }
        }
        fill_from(e, s, n, 0);
        // Carry into the next higher octet; the first octet is not bounded,
        // so a range past 255.255.255.255 shows as 256.x.y.z.
        while (e[1] > 255 || e[2] > 255 || e[3] > 255) {
            if (e[1] > 255) {
                ++e[0];
                fill_from(e, s, n, 1);
            } else if (e[2] > 255) {
                ++e[1];
                fill_from(e, s, n, 2);
            } else {
                ++e[2];
                fill_from(e, s, n, 3);
            }
        }
        // Borrow: a fourth-octet step is worth 254, the others 256 of the
        // octet below.
        while (e[3] < 0) {
            e[3] += 254;
            --e[2];
        }
        while (e[2] < 0) {
            e[2] += 256;
            --e[1];
        }
        while (e[1] < 0) {
            e[1] += 256;
            --e[0];
        }
        // x.y.z.0 lies at the same distance as x.y.(z-1).254.
        if (e[3] == 0 && e[2] > 0) {
            --e[2];
            e[3] = 254;
        }
    }
    // "%d.%d.%d.%d": every part fits an int, so the text fits IP_END_SIZE.
    unsigned pos = 0;
    for (int i = 0; i < 4; ++i) {
        char part_text[DEC_TEXT_SIZE];
        unsigned len = dec_text(part_text, e[i]);
        if (pos + len + (i > 0) >= IP_END_SIZE)  // keep room for the end mark
            break;
        if (i > 0)
            out[pos++] = '.';
        copy_bytes(out + pos, part_text, len);
        pos += len;
    }
    out[pos] = '\0';
}
