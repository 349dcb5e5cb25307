// Address arithmetic of the UDP destination ranges and the address text.
#include <arpa/inet.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "ipcalc.h"

namespace {

// Address word of dotted text: the first octet in the low byte.
uint32_t word_of(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return a | b << 8 | c << 16 | d << 24;
}

std::string end_of(const char *start, int count)
{
    char out[IP_TEXT_SIZE];
    std::memset(out, 'X', sizeof out);
    calcIpEnd(start, count, out);
    return out;
}

int count_of(const char *start, const char *end)
{
    char buf[IP_TEXT_SIZE] = {};
    std::snprintf(buf, sizeof buf, "%s", start);
    return calcIpCnt(buf, end);
}

// ---- inet_neta2 ----

struct NetaCase {
    const char *what;
    uint32_t word;
    unsigned size;
    const char *text;  // null: the call fails
};

const NetaCase kNeta[] = {
    {"plain", word_of(192, 168, 1, 1), 256, "192.168.1.1"},
    {"zero octets inside are written", word_of(10, 0, 0, 1), 256, "10.0.0.1"},
    {"leading zero octets are written", word_of(0, 0, 0, 1), 256, "0.0.0.1"},
    {"zero word", 0, 256, "0.0.0.0"},
    {"all ones", 0xFFFFFFFFu, 256, "255.255.255.255"},
    {"one trailing zero octet left out", word_of(192, 168, 1, 0), 256, "192.168.1"},
    {"three trailing zero octets left out", word_of(10, 0, 0, 0), 256, "10"},
    {"zero first octet then trailing zeros", word_of(0, 1, 0, 0), 256, "0.1"},
    {"size 15 fits 192.168.1.1", word_of(192, 168, 1, 1), 15, "192.168.1.1"},
    {"size 13 is too small for 192.168.1.1", word_of(192, 168, 1, 1), 13, nullptr},
    {"size 17 fits the longest text", 0xFFFFFFFFu, 17, "255.255.255.255"},
    {"size 16 leaves too little before the last octet", 0xFFFFFFFFu, 16, nullptr},
    {"size 8 fits the zero address", 0, 8, "0.0.0.0"},
    {"size 7 is too small for the zero address", 0, 7, nullptr},
    {"size 5 fits one short octet", word_of(7, 0, 0, 0), 5, "7"},
    {"size 4 fails before the first octet", word_of(7, 0, 0, 0), 4, nullptr},
    {"size 0", word_of(1, 2, 3, 4), 0, nullptr},
};

TEST(InetNeta2, Table)
{
    for (const NetaCase &c : kNeta) {
        SCOPED_TRACE(c.what);
        char buf[IP_TEXT_SIZE + 1];
        std::memset(buf, 'X', sizeof buf);
        char *r = inet_neta2(c.word, buf, c.size);
        // Nothing beyond the given size is touched.
        for (unsigned i = c.size; i < sizeof buf; ++i)
            ASSERT_EQ(buf[i], 'X') << "byte " << i;
        if (c.text) {
            ASSERT_EQ(r, buf);
            EXPECT_STREQ(buf, c.text);
        } else {
            EXPECT_EQ(r, nullptr);
        }
    }
}

TEST(InetNeta2, FailureLeavesTheOctetsWrittenSoFarTerminated)
{
    char buf[13];
    EXPECT_EQ(inet_neta2(word_of(192, 168, 1, 1), buf, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "192.168.1.");
}

// Every word whose fourth octet is set renders as inet_ntoa renders it.
TEST(InetNeta2, AgreesWithInetNtoaWhenNoOctetIsLeftOut)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
        uint32_t w = static_cast<uint32_t>(rng()) | 0x01000000u;
        char buf[IP_TEXT_SIZE];
        ASSERT_NE(inet_neta2(w, buf, sizeof buf), nullptr);
        // The word's bytes, low byte first, are the wire bytes.
        unsigned char b[4] = {static_cast<unsigned char>(w), static_cast<unsigned char>(w >> 8),
                              static_cast<unsigned char>(w >> 16),
                              static_cast<unsigned char>(w >> 24)};
        in_addr a;
        std::memcpy(&a.s_addr, b, 4);
        ASSERT_STREQ(buf, inet_ntoa(a));
    }
}

