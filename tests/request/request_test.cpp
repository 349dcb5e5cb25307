// The request from start to end (loads, port selection, refusals, the save
// gate, the page choice), and the service mode's numbering and trace lines.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "state.h"

namespace {

using fake::P;
using std::string;
const string kHtml = "Content-Type: text/html\n\n";

// Each port runs another service, so the page tells which record was read;
// every record is loaded, and released with the form at the end.
TEST(Request, LoadsRendersAndReleases)
{
    fake::reset();
    fake::fields({{"lang", "de"}, {"h_PortIndex", "1"}, {"todo", "save"}});
    for (int i = 0; i < 4; ++i)
        fake::wr32(P().ports[i], PI_PORT_MODE, 4 + i);
    P().templates["de/rtu_master_mode.htm"] = "<%h_PortIndex%> <%h_ServiceMode%> <%PortList%> <%PortNum%>";
    P().parse_html_status = 7;  // the exit status is the renderer's
    fake::Result r = fake::run_request();
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.out, kHtml + "1 6 <option selected>Port1</option><option>Port2</option><option>Port3</option>"
                             "<option>Port4</option> 4");
    EXPECT_EQ(fake::calls_starting("GetTtyInfoAlloc").size(), 4u);
    EXPECT_EQ(P().calls.back(), "list_clear");
    EXPECT_EQ(pDevInfo, nullptr);
    for (int i = 0; i < S2N_PORTS; ++i)
        EXPECT_TRUE(pPortInfo[i] == nullptr && pTtyInfo[i] == nullptr) << i;
}

// Refused before anything is loaded for the port or stored; the form is
// still released.
TEST(Request, Refusals)
{
    const string long_page(61, 'c');  // "en/" and 61 characters do not fit 64
    struct Row { const char *index, *page; bool no_device; } rows[] = {
        {"4", nullptr, false}, {"-1", nullptr, false}, {"0", long_page.c_str(), false}, {" 0", nullptr, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(string(row.index) + (row.page ? " with a long page" : row.no_device ? " without device" : ""));
        fake::reset();
        P().dev_missing = row.no_device;
        fake::fields({{"h_PortIndex", row.index}, {"next_page", row.page ? row.page : ""}, {"todo", "save"},
                      {"h_ServiceMode", "4"}});
        fake::Result r = fake::run_request();
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "Status: 500 Internal Server Error\n\n");  // once, and no page
        EXPECT_EQ(fake::calls_starting("GetPortInfoAlloc").empty(), row.no_device);
        for (const char *never : {"get_mbus", "set_mbus", "SaveNewConfig", "CFL_VALUE_SET"})
            EXPECT_TRUE(fake::calls_starting(never).empty()) << never;
        EXPECT_EQ(P().calls.back(), "list_clear");
    }
}

