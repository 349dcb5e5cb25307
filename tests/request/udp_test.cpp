// UDP page: the port's UDP port and the four destination ranges, shown and
// saved through whole requests.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "state.h"
#include "tags.h"

namespace {

using fake::P;

const char kEndBeforeStart[] = "end ip must more than start ip";
const char kUdpPage[] = "en/s2n_service_mode_udp.htm";

// Every UDP tag of the page, in table order, separated by "|".
const char kAllTags[] =
    "<%udp_port%>|<%HostStartIp1%>|<%HostEndIp1%>|<%SendPort1%>|<%HostStartIp2%>|"
    "<%HostEndIp2%>|<%SendPort2%>|<%HostStartIp3%>|<%HostEndIp3%>|<%SendPort3%>|"
    "<%HostStartIp4%>|<%HostEndIp4%>|<%SendPort4%>";

std::string range_tags(int k)
{
    std::string n = std::to_string(k + 1);
    return "<%HostStartIp" + n + "%>|<%HostEndIp" + n + "%>|<%SendPort" + n + "%>";
}

std::string page_of(const fake::Result &r)
{
    size_t body = r.out.find("\n\n");
    return body == std::string::npos ? r.out : r.out.substr(body + 2);
}

class Udp : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::reset();
        // Port 0 already runs UDP, so a UDP save changes no byte but the
        // ones these tags own.
        fake::wr32(P().ports[0], PI_PORT_MODE, PORT_UDP_MODE);
        P().mbus_mode[0] = PORT_UDP_MODE;
        P().templates[kUdpPage] = kAllTags;
    }

    static void set_range(int k, const char *start, int count, uint16_t port = 0)
    {
        fake::wr_ip(P().ports[0], PI_LINK(k), start);
        fake::wr32(P().ports[0], PI_HOST_CNT_AT(k), count);
        fake::wr_port(P().ports[0], PI_LINK(k), port);
    }

    // A UDP save of port 0 with the given fields.
    static fake::Result udp_save(const std::vector<std::pair<std::string, std::string>> &fields,
                                 const char *mode = "4")
    {
        fake::field("todo", "save");
        if (mode)
            fake::field("h_ServiceMode", mode);
        for (const auto &f : fields)
            fake::field(f.first, f.second);
        return fake::run_request();
    }

    static const fake::Port &mem() { return P().rendered_ports[0]; }
};

TEST_F(Udp, RangeTagsOfEveryRange)
{
    struct Case {
        const char *what;
        const char *start;
        int count;
        const char *page;  // start|end|port
    } cases[] = {
        {"ten addresses", "192.168.1.1", 10, "192.168.1.1|192.168.1.10|5000"},
        {"trailing zero octet shortens the start only", "192.168.1.0", 1,
         "192.168.1|192.168.1.0|5000"},
        {"unset start with a count", "0.0.0.0", 5, "|0.0.0.4|5000"},
        {"unset start", "0.0.0.0", 1, "||5000"},
        {"rejected start", "255.255.255.255", 1, "||5000"},
        {"rejected start, count 0", "255.255.255.255", 0, "||5000"},
        // The first octet is not bounded: the end shows that the range runs
        // past the top of the address space.
        {"range past the top", "255.255.255.255", 2, "|256.0.0.2|5000"},
        {"count INT_MIN is a single address", "10.0.0.1", INT_MIN, "10.0.0.1|10.0.0.1|5000"},
        {"largest count", "10.0.0.1", INT_MAX, "10.0.0.1|139.2.4.7|5000"},
    };
    for (int k = 0; k < 4; ++k) {
        for (const Case &c : cases) {
            SCOPED_TRACE("range " + std::to_string(k + 1) + ": " + c.what);
            SetUp();
            set_range(k, c.start, c.count, 5000);
            P().templates[kUdpPage] = range_tags(k);
            EXPECT_EQ(page_of(fake::run_request()), c.page);
        }
    }
}

TEST_F(Udp, MissingRecordShowsAndChangesNothing)
{
    P().port_missing[0] = true;
    fake::field("next_page", "s2n_service_mode_udp.htm");
    fake::Result r = udp_save({{"udp_port", "9"}, {"HostStartIp1", "1.2.3.4"},
                               {"HostEndIp1", "1.2.3.1"}, {"SendPort1", "9"}});
    EXPECT_EQ(page_of(r), "||||||||||||");
    EXPECT_EQ(ret_msg, nullptr);
}