// ---- calcIpEnd ----

struct EndCase {
    const char *what;
    const char *start;
    int count;
    const char *end;
};

const EndCase kEnd[] = {
    {"count 1 is the start", "192.168.1.1", 1, "192.168.1.1"},
    {"count 0 is the start", "192.168.1.1", 0, "192.168.1.1"},
    {"negative count is the start", "192.168.1.1", -3, "192.168.1.1"},
    {"INT_MIN count is the start", "192.168.1.1", INT_MIN, "192.168.1.1"},
    {"ten addresses", "192.168.1.1", 10, "192.168.1.10"},
    {"fills the third-octet value", "192.168.1.1", 254, "192.168.1.254"},
    {"one more moves to .1 of the next", "192.168.1.1", 255, "192.168.2.1"},
    {"two third-octet values", "192.168.1.1", 508, "192.168.2.254"},
    {"start of the third", "192.168.1.1", 509, "192.168.3.1"},
    {"fourth octet 255 stays", "192.168.1.200", 56, "192.168.1.255"},
    {"past 255 carries by 254", "192.168.1.200", 57, "192.168.2.2"},
    {"start .0 count 1", "192.168.1.0", 1, "192.168.1.0"},
    {"start .0 count 2", "192.168.1.0", 2, "192.168.1.1"},
    {"start .0 count 255", "192.168.1.0", 255, "192.168.1.254"},
    {"start .0 count 256", "10.0.1.0", 256, "10.0.2.1"},
    {"carry into the second octet", "192.168.255.1", 255, "192.169.0.1"},
    {"carry into the first octet", "10.255.255.1", 255, "11.0.0.1"},
    {"one second-octet step", "10.0.0.1", 65025, "10.1.0.1"},
    {"one first-octet step", "10.0.0.1", 16646145, "11.0.0.1"},
    {"carry followed by borrow", "10.0.200.1", 15251, "10.1.4.11"},
    {"truncating division after a carry", "127.0.100.254", 49532, "127.1.40.1"},
    {"short start text reads missing parts as 0", "192.168.1", 3, "192.168.1.2"},
    {"zero start", "0.0.0.0", 5, "0.0.0.4"},
    {"zero end becomes 254 of the previous value", "10.0.0.1", 254, "10.0.0.254"},
    {"largest count from zero", "0.0.0.0", INT_MAX, "129.2.4.6"},
    {"largest count from the top", "255.255.255.255", INT_MAX, "385.2.4.7"},
    // The first octet is not bounded: the text shows the range runs past the
    // top of the address space.
    {"past the top of the address space", "255.255.255.255", 2, "256.0.0.2"},
    {"count 1 keeps parts as read", "1.2.3.300", 1, "1.2.3.300"},
    {"count 1 keeps saturated parts", "99999999999.-99999999999.3.4", 1,
     "2147483647.-2147483648.3.4"},
    {"more than four parts is no address", "1.2.3.4.5", 3, ""},
    {"trailing dot opens a fifth part", "1.2.3.4.", 3, ""},
    {"part longer than 15 characters", "1.2.3.0000000000000004", 3, ""},
    {"octet above 255 with arithmetic", "0.0.0.2147483647", 2, ""},
    {"negative octet with arithmetic", "1.-2.3.4", 2, ""},
};

TEST(CalcIpEnd, Table)
{
    for (const EndCase &c : kEnd) {
        SCOPED_TRACE(std::string(c.what) + ": " + c.start + " count " + std::to_string(c.count));
        EXPECT_EQ(end_of(c.start, c.count), c.end);
    }
}

