// Virtual COM, TCP server and TCP client tags: one field saved in a given
// service mode, then the bytes the record holds and what the page shows.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace {

using fake::P;
using Bytes = std::vector<unsigned char>;

// Offsets outside the record: the port's encryption settings, present or
// kept by no one.
constexpr unsigned kSslByte = 1000;
constexpr unsigned kNoSslInfo = 1001;

// The form's "h_ServiceMode", one field and its value, the bytes at off
// before and after the save, and what the page shows.
struct Case { const char *what, *mode, *field, *value; unsigned off; Bytes before, after; const char *shown; };

const Case kCases[] = {
    // The bytes a save leaves.
    {"server port 8080", "2", "tcp_server_port", "8080", 70, {0x0F, 0xA1}, {0x1F, 0x90}, "8080"},
    {"client port 0", "3", "tcp_client_port", "0", 70, {0x0F, 0xA1}, {0, 0}, "0"},
    {"empty client address", "3", "tcp_client_ip", "", 72, {10, 0, 0, 1}, {255, 255, 255, 255}, "255.255.255.255"},
    {"empty link clears it", "3", "client_link_ip2", "", 520, {10, 0, 0, 1}, {0, 0, 0, 0}, ""},
    {"link port 0", "3", "client_link_port2", "0", 518, {0x13, 0x88}, {0, 0}, "0"},
    {"link count 0", "1", "h_VcomLinkCnt", "0", 496, {3, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0xFF}, "1"},
    {"link count 8", "1", "h_VcomLinkCnt", "8", 496, {0, 0, 0, 0}, {7, 0, 0, 0}, "8"},
    {"ConnectOn 1", "3", "h_ConnectOn", "1", 740, {0, 0, 0, 0}, {0, 0, 0, 4}, "1"},
    {"ConnectOn 2 clears it alone", "3", "h_ConnectOn", "2", 740, {1, 0, 0, 0x84}, {1, 0, 0, 0x80}, "0"},
    {"encryption off keeps bits 1-7", "2", "h_EncryptionEnable", "0", kSslByte, {3}, {2}, "0"},
    // Like setters differ.
    {"virtual COM timeout -3", "1", "VcomIdleTimeout", "-3", 16, {0, 0, 0, 0}, {0xD4, 0xFE, 0xFF, 0xFF}, "-3"},
    {"server timeout -3", "2", "server_idle_timeout", "-3", 16, {0xF4, 1, 0, 0}, {0xF4, 1, 0, 0}, "5"},
    {"client timeout -1", "3", "client_idle_timeout", "-1", 16, {0xF4, 1, 0, 0}, {0xF4, 1, 0, 0}, "5"},
    {"virtual COM alive -7", "1", "VcomAliveCheck", "-7", 664, {9, 0, 0, 0}, {0xF9, 0xFF, 0xFF, 0xFF}, "-7"},
    {"server alive -1", "2", "server_alive_check", "-1", 664, {9, 0, 0, 0}, {9, 0, 0, 0}, "9"},
    {"client alive 0", "3", "client_alive_check", "0", 664, {9, 0, 0, 0}, {0, 0, 0, 0}, "0"},
    {"server port 0", "2", "tcp_server_port", "0", 70, {0x0F, 0xA1}, {0x0F, 0xA1}, "4001"},
    {"server port 1", "2", "tcp_server_port", "1", 70, {0x0F, 0xA1}, {0, 1}, "1"},
    {"server port 65536", "2", "tcp_server_port", "65536", 70, {0x0F, 0xA1}, {0, 0}, "0"},
    {"link 4 port -1", "3", "client_link_port4", "-1", 550, {0x13, 0x88}, {0xFF, 0xFF}, "65535"},
    {"link 3 port 70000", "3", "client_link_port3", "70000", 534, {0x13, 0x88}, {0x11, 0x70}, "4464"},
    {"client address 0 shown", "3", "tcp_client_ip", "0.0.0.0", 72, {10, 0, 0, 1}, {0, 0, 0, 0}, "0.0.0.0"},
    {"server link count -6", "2", "h_ServerLinkCnt", "-6", 496, {0, 0, 0, 0}, {0xF9, 0xFF, 0xFF, 0xFF}, "1"},
    {"encryption on for -1, in a UDP save", "4", "h_EncryptionEnable", "-1", kSslByte, {0x80}, {0x81}, "1"},
    // A setter acts only in a save of its own service.
    {"virtual COM save, server timeout", "1", "server_idle_timeout", "7", 16, {0xF4, 1, 0, 0}, {0xF4, 1, 0, 0}, "5"},
    {"server save, client address", "2", "tcp_client_ip", "1.2.3.4", 72, {0, 0, 0, 0}, {0, 0, 0, 0}, "0.0.0.0"},
    {"client save, virtual COM links", "3", "h_VcomLinkCnt", "5", 496, {2, 0, 0, 0}, {2, 0, 0, 0}, "3"},
    {"no mode, server port", "0", "tcp_server_port", "80", 70, {0x0F, 0xA1}, {0x0F, 0xA1}, "4001"},
    // Values beyond the 32-bit range wrap, without undefined behaviour.
    {"timeout past the wrap", "1", "VcomIdleTimeout", "21474837", 16, {0, 0, 0, 0}, {0x34, 0, 0, 0x80}, "-21474835"},
    {"largest timeout", "2", "server_idle_timeout", "99999999999", 16, {0, 0, 0, 0}, {0x9C, 0xFF, 0xFF, 0xFF}, "-1"},
    {"most negative link count", "1", "h_VcomLinkCnt", "-2147483648", 496, {0, 0, 0, 0}, {0xFF, 0xFF, 0xFF, 0x7F}, "2147483648"},
    // A port the library keeps no encryption settings for shows 0.
    {"no encryption settings", "2", "h_EncryptionEnable", "0", kNoSslInfo, {1}, {1}, "0"},
    // The page shows trailing zero octets left out. Such text reads back as
    // the page meant it, so an address sent back unchanged keeps its bytes.
    {"shortened client address", "3", "tcp_client_ip", "192.168.1", 72, {192, 168, 1, 0}, {192, 168, 1, 0}, "192.168.1"},
    {"shortened link 4", "3", "client_link_ip4", "10", 552, {1, 2, 3, 4}, {10, 0, 0, 0}, "10"},
    {"shortened link 3", "3", "client_link_ip3", "0.1", 536, {1, 2, 3, 4}, {0, 1, 0, 0}, "0.1"},
};

TEST(Tcp, OneFieldSaves)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        const bool ssl = c.off >= kSslByte;
        P().ssl_missing[0] = c.off == kNoSslInfo;
        std::memcpy(ssl ? P().ssl[0] : P().ports[0].bytes + c.off, c.before.data(), c.before.size());
        P().templates["en/t.htm"] = std::string("<%") + c.field + "%>";
        fake::fields({{"todo", "save"}, {"next_page", "t.htm"}, {"h_ServiceMode", c.mode}, {c.field, c.value}});
        std::string out = fake::run_request().out;
        EXPECT_EQ(out.substr(out.find("\n\n") + 2), c.shown);
        const unsigned char *now = ssl ? P().ssl[0] : P().rendered_ports[0].bytes + c.off;
        EXPECT_EQ(Bytes(now, now + c.after.size()), c.after);
    }
}

}  // namespace