TEST_F(Udp, ReversedRangeKeepsOneAddressAndStoresNothing)
{
    fake::Result r = udp_save({{"HostStartIp1", "192.168.1.10"},
                               {"HostEndIp1", "192.168.1.5"},
                               {"SendPort4", "7000"}});
    ASSERT_NE(ret_msg, nullptr);
    EXPECT_STREQ(ret_msg, kEndBeforeStart);
    EXPECT_EQ(fake::rd_ip(mem(), PI_LINK(0)), "192.168.1.10");
    EXPECT_EQ(fake::rd32(mem(), PI_HOST_CNT_AT(0)), 1);
    EXPECT_EQ(fake::rd_port(mem(), PI_LINK(3)), 7000) << "later setters still run";
    EXPECT_FALSE(P().saved);
    EXPECT_EQ(page_of(r), "4001|192.168.1.10|192.168.1.10|0|||0|||0|||7000");
}

TEST_F(Udp, RefusedEndTexts)
{
    static const std::string kManyDots(3000, '.');
    struct Case {
        const char *what;
        const char *start;  // form value of the start field
        const char *end;
        int count;
        bool refused;
    } cases[] = {
        {"lower third octet", "192.168.2.1", "192.168.1.254", 1, true},
        {"lower first octet", "192.168.1.1", "191.255.255.255", 1, true},
        {"more than INT32_MAX addresses", "", "192.168.1.10", 1, true},
        {"five parts", "10.0.0.1", "10.0.0.9.1", 1, true},
        {"trailing dot", "10.0.0.1", "10.0.0.9.", 1, true},
        {"part longer than 15 characters", "10.0.0.1", "10.0.0.0000000000000009", 1, true},
        {"many dots", "10.0.0.1", kManyDots.c_str(), 1, true},
        {"rejected start, other end", "bogus", "10.0.0.1", 1, true},
        {"rejected start, all-ones end", "bogus", "255.255.255.255", 1, false},
        {"empty end", "10.0.0.1", "", 1, false},
        {"blank-led end", "10.0.0.1", " 10.0.0.9", 1, false},
        {"end with trailing letters", "10.0.0.1", "10.0.0.9x", 9, false},
        {"short start text", "10.0.0.1", "10.0.1", 254, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        set_range(1, "1.1.1.1", 77);
        udp_save({{"HostStartIp2", c.start}, {"HostEndIp2", c.end}});
        EXPECT_EQ(fake::rd32(mem(), PI_HOST_CNT_AT(1)), c.count);
        if (c.refused) {
            ASSERT_NE(ret_msg, nullptr);
            EXPECT_STREQ(ret_msg, kEndBeforeStart);
            EXPECT_FALSE(P().saved);
        } else {
            EXPECT_EQ(ret_msg, nullptr);
        }
    }
}

TEST_F(Udp, BothFieldsEmptyClearTheRange)
{
    set_range(0, "192.168.1.1", 10);
    P().templates[kUdpPage] = range_tags(0);
    fake::Result r = udp_save({{"HostStartIp1", ""}, {"HostEndIp1", ""}});
    EXPECT_EQ(ret_msg, nullptr);
    EXPECT_EQ(fake::rd_ip(mem(), PI_LINK(0)), "0.0.0.0");
    EXPECT_EQ(fake::rd32(mem(), PI_HOST_CNT_AT(0)), 1);
    EXPECT_EQ(page_of(r), "||0");
}

TEST_F(Udp, NewStartWithoutEndKeepsTheCount)
{
    set_range(0, "192.168.1.1", 10);
    P().templates[kUdpPage] = range_tags(0);
    fake::Result r = udp_save({{"HostStartIp1", "192.168.5.1"}});
    EXPECT_EQ(fake::rd32(mem(), PI_HOST_CNT_AT(0)), 10);
    EXPECT_EQ(page_of(r), "192.168.5.1|192.168.5.10|0");
    EXPECT_EQ(ret_msg, nullptr);
}

TEST_F(Udp, StartTexts)
{
    struct Case {
        const char *what;
        const char *value;
        const char *stored;
        const char *shown;
    } cases[] = {
        {"plain", "10.20.30.40", "10.20.30.40", "10.20.30.40"},
        {"empty clears", "", "0.0.0.0", ""},
        {"all ones", "255.255.255.255", "255.255.255.255", ""},
        {"zero", "0.0.0.0", "0.0.0.0", ""},
        {"rejected text stores all ones", "not an address", "255.255.255.255", ""},
        {"shortened form reads back as shown", "192.168.1", "192.168.1.0", "192.168.1"},
        {"one octet", "10", "10.0.0.0", "10"},
        {"zero octet inside", "0.1", "0.1.0.0", "0.1"},
        {"octal-looking part goes to the address parser", "192.010", "192.0.0.8", "192.0.0.8"},
        {"octet above 255 goes to the address parser", "1.256", "1.0.1.0", "1.0.1"},
        {"trailing dot goes to the address parser", "10.1.", "255.255.255.255", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        set_range(0, "1.2.3.4", 1);
        P().templates[kUdpPage] = "<%HostStartIp1%>";
        fake::Result r = udp_save({{"HostStartIp1", c.value}});
        EXPECT_EQ(fake::rd_ip(mem(), PI_LINK(0)), c.stored);
        EXPECT_EQ(page_of(r), c.shown);
    }
}

// The page shortens 192.168.1.0 to "192.168.1"; sending the page back as it
// was shown keeps start and count.
TEST_F(Udp, PageSentBackUnchangedKeepsTheRange)
{
    set_range(0, "192.168.1.0", 5, 5000);
    set_range(1, "10.0.0.0", 300, 5001);
    P().templates[kUdpPage] = range_tags(0) + "|" + range_tags(1);
    std::string shown = page_of(fake::run_request());
    ASSERT_EQ(shown, "192.168.1|192.168.1.4|5000|10|10.0.1.45|5001");

    fake::reset();
    SetUp();
    udp_save({{"HostStartIp1", "192.168.1"}, {"HostEndIp1", "192.168.1.4"}, {"SendPort1", "5000"},
              {"HostStartIp2", "10"}, {"HostEndIp2", "10.0.1.45"}, {"SendPort2", "5001"}});
    EXPECT_EQ(ret_msg, nullptr);
    EXPECT_EQ(fake::rd_ip(mem(), PI_LINK(0)), "192.168.1.0");
    EXPECT_EQ(fake::rd32(mem(), PI_HOST_CNT_AT(0)), 5);
    EXPECT_EQ(fake::rd_ip(mem(), PI_LINK(1)), "10.0.0.0");
    EXPECT_EQ(fake::rd32(mem(), PI_HOST_CNT_AT(1)), 300);
}

TEST_F(Udp, PortsKeepTheirLow16Bits)
{
    struct Case {
        const char *value;
        uint16_t port;
    } cases[] = {
        {"5000", 5000}, {"0", 0},         {"65535", 65535}, {"65536", 0},
        {"70000", 4464}, {"-1", 65535},   {"abc", 0},       {"99999999999", 65535},
        {"-99999999999", 0},
    };
    const char *tags[] = {"udp_port", "SendPort1", "SendPort2", "SendPort3", "SendPort4"};
    const unsigned la[] = {PI_NET_ADDR, PI_LINK(0), PI_LINK(1), PI_LINK(2), PI_LINK(3)};
    for (int t = 0; t < 5; ++t) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(tags[t]) + " " + c.value);
            SetUp();
            P().templates[kUdpPage] = std::string("<%") + tags[t] + "%>";
            fake::Result r = udp_save({{tags[t], c.value}});
            EXPECT_EQ(fake::rd_port(mem(), la[t]), c.port);
            EXPECT_EQ(page_of(r), std::to_string(c.port));
        }
    }
}

