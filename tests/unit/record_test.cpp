// Byte-level layout of the packed port record.
#include <cstring>

#include <gtest/gtest.h>

#include "record.h"

namespace {

constexpr unsigned kSize = 768;

// A record at an odd address, filled with a pattern, so unaligned access
// and stray writes both show.
struct Buffer {
    unsigned char raw[kSize + 1];
    unsigned char before[kSize + 1];
    PortInfo *rec() { return reinterpret_cast<PortInfo *>(raw + 1); }
    Buffer()
    {
        for (unsigned i = 0; i < sizeof raw; ++i)
            raw[i] = static_cast<unsigned char>(i * 7 + 3);
        std::memcpy(before, raw, sizeof raw);
    }
    // Every byte outside [off, off+len) of the record is unchanged.
    void expect_only(unsigned off, unsigned len)
    {
        for (unsigned i = 0; i < sizeof raw; ++i) {
            if (i >= off + 1 && i < off + 1 + len)
                continue;
            ASSERT_EQ(raw[i], before[i]) << "byte " << (i - 1) << " changed";
        }
    }
    const unsigned char *at(unsigned off) { return raw + 1 + off; }
};

TEST(Record, PortIsNetworkOrder)
{
    Buffer b;
    pi_set_port(b.rec(), PI_NET_ADDR, 502);
    EXPECT_EQ(b.at(70)[0], 0x01);
    EXPECT_EQ(b.at(70)[1], 0xF6);
    EXPECT_EQ(pi_port(b.rec(), PI_NET_ADDR), 502);
    b.expect_only(70, 2);
}

TEST(Record, AddressBytesAreWireOrder)
{
    Buffer b;
    const unsigned char want[] = {192, 168, 1, 10};
    // The word puts the first octet in the low byte.
    pi_set_addr(b.rec(), PI_LINK(1), 192u | 168u << 8 | 1u << 16 | 10u << 24);
    EXPECT_EQ(std::memcmp(b.at(520), want, 4), 0);
    EXPECT_EQ(pi_addr(b.rec(), PI_LINK(1)), 192u | 168u << 8 | 1u << 16 | 10u << 24);
    b.expect_only(520, 4);

    Buffer c;
    uint32_t net;
    std::memcpy(&net, want, 4);  // as inet_addr returns it
    pi_set_inaddr(c.rec(), PI_LINK(1), net);
    EXPECT_EQ(std::memcmp(c.at(520), want, 4), 0);
    c.expect_only(520, 4);
}

TEST(Record, PortModeIsLittleEndianWord)
{
    Buffer b;
    pi_set_i32(b.rec(), PI_PORT_MODE, PORT_UDP_MODE);
    const unsigned char want[] = {2, 0, 0, 0};
    EXPECT_EQ(std::memcmp(b.at(8), want, 4), 0);
    b.expect_only(8, 4);

    pi_set_i32(b.rec(), PI_HOST_CNT_AT(3), -2);
    const unsigned char neg[] = {0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(b.at(576), neg, 4), 0);
    EXPECT_EQ(pi_i32(b.rec(), PI_HOST_CNT_AT(3)), -2);
}

TEST(Record, ConnectOnKeepsTheLibrarysBits)
{
    Buffer b;
    pi_set_u32(b.rec(), PI_FLAGS, 0);
    pi_set_flag(b.rec(), PI_FLAG_CONNECT_ON, true);
    const unsigned char want[] = {0x00, 0x00, 0x00, 0x04};
    EXPECT_EQ(std::memcmp(b.at(740), want, 4), 0);

    pi_set_u32(b.rec(), PI_FLAGS, 0x80000001u);
    pi_set_flag(b.rec(), PI_FLAG_CONNECT_ON, true);
    EXPECT_EQ(pi_u32(b.rec(), PI_FLAGS), 0x84000001u);
    pi_set_flag(b.rec(), PI_FLAG_CONNECT_ON, false);
    EXPECT_EQ(pi_u32(b.rec(), PI_FLAGS), 0x80000001u);
    b.expect_only(740, 4);
}

}  // namespace
