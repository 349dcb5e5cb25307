// Pure functions: the decimal conversion every number from text goes
// through, the address text and the address arithmetic of the UDP
// destination ranges, and the message catalogues the build compiled in.
// (The reading of numbers and addresses as fields take them: fields_test.)
// The same tables run on the 64-bit host and the 32-bit device target.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "catalogues.h"
#include "ipcalc.h"
#include "messages.h"
#include "numtext.h"

namespace {

TEST(DecValue, Table)
{
    // strict: whether dec_strict takes the text, and then its value, which
    // tells numbers beyond 32 bits apart.
    struct Case { const char *what, *text; int value; bool strict; long long wide = 0; } cases[] = {
        {"blanks and tabs around", " \t\n 42 \r", 42, true, 42},
        {"vertical tab, form feed and carriage return are blanks", "\v\f\r9", 9, true, 9},
        {"high-bit byte is not a blank", "\xa0" "5", 0, false},
        {"null", nullptr, 0, false},
        {"digits and letters", "12abc", 12, false},
        {"INT_MIN", "-2147483648", INT_MIN, true, INT_MIN},
        {"just above INT_MAX saturates", "2147483648", INT_MAX, true, 2147483648ll},
        {"just below INT_MIN saturates", "-2147483649", INT_MIN, true, -2147483649ll},
        {"beyond 64 bits saturates", "99999999999999999999999999", INT_MAX, true, DEC_WIDE_LIMIT},
        {"far below saturates", "-99999999999999999999999999", INT_MIN, true, -DEC_WIDE_LIMIT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(dec_value(c.text), c.value);
        long long wide = -1;
        EXPECT_EQ(dec_strict(c.text, &wide), c.strict);
        EXPECT_EQ(wide, c.strict ? c.wide : -1);
    }
}

// Address word of dotted text: the first octet in the low byte.
constexpr uint32_t word_of(unsigned a, unsigned b, unsigned c, unsigned d) { return a | b << 8 | c << 16 | d << 24; }

TEST(InetNeta2, Table)
{
    // The buffer afterwards is text, also after a failure.
    struct Case { const char *what; uint32_t word; unsigned size; bool ok; const char *text; } cases[] = {
        {"zero octets inside are written", word_of(10, 0, 0, 1), 256, true, "10.0.0.1"},
        {"size 17 fits the longest text", 0xFFFFFFFFu, 17, true, "255.255.255.255"},
        {"size 16 fails before the last octet", 0xFFFFFFFFu, 16, false, "255.255.255."},
        {"size 0 writes nothing", word_of(1, 2, 3, 4), 0, false, ""},
        {"size 8 fits the zero address", 0, 8, true, "0.0.0.0"},
        {"size 7 does not", 0, 7, false, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        char buf[IP_TEXT_SIZE + 1] = {};
        std::memset(buf, 'X', IP_TEXT_SIZE);
        EXPECT_EQ(inet_neta2(c.word, buf, c.size), c.ok ? buf : nullptr);
        // Nothing beyond the given size is touched.
        EXPECT_EQ(std::strspn(buf + c.size, "X"), IP_TEXT_SIZE - c.size);
        EXPECT_STREQ(c.size ? buf : "", c.text);
    }
}

// Rows run both ways unless marked: calcIpEnd of start and count gives the
// end, and calcIpCnt of start and end gives the count.
enum Way { kBoth, kEndOnly, kCountOnly };

TEST(RangeArithmetic, Table)
{
    static const char kLongest[] = "-2147483648.-2147483648.-2147483648.-2147483648";
    static_assert(sizeof kLongest == IP_END_SIZE);
    struct Case { const char *what, *start; int count; const char *end; Way way = kBoth; } cases[] = {
        {"one more moves to .1 of the next", "192.168.1.1", 255, "192.168.2.1"},
        {"fourth octet 255 stays", "192.168.1.200", 56, "192.168.1.255"},
        {"third octet 255 stays too (172.17.0.1 lies as far)", "172.16.9.8", 62732, "172.16.255.255"},
        {"past 255 carries by 254", "192.168.1.200", 57, "192.168.2.2"},
        {"zero end on a third-octet boundary", "10.0.0.0", 255, "10.0.0.254"},
        {"zero end kept where the third octet is 0", "110.189.87.166", 4724489, "111.6.0.0"},
        {"carry into the first octet", "10.255.255.1", 255, "11.0.0.1"},
        {"fourth-octet carry takes the third to 256", "10.0.255.200", 101, "10.1.0.46"},
        {"carry followed by borrow", "10.0.200.1", 15251, "10.1.4.11"},
        // Worked by hand: (91-23)*16646144 + (69-239)*65024 + (75-25)*254 + (20-243) + 1.
        {"borrow into the third octet", "23.239.25.243", 1120896190, "91.69.75.20"},
        {"short start text reads missing parts as 0", "192.168.1", 6, "192.168.1.5"},
        {"largest count", "0.0.0.0", INT_MAX, "129.2.4.6"},
        // The first octet is not bounded: the text shows the range runs past
        // the top of the address space.
        {"past the top of the address space", "255.255.255.255", 2, "256.0.0.2"},
        {"count 1 keeps parts as read; longest text", kLongest, 1, kLongest},

        {"INT_MIN count is the start", "192.168.1.1", INT_MIN, "192.168.1.1", kEndOnly},
        {"octet above 255 with arithmetic", "0.0.0.256", 2, "", kEndOnly},
        {"negative octet with arithmetic", "1.-2.3.4", 2, "", kEndOnly},

        {"weighted distance 0", "192.168.2.1", 1, "192.168.1.255", kCountOnly},
        {"lower first octet outweighs a large fourth part", "2.0.0.0", 0, "1.0.0.20000000", kCountOnly},
        {"one past the largest count", "0.0.0.0", 0, "129.2.4.7", kCountOnly},
        {"start with more than four parts", "1.2.3.4.5", 0, "1.2.3.9", kCountOnly},
        // Cut at 15 characters, the part would read as 0 and the count as 254.
        {"end part longer than 15 characters", "1.2.2.1", 0, "1.2.3.0000000000000009", kCountOnly},
        {"INT_MIN parts", "-2147483648.-2147483648.0.0", 0, "2147483647.2147483647.0.0", kCountOnly},
        {"large negative distance", "2147483647.0.0.0", 0, "2147483647.-2147483648.0.0", kCountOnly},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.way != kCountOnly) {
            // In the start's own buffer, which the output may be.
            char out[IP_TEXT_SIZE];
            std::memset(out, 'X', sizeof out);
            std::strcpy(out, c.start);
            calcIpEnd(out, c.count, out);
            EXPECT_STREQ(out, c.end);
            EXPECT_EQ(out[IP_END_SIZE], 'X');
            // The same end as a word, from a start the pages take; none past
            // 255.255.255.255.
            uint32_t start = 0, end = 0, want = 0;
            if (read_address(c.start, &start)) {
                const bool ok = read_address(c.end, &want);
                EXPECT_EQ(range_end_word(start, c.count, &end), ok);
                EXPECT_EQ(end, ok ? want : 0);
            }
        }
        if (c.way != kEndOnly) {
            char start[IP_TEXT_SIZE] = {};
            std::strcpy(start, c.start);
            EXPECT_EQ(calcIpCnt(start, c.end), c.count);
            EXPECT_STREQ(start, c.start);  // the start is left as it was
        }
    }
}

// Each catalogue compiled in holds every row of S2N_MESSAGES, whatever rows
// the header has: a row the build's extraction missed would show in English.
TEST(MessageCatalogues, HoldEveryMessageRow)
{
    ASSERT_GE(message_catalogue_count, 1u);  // German at least
    for (unsigned c = 0; c < message_catalogue_count; ++c) {
        const MessageCatalogue &cat = message_catalogues[c];
        for (unsigned i = 0; i < s2n_message_count; ++i) {
            unsigned k = cat.first, end = cat.first + cat.count;
            while (k < end && std::strcmp(message_texts + message_rows[k].text, s2n_messages[i]) != 0)
                ++k;
            EXPECT_LT(k, end) << cat.lang << ": " << s2n_messages[i];
        }
    }
}

}  // namespace
