// Tags through whole requests against the fake: the virtual COM, TCP and
// UDP tags (one field saved in a given service mode, then the bytes the
// record holds and what the page shows), the Modbus pages (port 0's four Modbus
// records, shown with the device's defaults and changed by a save of any
// Modbus page) and the status strip (firmware version, uptime and WAN
// address as the library reports them).
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "fields.h"
#include "ipcalc.h"
#include "messages.h"
#include "record.h"
#include "state.h"

namespace {

using fake::P;

// ---- Virtual COM, TCP server, TCP client and UDP ranges ----

using Bytes = std::vector<unsigned char>;

// Offsets outside the record: the port's encryption settings, present or
// kept by no one, and a port without a record.
constexpr unsigned kSslByte = 1000;
constexpr unsigned kNoSslInfo = 1001;
constexpr unsigned kNoRecord = 1002;

// The form's "h_ServiceMode", one field and its value, the bytes at off
// before and after the save, what the page shows and the message of a
// refused value (whose save stores nothing).
struct FieldCase { const char *what, *mode, *field, *value; unsigned off; Bytes before, after; const char *shown;
                   const char *msg = nullptr; };

const FieldCase kCases[] = {
    // The bytes a save leaves.
    {"empty client address", "3", "tcp_client_ip", "", 72, {10, 0, 0, 1}, {255, 255, 255, 255}, "255.255.255.255"},
    {"ConnectOn 1", "3", "h_ConnectOn", "1", 740, {0, 0, 0, 0}, {0, 0, 0, 4}, "1"},
    {"ConnectOn 2 clears it alone", "3", "h_ConnectOn", "2", 740, {1, 0, 0, 0x84}, {1, 0, 0, 0x80}, "0"},
    {"encryption off keeps bits 1-7", "2", "h_EncryptionEnable", "0", kSslByte, {3}, {2}, "0"},
    // Like setters differ.
    {"virtual COM timeout -3", "1", "VcomIdleTimeout", "-3", 16, {0, 0, 0, 0}, {0xD4, 0xFE, 0xFF, 0xFF}, "-3"},
    {"server link count 8", "2", "h_ServerLinkCnt", "8", 496, {0, 0, 0, 0}, {7, 0, 0, 0}, "8"},
    {"stored link count -7 shows 1", "2", "h_VcomLinkCnt", "5", 496, {0xF9, 0xFF, 0xFF, 0xFF}, {0xF9, 0xFF, 0xFF, 0xFF}, "1"},
    {"encryption on for -1, in a UDP save", "4", "h_EncryptionEnable", "-1", kSslByte, {0x80}, {0x81}, "1"},
    // A setter acts only in a save of its own service.
    {"server save, client address", "2", "tcp_client_ip", "1.2.3.4", 72, {0, 0, 0, 0}, {0, 0, 0, 0}, "0.0.0.0"},
    // A port the library keeps no encryption settings for shows 0.
    {"no encryption settings", "2", "h_EncryptionEnable", "0", kNoSslInfo, {1}, {1}, "0"},
    // A shortened range start reads back as shown. (Range starts and ends
    // typed against what the page shows: UdpRanges.)
    {"UDP start shortened", "4", "HostStartIp2", "192.168.1", 520, {1, 1, 1, 1}, {192, 168, 1, 0}, "192.168.1"},
    // A range end is stored as the count of addresses from the stored start;
    // an empty end counts 1. An end needs a start the page shows and must
    // show again as typed; refused, it keeps the stored count.
    {"UDP empty end", "4", "HostEndIp2", "", 568, {77, 0, 0, 0}, {1, 0, 0, 0}, ""},
    {"UDP end after an all-ones start", "4", "HostEndIp2", "10.0.0.1", 520, {255, 255, 255, 255}, {255, 255, 255, 255},
     "", "end ip needs a start ip"},
    // The UDP fields' places in the record (every tag's own field: the
    // field limits walk).
    {"UDP range 1 start", "4", "HostStartIp1", "10.0.0.1", 504, {0, 0, 0, 0}, {10, 0, 0, 1}, "10.0.0.1"},
    {"UDP range 1 port", "4", "SendPort1", "65535", 502, {0, 0}, {0xFF, 0xFF}, "65535"},
    {"UDP start outside a UDP save", "2", "HostStartIp1", "1.2.3.4", 504, {9, 9, 9, 9}, {9, 9, 9, 9}, "9.9.9.9"},
    // Without the port's record the tags print nothing and the setters store nothing.
    {"UDP start, no record", "4", "HostStartIp1", "1.2.3.4", kNoRecord, {0}, {0}, ""},
    {"UDP end, no record", "4", "HostEndIp1", "1.2.3.4", kNoRecord, {0}, {0}, ""},
    {"UDP port, no record", "4", "SendPort1", "9", kNoRecord, {0}, {0}, ""},
};

TEST(NetworkTags, OneFieldSaves)
{
    for (const FieldCase &c : kCases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        const bool ssl = c.off >= kSslByte;
        P().ssl_missing[0] = c.off == kNoSslInfo;
        P().port_missing[0] = c.off == kNoRecord;
        if (!c.before.empty())
            std::memcpy(ssl ? P().ssl[0] : P().ports[0].bytes + c.off, c.before.data(), c.before.size());
        P().templates["en/t.htm"] = std::string("<%") + c.field + "%>";
        fake::fields({{"todo", "save"}, {"next_page", "t.htm"}, {"h_ServiceMode", c.mode}, {c.field, c.value}});
        EXPECT_EQ(fake::run_request().body(), c.shown);
        EXPECT_STREQ(ret_msg, c.msg);
        EXPECT_TRUE(!c.msg || !P().saved);
        const unsigned char *now = ssl ? P().ssl[0] : P().rendered_ports[0].bytes + c.off;
        EXPECT_EQ(Bytes(now, now + c.after.size()), c.after);
        // No other byte of the record changes but the mode a save may set.
        fake::Port want = P().ports[0];
        if (!ssl)
            std::memcpy(want.bytes + c.off, c.after.data(), c.after.size());
        fake::wr32(want, PI_PORT_MODE, fake::rd32(P().rendered_ports[0], PI_PORT_MODE));
        EXPECT_TRUE(c.off == kNoRecord || std::memcmp(want.bytes, P().rendered_ports[0].bytes, fake::kPortSize) == 0);
    }
}

// ---- UDP range ends, typed against what the page shows ----

// Saves of range 1 from starts at the edges of the counting, each with ends
// around it: .0 (typed shortened), .1, .254 and .255 of its block and the
// next, the next blocks of the second and first octets, an empty end and
// some far ones. Each save is refused with the message its values call for
// and stores nothing, or stores and shows both as typed: the start in its
// plain form (empty for 0.0.0.0), the end as the same address (an empty end
// is the start). An end refused as not reached is one whose count shows
// another end.
TEST(UdpRanges, EndsShowAsTypedOrAreRefused)
{
    static const int64_t kWeight[4] = {16646144, 65024, 254, 1};
    auto text = [](uint32_t w) { char buf[IP_TEXT_SIZE]; return std::string(inet_neta2(w, buf, sizeof buf)); };
    auto word = [](const std::string &t) -> int64_t {
        uint32_t w = 0;
        return t.empty() ? 0 : read_address(t.c_str(), &w) ? w : -1;
    };
    auto octet = [](int64_t w, int i) { return w >> (8 * i) & 255; };
    for (const char *start : {"10.0.0.1", "10.0.0.200", "10.0.0.255", "10.0.1", "110.189.87.166", "192.168.255.254",
                              "", "0.0.0.0", "255.255.255.255"}) {
        const uint32_t s = static_cast<uint32_t>(word(start));
        const uint32_t a = s & 255, b = s >> 8 & 255, c = s >> 16 & 255;
        std::vector<std::string> ends = {"", start, "111.6.0.0", "255.255.255.254"};
        for (uint32_t c2 : {c, c + 1})
            for (uint32_t d : {0u, 1u, 254u, 255u})
                if (c2 < 256)
                    ends.push_back(text(a | b << 8 | c2 << 16 | d << 24));
        if (b < 255)
            ends.insert(ends.end(), {text(a | (b + 1) << 8), text(a | (b + 1) << 8 | 255u << 24)});
        if (a < 255)
            ends.push_back(text((a + 1) | 1u << 24));
        for (const std::string &end : ends) {
            SCOPED_TRACE(std::string(start) + " to " + end);
            fake::reset();
            fake::wr32(P().ports[0], PI_LINK(0) + LA_ADDR, 0x04030201);  // 1.2.3.4
            fake::wr32(P().ports[0], PI_HOST_CNT_AT(0), 7);
            P().templates["en/t.htm"] = "<%HostStartIp1%>|<%HostEndIp1%>";
            fake::fields({{"todo", "save"}, {"next_page", "t.htm"}, {"h_ServiceMode", "4"}, {"HostStartIp1", start},
                          {"HostEndIp1", end}});
            const std::string shown = fake::run_request().body();
            const char *msg = ret_msg;
            EXPECT_EQ(P().saved, !msg);
            const int64_t e = end.empty() ? s : word(end);
            int64_t n = 1;
            for (int i = 0; i < 4; ++i)
                n += (octet(e, i) - octet(s, i)) * kWeight[i];
            const char *want = s == ~0u                     ? MSG_BROADCAST_START
                               : !end.empty() && s == 0     ? MSG_END_WITHOUT_START
                               : octet(e, 0) < octet(s, 0) || n < 1 || n > INT32_MAX ? MSG_END_BEFORE_START
                                                                                     : nullptr;
            if (!want && msg == MSG_END_NOT_REACHED) {
                fake::reset();
                fake::wr32(P().ports[0], PI_LINK(0) + LA_ADDR, static_cast<int32_t>(s));
                fake::wr32(P().ports[0], PI_HOST_CNT_AT(0), static_cast<int32_t>(n));
                P().templates["en/t.htm"] = "<%HostEndIp1%>";
                fake::field("next_page", "t.htm");
                EXPECT_NE(word(fake::run_request().body()), e);
                continue;
            }
            EXPECT_STREQ(msg, want);
            if (msg)
                continue;
            EXPECT_EQ(fake::rd32(P().saved_ports[0], PI_LINK(0) + LA_ADDR), static_cast<int32_t>(s));
            EXPECT_EQ(fake::rd32(P().saved_ports[0], PI_HOST_CNT_AT(0)), n);
            const size_t bar = shown.find('|');
            EXPECT_EQ(shown.substr(0, bar), s ? start : "");
            EXPECT_EQ(word(shown.substr(bar + 1)), e);
        }
    }
}

// ---- Modbus pages ----

// A save of port 0 from the RTU slave page, which shows every Modbus tag in
// table order. The records hold nothing but the RTU master's address, which
// has markup characters, and its library bytes 1 to 4. Only the page's own
// record is stored; the other pages' fields change in memory only.
TEST(Modbus, ShowsAndSaves)
{
    const std::string a255 = "<\"&'>" + std::string(250, 'a');
    fake::reset();
    P().rtumaster[0] = {0, 0, "a\"<>&'b", 0, {1, 2, 3, 4}};
    std::string tags;
    for (const TagEntry *row = fun_tab; row->tag; ++row)
        if (std::strstr(row->tag, "master_") || std::strstr(row->tag, "slave_"))
            tags += (tags.empty() ? "<%" : "|<%") + std::string(row->tag) + "%>";
    P().templates["en/rtu_slave_mode.htm"] = tags;
    fake::fields({{"todo", "save"}, {"next_page", "rtu_slave_mode.htm"}, {"rtuslave_server_port", "5020"},
                  {"rtuslave_max_connect", "0"}, {"rtuslave_max_try", "-0"}, {"rtuslave_rqstpause", "+12"},
                  {"rtuslave_respwait", "  7"}, {"rtuslave_idle_timeout", "-3"}, {"asciislave_idle_timeout", "44"},
                  {"rtumaster_host_addr", a255}});
    EXPECT_EQ(fake::run_request().body(), "&lt;&quot;&amp;&#39;&gt;" + a255.substr(5) +
                                              "|502|0|0|5020|10|5|12|7|-3||502|0|0|502|10|5|100|100|44");
    EXPECT_STREQ(ret_msg, nullptr);
    EXPECT_STREQ(P().rtumaster[0].host_addr, "a\"<>&'b");
    const MbusSlaveInfo stored = {5020, 0, 0, 12, 7, -3};
    EXPECT_EQ(std::memcmp(&P().rtuslave[0], &stored, sizeof stored), 0);
    EXPECT_EQ(std::memcmp(P().rtumaster[0].reserved, "\1\2\3\4", 4), 0);
}

// A stored address that fills its field without an end mark, and no zero
// byte after it in the record: shown to the field's end and no further.
TEST(Modbus, AddressFillingItsField)
{
    fake::reset();
    MbusMasterInfo &rec = P().rtumaster[0];
    std::memset(rec.host_addr, 'a', sizeof rec.host_addr);
    std::memset(&rec.host_port, 1, sizeof rec - offsetof(MbusMasterInfo, host_port));
    P().templates["en/rtu_master_mode.htm"] = "<%rtumaster_host_addr%>|";
    fake::field("next_page", "rtu_master_mode.htm");
    EXPECT_EQ(fake::run_request().body(), std::string(sizeof rec.host_addr, 'a') + "|");
}

// ---- Status strip ----


// Uptime fields are shown as given, without carrying, and as zero time when
// the library fills in none; the WAN address only with an interface name and
// a connection type (of any text).
TEST(Status, Strip)
{
    // up: hours -1, the library fills in nothing; conn_type null: none; ip "": if_getinfo fails.
    struct Case { const char *what; UptimeInfo up; const char *wanif, *conn_type, *ip; bool fw; const char *shown; }
    cases[] = {
        {"hours only, address", {0, 5, 3, 9}, "eth0", "dhcp", "1.2.3.4", true, "1.2.3|05:03:09|1.2.3.4"},
        {"one day, no interface", {1, 5, 3, 9}, "", "dhcp", "1.2.3.4", true, "1.2.3|1 day, 05:03:09|"},
        {"two days, no conn type", {2, 0, 0, 0}, "eth0", nullptr, "1.2.3.4", true, "1.2.3|2 days, 00:00:00|"},
        {"negative days, empty conn type", {-1, 5, 3, 9}, "eth0", "", "1.2.3.4", true, "1.2.3|05:03:09|1.2.3.4"},
        {"uncarried hours, no address", {0, 123, 4, 5}, "eth0", "dhcp", "", true, "1.2.3|123:04:05|N/A"},
        {"large hours, no version", {0, 2147483647, 0, 10}, "eth0", "dhcp", "1.2.3.4", false,
         "|2147483647:00:10|1.2.3.4"},
        {"unknown uptime", {-1, -1, -1, -1}, "eth0", "dhcp", "1.2.3.4", true, "1.2.3|00:00:00|1.2.3.4"},
        {"address with a zero last octet shown whole", {0, 5, 3, 9}, "eth0", "dhcp", "192.168.100.0", true,
         "1.2.3|05:03:09|192.168.100.0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        P().uptime = c.up;
        P().uptime_known = c.up.hours >= 0;
        P().wanif = c.wanif;
        P().wan_ip = c.ip;
        if (c.conn_type)
            P().conf["network"]["wan_conn_type"] = c.conn_type;
        if (!c.fw)
            P().conf["system"].erase("fw_version");
        P().templates["en/s2n_service_mode_tcpsrv.htm"] = "<%fw_version%>|<%uptime%>|<%wanip%>";
        EXPECT_EQ(fake::run_request().body(), c.shown);
        // The version comes from the system configuration, not the copy loaded at start-up.
        EXPECT_EQ(fake::calls_starting("sysconf_getvalue system fw_version").size(), 1u);
    }
}

// The message in a German page, also when the library set it (its own text
// of it); a text no catalogue holds as it is. Only a pending message
// asks for the language again. The program's messages: e2e_status.
TEST(Status, MessageInThePageLanguage)
{
    struct Case { const char *what, *msg, *shown; } cases[] = {
        {"no message", nullptr, ""},
        {"library's text of a message", "save failed", "Speichern fehlgeschlagen"},
        {"a text no catalogue holds", "disk on fire", "disk on fire"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        P().save_msg = c.msg;
        fake::fields({{"lang", "de"}, {"todo", "save"}});
        P().templates["de/s2n_service_mode_tcpsrv.htm"] = "<%ret_msg%>";
        EXPECT_EQ(fake::run_request().body(), c.shown);
        EXPECT_EQ(fake::calls_starting("lang_get_tag").size(), c.msg ? 2u : 1u);
    }
}

}  // namespace