TEST(CalcIpEnd, OutputMayBeTheStartBuffer)
{
    char buf[IP_TEXT_SIZE] = "10.0.200.1";
    calcIpEnd(buf, 15251, buf);
    EXPECT_STREQ(buf, "10.1.4.11");
}

TEST(CalcIpEnd, LongestTextFitsItsBuffer)
{
    char out[IP_END_SIZE + 8];
    std::memset(out, 'X', sizeof out);
    calcIpEnd("-2147483648.-2147483648.-2147483648.-2147483648", 1, out);
    EXPECT_STREQ(out, "-2147483648.-2147483648.-2147483648.-2147483648");
    EXPECT_EQ(std::strlen(out), static_cast<size_t>(IP_END_SIZE - 1));
    for (size_t i = IP_END_SIZE; i < sizeof out; ++i)
        EXPECT_EQ(out[i], 'X');
}

// ---- calcIpCnt ----

struct CountCase {
    const char *what;
    const char *start;  // null: missing
    const char *end;    // null: missing
    int count;
};

const CountCase kCount[] = {
    {"same address", "192.168.1.1", "192.168.1.1", 1},
    {"ten", "192.168.1.1", "192.168.1.10", 10},
    {"to .254", "192.168.1.1", "192.168.1.254", 254},
    {"to .255", "192.168.1.1", "192.168.1.255", 255},
    {".255 and next .1 weigh the same", "192.168.1.1", "192.168.2.1", 255},
    {"next .0", "192.168.1.1", "192.168.2.0", 254},
    {"end below start", "192.168.1.10", "192.168.1.1", 0},
    {"weighted distance below 0", "192.168.2.1", "192.168.1.254", 0},
    {"weighted distance 0", "192.168.2.1", "192.168.1.255", 1},
    {"lower first octet", "192.168.1.1", "191.255.255.255", 0},
    {"carry and borrow", "10.0.200.1", "10.1.4.11", 15251},
    {"one first-octet step", "10.0.0.1", "11.0.0.1", 16646145},
    {"from zero", "0.0.0.0", "10.0.0.1", 166461442},
    {"more than INT32_MAX addresses", "0.0.0.0", "192.168.1.10", 0},
    {"largest count", "0.0.0.0", "129.2.4.6", INT_MAX},
    {"one past the largest count", "0.0.0.0", "129.2.4.7", 0},
    {"empty end", "1.2.3.4", "", 1},
    {"blank-led end", "1.2.3.4", " 9.9.9.9", 1},
    {"missing end", "1.2.3.4", nullptr, 1},
    {"missing start", nullptr, "1.2.3.4", 1},
    {"blank after a number ends the part", "1.2.3.4", "1.2.3.9 x", 6},
    {"fourth part taken as read", "1.2.3.4", "1.2.3.300", 297},
    {"trailing letters ignored", "1.2.3.4", "1.2.3.4x", 1},
    {"empty part reads 0", "1.2.3.4", "1..3.4", 0},
    {"short start text", "192.168.1", "192.168.1.5", 6},
    {"more than four parts", "1.2.3.4", "1.2.3.4.5", 0},
    {"trailing dot", "1.2.3.4", "1.2.3.9.", 0},
    {"start with more than four parts", "1.2.3.4.5", "1.2.3.9", 0},
    {"part longer than 15 characters", "1.2.3.4", "1.2.3.0000000000000009", 0},
    {"part of exactly 15 characters", "1.2.3.4", "1.2.3.000000000000009", 6},
    {"saturated first part", "1.2.3.4", "99999999999.0.0.0", 0},
    {"INT_MIN parts", "-2147483648.-2147483648.0.0", "2147483647.2147483647.0.0", 0},
    {"large negative distance", "2147483647.0.0.0", "2147483647.-2147483648.0.0", 0},
};

TEST(CalcIpCnt, Table)
{
    for (const CountCase &c : kCount) {
        SCOPED_TRACE(std::string(c.what) + ": " + (c.start ? c.start : "(null)") + " to " +
                     (c.end ? c.end : "(null)"));
        if (!c.start) {
            EXPECT_EQ(calcIpCnt(nullptr, c.end), c.count);
            continue;
        }
        EXPECT_EQ(count_of(c.start, c.end), c.count);
    }
}