TEST_F(Udp, OtherModesChangeNothing)
{
    const char *modes[] = {nullptr, "1", "2", "3", "5", "0", "abc"};
    for (const char *mode : modes) {
        SCOPED_TRACE(mode ? mode : "no mode field");
        SetUp();
        set_range(0, "10.0.0.1", 3, 1234);
        udp_save({{"udp_port", "9"},
                  {"HostStartIp1", "192.168.1.10"},
                  {"HostEndIp1", "192.168.1.5"},
                  {"SendPort1", "9"},
                  {"HostStartIp2", ""},
                  {"HostEndIp2", "1.1.1.1"},
                  {"SendPort2", "9"},
                  {"HostStartIp3", "1.1.1.1"},
                  {"HostEndIp3", ""},
                  {"SendPort3", "9"},
                  {"HostStartIp4", "1.1.1.1"},
                  {"HostEndIp4", "1.1.1.9"},
                  {"SendPort4", "9"}},
                 mode);
        EXPECT_EQ(ret_msg, nullptr);
        ASSERT_TRUE(P().rendered);
        // The UDP port, the four slots and the counts are as loaded.
        for (unsigned b = PI_NET_ADDR; b < PI_NET_ADDR + LA_SIZE; ++b)
            ASSERT_EQ(mem().bytes[b], P().ports[0].bytes[b]) << "byte " << b;
        for (unsigned b = PI_LINKS; b < PI_HOST_CNT_AT(4); ++b)
            ASSERT_EQ(mem().bytes[b], P().ports[0].bytes[b]) << "byte " << b;
    }
}

// A TCP client link and the UDP range of the same number are one slot.
TEST_F(Udp, SharedSlotShowsAsRange)
{
    fake::wr_ip(P().ports[0], PI_LINK(1), "10.1.1.1");
    fake::wr_port(P().ports[0], PI_LINK(1), 5001);
    fake::wr32(P().ports[0], PI_HOST_CNT_AT(1), 1);
    P().templates[kUdpPage] = range_tags(1);
    EXPECT_EQ(page_of(fake::run_request()), "10.1.1.1|10.1.1.1|5001");
}

