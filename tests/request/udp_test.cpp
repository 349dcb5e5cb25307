// UDP page: the port's UDP port and the four destination ranges, shown and
// saved through whole requests.
#include <climits>
#include <cstring>
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

std::string range_tags(int k)
{
    std::string n = std::to_string(k + 1);
    return "<%HostStartIp" + n + "%>|<%HostEndIp" + n + "%>|<%SendPort" + n + "%>";
}

// A fresh platform whose port 0 already runs UDP, so a UDP save changes no
// byte but the ones these tags own; the UDP page shows the given tags.
void fresh(const std::string &page)
{
    fake::reset();
    fake::wr32(P().ports[0], PI_PORT_MODE, PORT_UDP_MODE);
    P().mbus_mode[0] = PORT_UDP_MODE;
    P().templates["en/s2n_service_mode_udp.htm"] = page;
}

void set_range(int k, const char *start, int count, uint16_t port)
{
    fake::wr_ip(P().ports[0], PI_LINK(k), start);
    fake::wr32(P().ports[0], PI_HOST_CNT_AT(k), count);
    fake::wr_port(P().ports[0], PI_LINK(k), port);
}

// Runs a request and returns the page body.
std::string run()
{
    std::string out = fake::run_request().out;
    size_t body = out.find("\n\n");
    return body == std::string::npos ? out : out.substr(body + 2);
}

// A save of port 0 in the given mode (null: no mode field) with the fields
// whose value is not null.
std::string save(const std::vector<std::pair<const char *, const char *>> &fields,
                 const char *mode = "4")
{
    fake::field("todo", "save");
    if (mode)
        fake::field("h_ServiceMode", mode);
    for (const auto &f : fields)
        if (f.second)
            fake::field(f.first, f.second);
    return run();
}

const fake::Port &mem() { return P().rendered_ports[0]; }

TEST(Udp, RangeTagsOfEveryRange)
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
        // The first octet is not bounded: the end shows that the range runs
        // past the top of the address space.
        {"range past the top", "255.255.255.255", 2, "|256.0.0.2|5000"},
        {"largest count", "10.0.0.1", INT_MAX, "10.0.0.1|139.2.4.7|5000"},
    };
    for (int k = 0; k < 4; ++k) {
        for (const Case &c : cases) {
            SCOPED_TRACE("range " + std::to_string(k + 1) + ": " + c.what);
            fresh(range_tags(k));
            set_range(k, c.start, c.count, 5000);
            EXPECT_EQ(run(), c.page);
        }
    }
}

TEST(Udp, MissingRecordShowsAndChangesNothing)
{
    fresh("<%udp_port%>|" + range_tags(0));
    P().port_missing[0] = true;
    fake::field("next_page", "s2n_service_mode_udp.htm");
    EXPECT_EQ(save({{"udp_port", "9"}, {"HostStartIp1", "1.2.3.4"}, {"HostEndIp1", "1.2.3.1"},
                    {"SendPort1", "9"}}),
              "|||");
    EXPECT_EQ(ret_msg, nullptr);
}

