// A recording fake of the two platform libraries for request-level tests:
// in-memory records, a call log and programmable results. Tests set up
// fake::P(), call fake::run_request() and look at the result, the log and
// the records.
#ifndef S2N_FAKE_PLATFORM_H
#define S2N_FAKE_PLATFORM_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cgiweb.h"
#include "devcfg.h"

namespace fake {

// The fake's PortInfo allocation: longer than the bytes the program owns,
// so a write past them shows.
constexpr unsigned kPortSize = 768;

struct Port {
    unsigned char bytes[kPortSize];
};

struct Platform {
    // Records the library hands out.
    bool dev_missing = false;
    bool port_missing[4] = {};
    bool tty_missing[4] = {};
    Port ports[4];
    int mbus_mode[4] = {};
    MbusMasterInfo rtumaster[4] = {};
    MbusMasterInfo asciimaster[4] = {};
    MbusSlaveInfo rtuslave[4] = {};
    MbusSlaveInfo asciislave[4] = {};

    // The records in memory when the page was rendered (what getters saw).
    bool rendered = false;
    Port rendered_ports[4];

    // What the library was asked to store.
    bool saved = false;          // SaveNewConfig ran
    Port saved_ports[4];
    bool saved_port_null[4] = {};

    // The request's form, first occurrence of a name wins.
    std::vector<std::pair<std::string, std::string>> form;

    // INI contents of the system configuration file: section -> key -> value.
    std::map<std::string, std::map<std::string, std::string>> conf;
    // Values handed to CFL_VALUE_SET_MULTI_ITEMS, "section.key=value".
    std::vector<std::string> multi_items_written;

    // Programmable results.
    std::map<int, int> ports_in_use;        // network port -> owning serial port
    const char *save_msg = nullptr;         // message SaveNewConfig sets
    int lang_index = 0;
    std::string lang_dir = "en";
    std::string wanif = "eth0";
    std::map<std::string, std::string> templates;  // path -> template text
    int parse_html_status = 0;
    std::string fw_reload_file;             // fw_reload appends "group pid sid\n" here
    int request_pid = 0;                    // the process the request runs in

    // Every call, in order, e.g. "GetPortInfoAlloc 2", "cgi_val todo".
    std::vector<std::string> calls;
    // Frees of records the fake handed out, e.g. "dev", "port 0", "tty 3".
    std::vector<std::string> frees;

    // Device status: the uptime dev_get_uptime gives (none: it fills
    // nothing) and the WAN address if_getinfo gives (empty: it fails).
    bool uptime_known = true;
    UptimeInfo uptime = {0, 5, 3, 9};
    std::string wan_ip = "10.1.2.3";

    // Each port's encryption settings as the library keeps them (changed in
    // place through the pointer it hands out), and ports it keeps none for.
    static constexpr unsigned kSslSize = 32;
    unsigned char ssl[4][kSslSize] = {};
    bool ssl_missing[4] = {};
};

Platform &P();

// Fresh platform with four TCP server ports (data ports 4001..4004), and the
// program's per-request state back at its initial values.
void reset();

struct Result {
    int status;
    std::string out;  // everything the request wrote to standard output
};

// Runs one whole request with stdout captured.
Result run_request();

// Adds a form field.
void field(const std::string &name, const std::string &value);

// Calls of the log whose text starts with prefix, in order.
std::vector<std::string> calls_starting(const std::string &prefix);
// Index of the first call equal to text in the log, or -1.
int call_index(const std::string &text);

// Port record helpers on the fake's bytes (independent of the program's
// accessors, so a fault in those shows).
int32_t rd32(const Port &p, unsigned off);
void wr32(Port &p, unsigned off, int32_t v);
uint16_t rd_port(const Port &p, unsigned la);
void wr_port(Port &p, unsigned la, uint16_t port);
std::string rd_ip(const Port &p, unsigned la);  // dotted text
void wr_ip(Port &p, unsigned la, const char *dotted);

// Lines of the trace console file the test build writes to.
std::vector<std::string> console_lines();
void console_clear();

}  // namespace fake

#endif
