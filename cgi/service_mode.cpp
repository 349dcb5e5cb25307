// Port selection and service mode tags, with the service mode trace lines on
// the system console.
#include <stdio.h>
#include <string.h>

#include "modes.h"
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

// Each trace line opens the console, writes and closes it; a console that
// cannot be opened drops the line.
static void trace_text(const char *line)
{
    FILE *console = fopen(S2N_CONSOLE_PATH, S2N_CONSOLE_MODE);
    if (!console)
        return;
    fputs(line, console);
    fclose(console);
}

// The summary line of a service mode tag, "<who>: pPortInfo[%d]->port_mode=%d
// iServiceMode=%d\n", put together with the shared decimal writer rather
// than the printf machinery.
static void trace_summary(const char *who, int port, int port_mode, int service_mode)
{
    static const char *const parts[] = {": pPortInfo[", "]->port_mode=", " iServiceMode="};
    const int values[] = {port, port_mode, service_mode};
    // A name of at most 32 characters, 38 of fixed text, three numbers of at
    // most 11 characters, the newline and the end mark.
    enum { WHO_MAX = 32, SUMMARY_SIZE = 128 };
    char line[SUMMARY_SIZE];
    size_t len = strnlen(who, WHO_MAX);
    memcpy(line, who, len);
    for (int i = 0; i < 3; ++i) {
        size_t n = strlen(parts[i]);
        memcpy(line + len, parts[i], n);
        len += n;
        len += dec_text(line + len, values[i]);
    }
    memcpy(line + len, "\n", 2);
    trace_text(line);
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
        trace_summary("get_ServiceMode", iPortIndex, -1, iServiceMode);
        return 0;
    }
    int32_t mode = pi_i32(port, PI_PORT_MODE);
    if (const ServiceModeRow *row = mode_by_port_mode(mode)) {
        trace_text(row->get_line);
        iServiceMode = row->service_mode;
    }
    trace_summary("get_ServiceMode", iPortIndex, mode, iServiceMode);
    print_dec(iServiceMode);
    return 0;
}

// Takes the page's number into iServiceMode, which guards every later
// mode-specific setter, and stores the matching PortMode code.
int set_ServiceMode(const char *value)
{
    iServiceMode = dec_value(value);
    PortInfo *port = sel_port();
    const ServiceModeRow *row = mode_by_service(iServiceMode);
    if (port && row) {
        trace_text(row->set_line);
        pi_set_i32(port, PI_PORT_MODE, row->port_mode);
    }
    trace_summary("set_ServiceMode", iPortIndex, port ? pi_i32(port, PI_PORT_MODE) : -1, iServiceMode);
    return 0;
}