// Range 2 starts at 1.1.1.1 with 77 addresses. A start text is stored as
// the page meant it; an end setter measures from the start as the record
// holds it at that moment. A refused end leaves a count of 1 and a message
// that keeps the save from being stored, while the later setters still run.
TEST(Udp, RangeSaves)
{
    static const std::string kManyDots(3000, '.');
    struct Case {
        const char *what;
        const char *start;  // form values; null: field absent
        const char *end;
        const char *stored;  // start address afterwards
        int count;
        bool refused;
    } cases[] = {
        {"plain start", "10.20.30.40", nullptr, "10.20.30.40", 77, false},
        {"empty start clears", "", nullptr, "0.0.0.0", 77, false},
        {"rejected start is all ones", "no address", nullptr, "255.255.255.255", 77, false},
        {"shortened start reads as shown", "192.168.1", nullptr, "192.168.1.0", 77, false},
        {"one octet", "10", nullptr, "10.0.0.0", 77, false},
        {"zero octet inside", "0.1", nullptr, "0.1.0.0", 77, false},
        // Other text goes to the address parser.
        {"octal-looking part", "192.010", nullptr, "192.0.0.8", 77, false},
        {"octet above 255", "1.256", nullptr, "1.0.1.0", 77, false},
        {"trailing dot", "10.1.", nullptr, "255.255.255.255", 77, false},

        {"end from the stored start", nullptr, "1.1.1.5", "1.1.1.1", 5, false},
        {"shortened start and its end", "192.168.1", "192.168.1.4", "192.168.1.0", 5, false},
        {"empty end", "10.0.0.1", "", "10.0.0.1", 1, false},
        {"both empty", "", "", "0.0.0.0", 1, false},
        {"rejected start, all-ones end", "x", "255.255.255.255", "255.255.255.255", 1, false},
        {"end before the new start", "192.168.1.10", "192.168.1.5", "192.168.1.10", 1, true},
        {"more than INT32_MAX addresses", "", "192.168.1.10", "0.0.0.0", 1, true},
        {"many dots", "10.0.0.1", kManyDots.c_str(), "10.0.0.1", 1, true},
        {"rejected start, other end", "x", "10.0.0.1", "255.255.255.255", 1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fresh("<%HostStartIp2%>|<%HostEndIp2%>");
        set_range(1, "1.1.1.1", 77, 0);
        std::string page =
            save({{"HostStartIp2", c.start}, {"HostEndIp2", c.end}, {"SendPort3", "7000"}});
        EXPECT_EQ(fake::rd_ip(mem(), PI_LINK(1)), c.stored);
        EXPECT_EQ(fake::rd32(mem(), PI_HOST_CNT_AT(1)), c.count);
        EXPECT_EQ(fake::rd_port(mem(), PI_LINK(2)), 7000);
        EXPECT_STREQ(ret_msg, c.refused ? kEndBeforeStart : nullptr);
        EXPECT_EQ(P().saved, !c.refused);
        if (c.refused) {  // the page shows the refused range as its start alone
            EXPECT_EQ(page.substr(0, page.find('|')), page.substr(page.find('|') + 1));
        }
    }
}

// All thirteen setters: in a UDP save they write these bytes (offsets and
// byte orders written out here, ports cut to 16 bits without a range check);
// in another mode (3, the TCP client, shares the slots) they change nothing.
TEST(Udp, FullForm)
{
    const struct {
        const char *port;
        unsigned stored_port;
        unsigned char addr[4];
        unsigned count;
    } ranges[] = {{"70000", 4464, {10, 0, 0, 1}, 10},
                  {"-1", 65535, {10, 0, 1, 1}, 20},
                  {"6003", 6003, {172, 16, 9, 8}, 62732},
                  {"258", 258, {192, 0, 2, 1}, 1}};
    for (const char *mode : {"4", "3", static_cast<const char *>(nullptr)}) {
        SCOPED_TRACE(mode ? mode : "no mode field");
        fresh("<%udp_port%>|<%SendPort1%>|<%SendPort2%>|<%SendPort3%>|<%SendPort4%>");
        std::string page = save(
            {{"udp_port", "6000"},
             {"HostStartIp1", "10.0.0.1"},   {"HostEndIp1", "10.0.0.10"},  {"SendPort1", "70000"},
             {"HostStartIp2", "10.0.1.1"},   {"HostEndIp2", "10.0.1.20"},  {"SendPort2", "-1"},
             {"HostStartIp3", "172.16.9.8"}, {"HostEndIp3", "172.17.0.1"}, {"SendPort3", "6003"},
             {"HostStartIp4", "192.0.2.1"},  {"HostEndIp4", "192.0.2.1"},  {"SendPort4", "258"}},
            mode);
        EXPECT_EQ(ret_msg, nullptr);
        const bool udp = mode && mode[0] == '4';
        fake::Port want = P().ports[0];
        if (udp) {
            EXPECT_EQ(page, "6000|4464|65535|6003|258");
            want.bytes[70] = 6000 >> 8;
            want.bytes[71] = 6000 & 0xFF;
        }
        for (int k = 0; udp && k < 4; ++k) {
            want.bytes[502 + 16 * k] = static_cast<unsigned char>(ranges[k].stored_port >> 8);
            want.bytes[503 + 16 * k] = static_cast<unsigned char>(ranges[k].stored_port);
            std::memcpy(want.bytes + 504 + 16 * k, ranges[k].addr, 4);
            for (int b = 0; b < 4; ++b)  // little-endian
                want.bytes[564 + 4 * k + b] = static_cast<unsigned char>(ranges[k].count >> 8 * b);
        }
        // Another mode's save may change the record elsewhere (its mode).
        for (unsigned b = 0; b < fake::kPortSize; ++b) {
            const bool owned = (b >= 68 && b < 84) || (b >= 500 && b < 580);
            if (!udp && !owned)
                continue;
            ASSERT_EQ(mem().bytes[b], want.bytes[b]) << "byte " << b;
        }
        for (int i = 1; i < 4; ++i)
            EXPECT_EQ(std::memcmp(P().rendered_ports[i].bytes, P().ports[i].bytes,
                                  fake::kPortSize), 0) << "port " << i;
    }
}

}  // namespace
