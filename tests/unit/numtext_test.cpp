#include <climits>
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "numtext.h"

namespace {

struct Case {
    const char *what;
    const char *text;
    int value;
};

// The same table runs on the 64-bit host and the 32-bit device target.
const Case kCases[] = {
    {"plain", "502", 502},
    {"negative", "-1", -1},
    {"explicit plus", "+7", 7},
    {"leading blanks and tabs", " \t\n 42", 42},
    {"digits then letters", "12abc", 12},
    {"letters only", "abc", 0},
    {"empty", "", 0},
    {"sign alone", "-", 0},
    {"blank after sign", "- 5", 0},
    {"two signs", "+-5", 0},
    {"leading zeros", "000123", 123},
    {"INT_MAX", "2147483647", INT_MAX},
    {"INT_MIN", "-2147483648", INT_MIN},
    {"just above INT_MAX saturates", "2147483648", INT_MAX},
    {"just below INT_MIN saturates", "-2147483649", INT_MIN},
    {"beyond 64 bits saturates", "99999999999999999999999999", INT_MAX},
    {"very negative saturates", "-99999999999999999999999999", INT_MIN},
    {"stops at dot", "192.168", 192},
    {"blank inside ends the number", "1 2", 1},
    {"vertical tab and form feed are blanks", "\v\f9", 9},
    {"high-bit byte is not a blank", "\xa0" "5", 0},
};

TEST(DecValue, Table)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(dec_value(c.text), c.value);
    }
}

TEST(DecValue, NullReadsAsZero)
{
    EXPECT_EQ(dec_value(nullptr), 0);
}

}  // namespace

namespace {

TEST(DecText, MatchesPrintf)
{
    const long long values[] = {0, 7, -7, 10, 255, 4464, 65535, -2147483647 - 1, 2147483647,
                                4294967296LL, -9223372036854775807LL - 1, 9223372036854775807LL};
    for (long long v : values) {
        SCOPED_TRACE(v);
        char want[32];
        std::snprintf(want, sizeof want, "%lld", v);
        char got[DEC_TEXT_SIZE];
        EXPECT_EQ(dec_text(got, v), std::strlen(want));
        EXPECT_STREQ(got, want);
    }
}

}  // namespace
