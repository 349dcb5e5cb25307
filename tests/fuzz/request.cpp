// A whole request against the recording fake: random values for every row
// of the tag table that takes one, over random port and Modbus records,
// through the setter pass, the save flow and a page carrying every tag.
// Input:
//   byte 0  h_PortIndex: 0..3, 9, or absent
//   byte 1  bit 0 todo=save; the rest: next_page (none, a mode's page,
//           one that does not exist, one that climbs)
//   byte 2  bits 0..4: the next lines are Origin, Referer, Host,
//           Sec-Fetch-Site, S2N_ALLOWED_HOSTS; bits 5..6 the method: POST,
//           GET, HEAD or none
//   byte 3  bit 0 SaveNewConfig fails with a message; bit 1 no port record,
//           bit 3 no device record; bit 4 no per-port entries
//   byte 4..6  a network port in use (16 bits) and the port using it
//   then lines up to a NUL byte: the headers bits 0..4 ask for, then form
//   fields as "name=value" lines; then record patches of three bytes: an
//   offset (16 bits) into the four ports' records and Modbus records, a
//   byte.
#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>

#include "fake_platform.h"
#include "fuzz.h"
#include "modes.h"
#include "state.h"

// The firewall reload child is not started: a failed fork is a path of its
// own (no reload), and one process keeps the fuzzer fast.
extern "C" pid_t __wrap_fork(void)
{
    errno = EAGAIN;
    return -1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 7)
        return 0;
    fake::reload_children = false;  // fork fails here; the sanitizers' children are not ours
    fake::reset();
    fake::Platform &p = fake::P();
    static const std::string page = [] {  // "<%tag%>" for every row of the table, between bars
        std::string t = "|";
        for (const TagEntry *row = fun_tab; row->tag; ++row)
            t += std::string("<%") + row->tag + "%>|";
        return t;
    }();
    for (auto &t : p.templates)
        t.second = page;

    int port = data[0] % 6;
    if (port < 5)
        fake::field("h_PortIndex", port < 4 ? std::to_string(port) : "9");
    int sel = port < 4 ? port : 0;
    if (data[1] & 1)
        fake::field("todo", "save");
    unsigned next = (data[1] >> 1) % (SERVICE_MODES + 3);
    if (next > 0)
        fake::field("next_page", next <= SERVICE_MODES ? service_modes[next - 1].page
                                 : next == SERVICE_MODES + 1 ? "missing.htm" : "../x");
    if (data[3] & 1) {
        p.save_msg = "save failed";
        p.save_status = -1;
    }
    p.port_missing[sel] = data[3] & 2;
    p.dev_missing = data[3] & 8;
    if (data[3] & 16)
        p.conf.erase("serial");
    int in_use = data[4] | data[5] << 8;
    if (in_use)
        p.ports_in_use[in_use] = data[6] % 4;

    // Lines: the environment's headers first, then the form values.
    const uint8_t *nul = static_cast<const uint8_t *>(std::memchr(data + 7, 0, size - 7));
    std::istringstream lines(std::string(data + 7, nul ? nul : data + size));
    std::string value;
    auto line = [&](bool wanted) { return wanted && std::getline(lines, value); };  // the next line, into value
    int bit = 0;
    for (const char *header : {"HTTP_ORIGIN", "HTTP_REFERER", "HTTP_HOST", "HTTP_SEC_FETCH_SITE", "S2N_ALLOWED_HOSTS"})
        fuzz_env(header, line(data[2] >> bit++ & 1) ? value.c_str() : nullptr);
    static const char *const methods[] = {"POST", "GET", "HEAD", nullptr};
    fuzz_env("REQUEST_METHOD", methods[data[2] >> 5 & 3]);
    while (line(true))
        if (size_t eq = value.find('='); eq != std::string::npos)
            fake::field(value.substr(0, eq), value.substr(eq + 1));

    // Record patches: an offset into the record arrays, one after the other, and a byte.
    const std::pair<void *, size_t> areas[] = {{p.ports, sizeof p.ports}, {p.mbus_mode, sizeof p.mbus_mode},
        {p.rtumaster, sizeof p.rtumaster}, {p.rtuslave, sizeof p.rtuslave}, {p.asciimaster, sizeof p.asciimaster},
        {p.asciislave, sizeof p.asciislave}};
    size_t total = 0;
    for (const auto &a : areas)
        total += a.second;
    for (const uint8_t *q = nul ? nul + 1 : data + size; q + 3 <= data + size; q += 3) {
        size_t off = (q[0] | q[1] << 8) % total;
        const auto *a = areas;
        for (; off >= a->second; ++a)
            off -= a->second;
        static_cast<uint8_t *>(a->first)[off] = q[2];
    }
    fake::Port before[4];
    std::memcpy(before, p.ports, sizeof before);

    fake::Result r = fake::run_request();

    // Nothing before the header; a save refused by a pending message stores
    // nothing; a connection reset follows only a store that went through, and
    // once; the library's bytes past the program's fields are untouched.
    FUZZ_CHECK(r.out.rfind("Content-Type:", 0) == 0 || r.out.rfind("Status: 500", 0) == 0);
    FUZZ_CHECK(!p.saved || !ret_msg || ret_msg == p.save_msg);
    FUZZ_CHECK(!ret_msg || ret_msg == p.save_msg || (!p.saved && fake::calls_starting("set_mbus").empty()));
    const size_t resets = fake::calls_starting("clearConn").size();
    FUZZ_CHECK(resets == 0 || (resets == 1 && p.saved && !p.save_status));
    for (int i = 0; i < 4 && p.saved; ++i)
        FUZZ_CHECK(p.port_missing[i] || std::memcmp(p.saved_ports[i].bytes + PI_MIN_SIZE,
                                                      before[i].bytes + PI_MIN_SIZE,
                                                      fake::kPortSize - PI_MIN_SIZE) == 0);
    return 0;
}