// Every form asks for UDP and a connection reset. Only the exact word
// "save" in a POST applies them, unless the browser names another site as
// the form's source (Origin, else Referer, against Host; Sec-Fetch-Site),
// the Host is a name outside the local ones and the allowed lists, or the
// save lock cannot be had; a refused save is a page view with the message.
// A row without a setter ignores its field. A named page is taken only as a
// plain file name.
TEST(Request, SaveGateAndPageChoice)
{
    const string n128(128, 'a'), n60(60, 'b'), n255(255, 'c'), n256(256, 'c'), tcp = fake::mode_page(PORT_SERVER_MODE), udp = fake::mode_page(PORT_UDP_MODE);
    static const char *const evil = "http://evil.example", *const other = "request from another site refused",
                             *const host = "host name not allowed: add it to S2N_ALLOWED_HOSTS";
    struct Header { const char *name, *value; };
    struct Row {
        const char *what, *todo = "save", *page = nullptr;
        const char *shown = nullptr;  // the page shown; none: the page of the port's mode after the request
        const char *msg = nullptr;  // the refusal shown; none: a save stores
        const char *method = "POST", *origin = nullptr, *referer = nullptr, *host = "192.168.1.1",
                   *fetch_site = nullptr, *allowed = nullptr;
        bool lock_unopenable = false;
    } rows[] = {
        {.what = "saved mode picks the page"},
        {.what = "capitalised", .todo = "Save"},
        {.what = "no todo", .todo = nullptr},
        {.what = "named page in a save", .page = "s2n_service_mode_vcom.htm", .shown = "s2n_service_mode_vcom.htm"},
        {.what = "60 characters fit the path", .todo = nullptr, .page = n60.c_str(), .shown = n60.c_str()},
        {.what = "empty name in a save", .page = ""},
        {.what = "traversal", .todo = nullptr, .page = "../../etc/passwd"},
        {.what = "backslash", .todo = nullptr, .page = "a\\b.htm"},
        {.what = "hidden file", .todo = nullptr, .page = ".htaccess"},
        {.what = "128 characters", .todo = nullptr, .page = n128.c_str()},
        // Only a POST saves.
        {.what = "GET", .msg = "save must be posted", .method = "GET"},
        {.what = "no method", .msg = "save must be posted", .method = nullptr},
        // Origin, else Referer, names the Host.
        {.what = "same host and port, other letter case", .origin = "https://dev.lan:8080", .host = "Dev.LAN:8080"},
        {.what = "Origin null", .msg = other, .origin = "null"},
        {.what = "Origin decides over a matching Referer", .msg = other, .origin = evil, .referer = "http://192.168.1.1/"},
        {.what = "Referer only, same host", .referer = "http://192.168.1.1/x.cgi?h_PortIndex=1"},
        {.what = "Referer only, other host", .msg = other, .referer = "http://evil.example/192.168.1.1"},
        {.what = "relative Referer, the host after \"://\" in its query", .msg = other, .referer = "/x?u=://192.168.1.1"},
        {.what = "Referer without a scheme", .msg = other, .referer = "://192.168.1.1/"},
        {.what = "Origin with a port the Host lacks", .msg = other, .origin = "http://192.168.1.1:8080"},
        {.what = "Host with a port the Origin lacks", .msg = other, .origin = "http://192.168.1.1", .host = "192.168.1.1:8080"},
        {.what = "no Host to compare with", .msg = other, .origin = "http://192.168.1.1", .host = nullptr},
        {.what = "neither header nor Host: a script", .host = nullptr},
        // Fetch metadata, where the browser sends it.
        {.what = "fetch from another site", .msg = other, .fetch_site = "cross-site"},
        {.what = "fetch from a sibling site", .msg = other, .origin = "http://192.168.1.1", .fetch_site = "same-site"},
        {.what = "fetch from the same origin", .origin = "http://192.168.1.1", .fetch_site = "same-origin"},
        // Host names another site could make resolve to the device.
        {.what = "rebinding: Host and Origin agree", .msg = host, .origin = "http://evil.example:8080",
         .host = "evil.example:8080"},
        {.what = "IPv6 literal with a port", .host = "[fe80::1]:8080"},
        {.what = "four parts, one past 255", .msg = host, .host = "10.0.0.256"},
        {.what = "bracketed name", .msg = host, .host = "[evil.example]:80"},
        {.what = "bracket left open", .msg = host, .host = "[fe80"},
        {.what = "longest host name", .host = n255.c_str()},
        {.what = "host name one longer", .msg = host, .host = n256.c_str()},
        {.what = "name without a dot", .host = "LocalHost:8080"},
        {.what = "the suffix alone", .msg = host, .host = ".lan"},
        {.what = "local suffix inside the name", .msg = host, .host = "device.lan.evil.example"},
        {.what = "port that is no number", .msg = host, .host = "192.168.1.1:80x"},
        {.what = "empty Host", .msg = host, .host = ""},
        {.what = "built-in list", .host = "second.example:8443"},
        {.what = "environment list, blanks and letter case", .host = "dev.example.com",
         .allowed = "a.example , Dev.Example.Com ,b"},
        {.what = "environment list holds a longer name", .msg = host, .host = "dev.example.com",
         .allowed = "dev.example.com.evil.example"},
        // No save without the lock.
        {.what = "lock file cannot be opened", .msg = "lock file cannot be opened", .lock_unopenable = true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        fake::reset();
        if (row.todo)
            fake::field("todo", row.todo);
        if (row.page)
            fake::field("next_page", row.page);
        fake::fields({{"h_ServiceMode", "4"}, {"PortNum", "9"}, {"h_ClearConn", "1"}});
        for (const auto &h : {Header{"REQUEST_METHOD", row.method}, {"HTTP_ORIGIN", row.origin},
                              {"HTTP_REFERER", row.referer}, {"HTTP_HOST", row.host},
                              {"HTTP_SEC_FETCH_SITE", row.fetch_site}, {"S2N_ALLOWED_HOSTS", row.allowed}})
            h.value ? setenv(h.name, h.value, 1) : unsetenv(h.name);
        if (row.lock_unopenable) {
            unlink(S2N_TEST_LOCK);
            ASSERT_EQ(mkdir(S2N_TEST_LOCK, 0700), 0);
        }
        fake::Result r = fake::run_request();
        if (row.lock_unopenable) {
            EXPECT_EQ(rmdir(S2N_TEST_LOCK), 0);
        }
        const bool saved = row.todo && string(row.todo) == "save" && !row.msg;
        EXPECT_EQ(fake::calls_starting("parse_html"),
                  std::vector<string>{"parse_html en/" + (row.shown ? string(row.shown) : saved ? udp : tcp)});
        EXPECT_EQ(r.out.rfind(kHtml, 0), 0u);
        EXPECT_EQ(P().saved, saved);
        EXPECT_EQ(fake::rd32(P().rendered_ports[0], PI_PORT_MODE), saved ? PORT_UDP_MODE : PORT_SERVER_MODE);
        EXPECT_EQ(fake::calls_starting("clearConn").size(), saved ? 1u : 0u);
        EXPECT_STREQ(ret_msg, row.msg);
    }
}

// ---- Service mode ----

using Lines = std::vector<std::string>;

std::string summary(const char *fn, int port, int mode, int service)
{
    using std::to_string;
    return fn + (": pPortInfo[" + to_string(port) + "]->port_mode=" + to_string(mode) + " iServiceMode=" +
                 to_string(service) + "\n");
}

// A save of service mode value on port 1, whose record holds code (missing:
// none), on the page its mode picks ("none" for an unknown mode), which shows
// its name and the mode tag. unopenable: a directory stands at the console's
// path while the program runs.
std::string mode_page(int code, const char *value, bool missing = false, bool unopenable = false)
{
    fake::reset();
    EXPECT_TRUE(!unopenable || mkdir(S2N_TEST_CONSOLE, 0700) == 0) << "cannot make the console a directory";
    fake::wr32(P().ports[1], PI_PORT_MODE, code);
    P().port_missing[1] = missing;
    fake::fields({{"h_PortIndex", "1"}, {"todo", "save"}, {"h_ServiceMode", value}});
    for (const ServiceModeRow &row : service_modes)
        P().templates[std::string("en/") + row.page] = row.page + std::string(" [<%h_ServiceMode%>]");
    P().templates["en/"] = "none [<%h_ServiceMode%>]";
    fake::Result r = fake::run_request();
    return std::to_string(r.status) + " " + r.body();
}

TEST(ServiceMode, EveryModeBothWays)
{
    const struct { int page, code; const char *set_line, *get_line; } modes[] = {
        {1, 3, "set_ServiceMode: ENUM_SEVICE_MODE_VCOM\n", "get_ServiceMode PORT_VIRTUALCOM_MODE\n"},
        {2, 0, "set_ServiceMode: ENUM_SEVICE_MODE_SERVER\n", "get_ServiceMode PORT_SERVER_MODE\n"},
        {3, 1, "set_ServiceMode: ENUM_SEVICE_MODE_CLIENT\n", "get_ServiceMode PORT_CLIENT_MODE\n"},
        {4, 2, "set_ServiceMode: ENUM_SEVICE_MODE_UDP\n", "get_ServiceMode PORT_UDP_MODE\n"},
        {5, 4, "set_ServiceMode: ENUM_RTU_SLAVE_MODE\n", "get_ServiceMode RTU_SLAVE_MODE\n"},
        {6, 5, "set_ServiceMode: ENUM_RTU_MASTER_MODE\n", "get_ServiceMode RTU_MASTER_MODE\n"},
        {7, 6, "set_ServiceMode: ENUM_ASCII_SLAVE_MODE\n", "get_ServiceMode ASCII_SLAVE_MODE\n"},
        {8, 7, "set_ServiceMode: ENUM_ASCII_MASTER_MODE\n", "get_ServiceMode ASCII_MASTER_MODE\n"},
    };
    for (const auto &m : modes) {
        SCOPED_TRACE(m.page);
        const std::string shown = "0 " + std::string(fake::mode_page(m.code)) + " [" + std::to_string(m.page) + "]";
        // The page's number stores its code over a virtual COM record (only
        // the four mode bytes change), and the code shows as the number.
        EXPECT_EQ(mode_page(PORT_VIRTUALCOM_MODE, std::to_string(m.page).c_str()), shown);
        EXPECT_EQ(fake::console_lines(), (Lines{m.set_line, summary("set_ServiceMode", 1, m.code, m.page),
                                                m.get_line, summary("get_ServiceMode", 1, m.code, m.page)}));
        fake::Port want = P().ports[1];
        fake::wr32(want, PI_PORT_MODE, m.code);
        EXPECT_EQ(std::memcmp(P().saved_ports[1].bytes, want.bytes, fake::kPortSize), 0);
    }
}

// A number outside 1..8 stores nothing; an unknown stored code shows the
// current number; without the record the tag prints nothing.
TEST(ServiceMode, UnknownNumbersCodesAndRecords)
{
    const struct { const char *value; int service; } numbers[] = {
        {"0", 0}, {"9", 9}, {"-1", -1}, {"abc", 0}, {"", 0}, {"-2147483648", INT_MIN}};
    for (const auto &n : numbers) {
        SCOPED_TRACE(n.value);
        EXPECT_EQ(mode_page(PORT_VIRTUALCOM_MODE, n.value), "0 s2n_service_mode_vcom.htm [1]");
        EXPECT_EQ(std::memcmp(P().saved_ports[1].bytes, P().ports[1].bytes, fake::kPortSize), 0);
        EXPECT_EQ(fake::console_lines().at(0), summary("set_ServiceMode", 1, 3, n.service));
    }
    for (int code : {8, -1, INT_MAX}) {
        EXPECT_EQ(mode_page(code, "-12"), "0 none [-12]") << code;
        EXPECT_EQ(fake::console_lines(), (Lines{summary("set_ServiceMode", 1, code, -12),
                                                summary("get_ServiceMode", 1, code, -12)})) << code;
    }
    EXPECT_EQ(mode_page(0, "4", true), "0 none []");
    EXPECT_EQ(fake::console_lines(),
              (Lines{summary("set_ServiceMode", 1, -1, 4), summary("get_ServiceMode", 1, -1, 4)}));
}

// A console that cannot be opened drops the lines and changes nothing else.
TEST(ServiceMode, UnopenableConsole)
{
    EXPECT_EQ(mode_page(PORT_VIRTUALCOM_MODE, "4", false, true), "0 s2n_service_mode_udp.htm [4]");
    EXPECT_EQ(rmdir(S2N_TEST_CONSOLE), 0);  // the directory was still there
    EXPECT_EQ(fake::rd32(P().saved_ports[1], PI_PORT_MODE), PORT_UDP_MODE);
}

}  // namespace
