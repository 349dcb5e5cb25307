// Port selection and service mode tags, with the service mode trace lines on
// the system console.
#include <stdarg.h>
#include <stdio.h>

#include "numtext.h"
#include "record.h"
#include "state.h"
#include "tags.h"

// Where trace lines go: the system console on the device. Host builds point
// it at a file (opened for appending so the lines add up); a request can
// change neither.
#ifndef S2N_CONSOLE_PATH
#define S2N_CONSOLE_PATH "/dev/console"
#endif
#ifndef S2N_CONSOLE_MODE
#define S2N_CONSOLE_MODE "w"
#endif

// One service, in both numberings: the page's ServiceMode (index + 1) and
// the record's PortMode, with their trace lines.
struct ModeRow {
    int port_mode;
    const char *set_line;
};

static const ModeRow service_modes[8] = {
    {PORT_VIRTUALCOM_MODE, "set_ServiceMode: ENUM_SEVICE_MODE_VCOM\n"},
    {PORT_SERVER_MODE, "set_ServiceMode: ENUM_SEVICE_MODE_SERVER\n"},
    {PORT_CLIENT_MODE, "set_ServiceMode: ENUM_SEVICE_MODE_CLIENT\n"},
    {PORT_UDP_MODE, "set_ServiceMode: ENUM_SEVICE_MODE_UDP\n"},
    {RTU_SLAVE_MODE, "set_ServiceMode: ENUM_RTU_SLAVE_MODE\n"},
    {RTU_MASTER_MODE, "set_ServiceMode: ENUM_RTU_MASTER_MODE\n"},
    {ASCII_SLAVE_MODE, "set_ServiceMode: ENUM_ASCII_SLAVE_MODE\n"},
    {ASCII_MASTER_MODE, "set_ServiceMode: ENUM_ASCII_MASTER_MODE\n"},
};

// Indexed by PortMode code: the page's number and the get trace line.
struct PortModeRow {
    int service_mode;
    const char *get_line;
};

static const PortModeRow port_modes[8] = {
    {2, "get_ServiceMode PORT_SERVER_MODE\n"},
    {3, "get_ServiceMode PORT_CLIENT_MODE\n"},
    {4, "get_ServiceMode PORT_UDP_MODE\n"},
    {1, "get_ServiceMode PORT_VIRTUALCOM_MODE\n"},
    {5, "get_ServiceMode RTU_SLAVE_MODE\n"},
    {6, "get_ServiceMode RTU_MASTER_MODE\n"},
    {7, "get_ServiceMode ASCII_SLAVE_MODE\n"},
    {8, "get_ServiceMode ASCII_MASTER_MODE\n"},
};

// Each trace line opens the console, writes and closes it; a console that
// cannot be opened drops the line.
static void trace(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
static void trace(const char *fmt, ...)
{
    FILE *console = fopen(S2N_CONSOLE_PATH, S2N_CONSOLE_MODE);
    if (!console)
        return;
    va_list ap;
    va_start(ap, fmt);
    vfprintf(console, fmt, ap);
    va_end(ap);
    fclose(console);
}

static void trace_text(const char *line)
{
    trace("%s", line);
}

int get_PortIndex(void *)
{
    print_dec(iPortIndex);
    return 0;
}

// The dispatcher has already taken the same field and refused a port
// outside 0..3, so only a valid index can arrive here; keep it that way.
int set_PortIndex(const char *value)
{
    int index = dec_value(value);
    if (static_cast<unsigned>(index) < S2N_PORTS)
        iPortIndex = index;
    return 0;
}

// The pages mark the selected port themselves from "h_PortIndex".
int get_PortList(void *)
{
    fputs("<option selected>Port1</option>", stdout);
    for (int n = 2; n <= S2N_PORTS; ++n) {
        fputs("<option>Port", stdout);
        print_dec(n);
        fputs("</option>", stdout);
    }
    return 0;
}

int set_PortList(const char *)
{
    return 0;
}

int get_PortNum(void *)
{
    print_dec(S2N_PORTS);
    return 0;
}

// Shows the record's mode as the page's number. A port without a record
// prints nothing and leaves iServiceMode; its summary line shows -1.
int get_ServiceMode(void *)
{
    const PortInfo *port = sel_port();
    if (!port) {
        trace("get_ServiceMode: pPortInfo[%d]->port_mode=%d iServiceMode=%d\n", iPortIndex, -1,
              iServiceMode);
        return 0;
    }
    int32_t mode = pi_i32(port, PI_PORT_MODE);
    if (static_cast<uint32_t>(mode) < 8) {
        trace_text(port_modes[mode].get_line);
        iServiceMode = port_modes[mode].service_mode;
    }
    trace("get_ServiceMode: pPortInfo[%d]->port_mode=%d iServiceMode=%d\n", iPortIndex, mode,
          iServiceMode);
    print_dec(iServiceMode);
    return 0;
}

// Takes the page's number into iServiceMode, which guards every later
// mode-specific setter, and stores the matching PortMode code.
int set_ServiceMode(const char *value)
{
    iServiceMode = dec_value(value);
    PortInfo *port = sel_port();
    // Subtract in unsigned arithmetic: INT_MIN - 1 must not overflow.
    uint32_t index = static_cast<uint32_t>(iServiceMode) - 1u;
    if (port && index < 8) {
        trace_text(service_modes[index].set_line);
        pi_set_i32(port, PI_PORT_MODE, service_modes[index].port_mode);
    }
    trace("set_ServiceMode: pPortInfo[%d]->port_mode=%d iServiceMode=%d\n", iPortIndex,
          port ? pi_i32(port, PI_PORT_MODE) : -1, iServiceMode);
    return 0;
}