TEST_F(Udp, ByteLayout)
{
    udp_save({{"udp_port", "6000"},
              {"HostStartIp1", "10.0.0.1"},   {"HostEndIp1", "10.0.0.10"},  {"SendPort1", "6001"},
              {"HostStartIp2", "10.0.1.1"},   {"HostEndIp2", "10.0.1.20"},  {"SendPort2", "6002"},
              {"HostStartIp3", "172.16.9.8"}, {"HostEndIp3", "172.17.0.1"}, {"SendPort3", "6003"},
              {"HostStartIp4", "192.0.2.1"},  {"HostEndIp4", "192.0.2.1"},  {"SendPort4", "258"}});
    ASSERT_EQ(ret_msg, nullptr);
    const fake::Port &p = mem();
    fake::Port want = P().ports[0];
    want.bytes[70] = 6000 >> 8;
    want.bytes[71] = 6000 & 0xFF;
    const unsigned char addr[4][4] = {{10, 0, 0, 1}, {10, 0, 1, 1}, {172, 16, 9, 8}, {192, 0, 2, 1}};
    const int port[4] = {6001, 6002, 6003, 258};
    const unsigned char cnt[4][4] = {
        {10, 0, 0, 0}, {20, 0, 0, 0}, {0x0C, 0xF5, 0, 0} /* 62732 */, {1, 0, 0, 0}};
    for (int k = 0; k < 4; ++k) {
        std::memcpy(want.bytes + 504 + 16 * k, addr[k], 4);
        want.bytes[502 + 16 * k] = static_cast<unsigned char>(port[k] >> 8);
        want.bytes[503 + 16 * k] = static_cast<unsigned char>(port[k]);
        std::memcpy(want.bytes + 564 + 4 * k, cnt[k], 4);
    }
    for (unsigned b = 0; b < fake::kPortSize; ++b)
        ASSERT_EQ(p.bytes[b], want.bytes[b]) << "byte " << b;
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(std::memcmp(P().rendered_ports[i].bytes, P().ports[i].bytes, fake::kPortSize), 0)
            << "port " << i;
}

// Random and malformed end texts through the end setter and the end getter,
// on a record allocated at exactly the fake's size so a stray write shows
// under the sanitizer build.
TEST_F(Udp, MalformedEndTextsAreHandledSafely)
{
    static const char kAlphabet[] = "0123456789.....+- x\t";
    std::mt19937 rng(4242);
    auto *rec = static_cast<unsigned char *>(std::malloc(fake::kPortSize));
    std::memcpy(rec, P().ports[0].bytes, fake::kPortSize);
    pPortInfo[0] = reinterpret_cast<PortInfo *>(rec);
    iPortIndex = 0;
    iServiceMode = 4;

    std::fflush(stdout);
    FILE *saved = stdout;
    char *out = nullptr;
    size_t len = 0;
    stdout = open_memstream(&out, &len);
    for (int i = 0; i < 4000; ++i) {
        std::string text;
        switch (i % 3) {
        case 0:
            for (int n = static_cast<int>(rng() % 60); n > 0; --n)
                text += kAlphabet[rng() % (sizeof kAlphabet - 1)];
            break;
        case 1:
            text.assign(rng() % 2000, (rng() % 2) ? '.' : '7');
            break;
        default:
            for (int p = static_cast<int>(1 + rng() % 6); p > 0; --p)
                text += std::to_string(static_cast<long long>(rng()) * 9973 -
                                       20000000000LL) + ".";
            break;
        }
        // Random starts too, including all ones and the zero address.
        uint32_t start = (i % 5 == 0) ? 0xFFFFFFFFu : static_cast<uint32_t>(rng());
        std::memcpy(rec + PI_LINK(0) + LA_ADDR, &start, 4);
        ret_msg = nullptr;
        set_HostEndIp1(text.c_str());
        int32_t cnt;
        std::memcpy(&cnt, rec + PI_HOST_CNT_AT(0), 4);
        ASSERT_GE(cnt, 1) << text;
        ASSERT_TRUE(ret_msg == nullptr || std::strcmp(ret_msg, kEndBeforeStart) == 0);
        get_HostEndIp1(nullptr);
        get_HostStartIp1(nullptr);
    }
    std::fclose(stdout);
    stdout = saved;
    std::free(out);

    // Only the count of range 1 may have changed, plus the start written above.
    for (unsigned b = 0; b < fake::kPortSize; ++b) {
        bool owned = (b >= PI_HOST_CNT_AT(0) && b < PI_HOST_CNT_AT(0) + 4) ||
                     (b >= PI_LINK(0) + LA_ADDR && b < PI_LINK(0) + LA_ADDR + 4);
        if (!owned) {
            ASSERT_EQ(rec[b], P().ports[0].bytes[b]) << "byte " << b;
        }
    }
    pPortInfo[0] = nullptr;
    std::free(rec);
}

}  // namespace