TEST(CalcIpCnt, EmptyOrBlankStartBecomesZeroAddress)
{
    const char *starts[] = {"", " 1.2.3.4"};
    for (const char *s : starts) {
        SCOPED_TRACE(std::string("start '") + s + "'");
        char buf[IP_TEXT_SIZE] = {};
        std::snprintf(buf, sizeof buf, "%s", s);
        EXPECT_EQ(calcIpCnt(buf, "10.0.0.1"), 1);
        EXPECT_STREQ(buf, "0.0.0.0");
    }
}

// ---- the two calculations together ----

TEST(RangeArithmetic, CountOfComputedEndGivesTheCountBack)
{
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> octet(0, 255);
    std::uniform_int_distribution<int> small(1, 70000);
    std::uniform_int_distribution<int> any(1, INT_MAX);
    int checked = 0;
    for (int i = 0; i < 5000; ++i) {
        char start[IP_TEXT_SIZE];
        std::snprintf(start, sizeof start, "%d.%d.%d.%d", octet(rng), octet(rng), octet(rng),
                      octet(rng));
        int count = (i % 2) ? small(rng) : any(rng);
        char end[IP_TEXT_SIZE];
        calcIpEnd(start, count, end);
        int first = 0;
        ASSERT_EQ(std::sscanf(end, "%d.", &first), 1) << start << " count " << count;
        if (first > 255)
            continue;
        ++checked;
        ASSERT_EQ(count_of(start, end), count) << start << " count " << count << " end " << end;
    }
    EXPECT_GT(checked, 2500);
}

// ---- malformed text ----

std::string random_text(std::mt19937 &rng)
{
    static const char kAlphabet[] = "0123456789....+-  \tx";
    std::string s;
    switch (rng() % 4) {
    case 0: {  // plausible address with odd parts
        int parts = 1 + rng() % 7;
        for (int p = 0; p < parts; ++p) {
            if (p)
                s += '.';
            if (rng() % 5 == 0)
                s += std::to_string(static_cast<long long>(rng()) * 4096 - 8000000000LL);
            else
                s += std::to_string(rng() % 300);
        }
        break;
    }
    case 1: {  // long runs of dots or digits
        int n = rng() % 400;
        char c = (rng() % 2) ? '.' : '9';
        s.assign(static_cast<size_t>(n), c);
        break;
    }
    default: {
        int n = rng() % 80;
        for (int k = 0; k < n; ++k)
            s += kAlphabet[rng() % (sizeof kAlphabet - 1)];
        break;
    }
    }
    return s;
}

// Under the sanitizer build any write past a buffer or signed overflow
// fails here; the checks below pin the results that must hold for all text.
TEST(RangeArithmetic, MalformedTextIsHandledSafely)
{
    std::mt19937 rng(99);
    const int counts[] = {INT_MIN, -1, 0, 1, 2, 255, 65025, INT_MAX};
    for (int i = 0; i < 5000; ++i) {
        std::string a = random_text(rng);
        std::string b = random_text(rng);
        SCOPED_TRACE("'" + a + "' / '" + b + "'");

        // Exact-size heap copies, so a read or write past them shows.
        std::string start_copy = a.size() < 8 ? a + std::string(8 - a.size(), '\0') : a;
        char *start = new char[start_copy.size() + 1];
        std::memcpy(start, start_copy.c_str(), start_copy.size() + 1);
        int n = calcIpCnt(start, b.c_str());
        EXPECT_GE(n, 0);
        delete[] start;

        char *out = new char[IP_END_SIZE];
        int count = counts[rng() % (sizeof counts / sizeof counts[0])];
        calcIpEnd(a.c_str(), count, out);
        EXPECT_LT(std::strlen(out), static_cast<size_t>(IP_END_SIZE));
        delete[] out;
    }
}

}  // namespace
