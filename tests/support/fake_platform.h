// A recording fake of the two platform libraries for request-level tests:
// in-memory records, a call log and programmable results. Tests set up
// fake::P(), call fake::run_request() and look at the result, the log and
// the records.
#ifndef S2N_FAKE_PLATFORM_H
#define S2N_FAKE_PLATFORM_H

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "cgiweb.h"
#include "devcfg.h"
#include "modes.h"

namespace fake {

// The fake's PortInfo allocation: longer than the bytes the program owns,
// so a write past them shows.
constexpr unsigned kPortSize = 768;

struct Port { unsigned char bytes[kPortSize]; };

// Template page of a PortMode code, from the program's service table.
inline const char *mode_page(int port_mode) { return mode_by_port_mode(port_mode)->page; }

struct Platform {
    // Records the library hands out.
    bool dev_missing = false;
    bool port_missing[4] = {};
    Port ports[4];
    int mbus_mode[4] = {};
    MbusMasterInfo rtumaster[4] = {};
    MbusMasterInfo asciimaster[4] = {};
    MbusSlaveInfo rtuslave[4] = {};
    MbusSlaveInfo asciislave[4] = {};

    Port rendered_ports[4];  // the records when the page was rendered
    bool saved = false;      // SaveNewConfig ran
    Port saved_ports[4];     // what it was asked to store

    // The request's form, first occurrence of a name wins.
    std::vector<std::pair<std::string, std::string>> form;
    // INI contents of the system configuration file: section -> key -> value.
    std::map<std::string, std::map<std::string, std::string>> conf;
    // Values handed to CFL_VALUE_SET_MULTI_ITEMS, "section.key=value".
    std::vector<std::string> multi_items_written;

    // Programmable results.
    std::map<int, int> ports_in_use;  // network port -> owning serial port
    const char *save_msg = nullptr;   // message SaveNewConfig sets
    int save_status = 0;              // what it returns: nonzero when it stored nothing
    std::string wanif = "eth0";
    std::map<std::string, std::string> templates;  // path -> template text
    int parse_html_status = 0;
    int reload_hold = -1; // the reload child waits for a byte here before it reports

    // Every call, in order, e.g. "GetPortInfoAlloc 2", "cgi_val todo".
    std::vector<std::string> calls;
    // Device status: the uptime dev_get_uptime gives (none: it fills
    // nothing) and the WAN address if_getinfo gives (empty: it fails).
    bool uptime_known = true;
    UptimeInfo uptime = {0, 5, 3, 9};
    std::string wan_ip = "10.1.2.3";

    // Each port's encryption settings as the library keeps them (changed in
    // place through the pointer it hands out), and ports it keeps none for.
    unsigned char ssl[4][32] = {};
    bool ssl_missing[4] = {};
};

Platform &P();

// Fresh platform with four TCP server ports (data ports 4001..4004), every
// mode page rendering as "page=<file name>", the per-request state the
// program does not set itself (iServiceMode, ret_msg, clear_conn_asked) as
// a new process has it, and the environment of a POST without the headers a
// browser adds.
void reset();

// The exit status and everything the request wrote to standard output.
struct Result {
    int status;
    std::string out;
    std::string body() const { return out.substr(out.find("\n\n") + 2); }  // after the header
};

// Runs one whole request with stdout captured.
Result run_request();

// Adds a form field; several, in order.
void field(const std::string &name, const std::string &value);
void fields(std::initializer_list<std::pair<std::string, std::string>> list);

// Calls of the log whose text starts with prefix, in order.
std::vector<std::string> calls_starting(const std::string &prefix);

// Whether a request may leave a firewall reload child to wait for; a
// harness that never forks one clears it, so no other child is waited for.
extern bool reload_children;

// Waits for every reload child to end; returns the lines they reported,
// "<group> sid=<own|other> cwd=<dir> umask=<octal> sigchld=<ign|dfl> fds=<n>",
// with " let go" or " timed out" added when reload_hold was set.
std::vector<std::string> reloads();

// Port record helpers on the fake's bytes, independent of the program's
// accessors so a fault in those shows: little-endian words, network-order
// ports.
inline int32_t rd32(const Port &p, unsigned off)
{
    const unsigned char *b = p.bytes + off;
    return static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
}
inline void wr32(Port &p, unsigned off, int32_t v)
{
    for (int i = 0; i < 4; ++i)
        p.bytes[off + i] = static_cast<unsigned char>(static_cast<uint32_t>(v) >> (8 * i));
}
inline void wr_port(Port &p, unsigned la, uint16_t port)
{
    p.bytes[la + LA_PORT] = static_cast<unsigned char>(port >> 8);
    p.bytes[la + LA_PORT + 1] = static_cast<unsigned char>(port);
}

// Lines of the trace console file the test build writes to.
std::vector<std::string> console_lines();

}  // namespace fake

#endif
