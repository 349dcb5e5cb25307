// Port selection and service mode tags, with the service mode trace lines on
// the system console.
#include <fcntl.h>
#include <unistd.h>

#include "modes.h"
#include "numtext.h"
#include "output.h"
#include "record.h"
#include "state.h"
#include "tags.h"
#include "text.h"

// Where trace lines go: the system console on the device. Host builds point
// it at a file and append, so the lines add up; a request can change
// neither.
#ifndef S2N_CONSOLE_PATH
#define S2N_CONSOLE_PATH "/dev/console"
#endif
#ifndef S2N_CONSOLE_APPEND
#define S2N_CONSOLE_APPEND 0
#endif

static const int kConsoleFlags = O_WRONLY | O_CREAT | (S2N_CONSOLE_APPEND ? O_APPEND : O_TRUNC);

// Each trace line opens the console, writes and closes it; a console that
// cannot be opened drops the line. Plain system calls: a line needs no
// stream buffer.
static void trace_bytes(const char *line, size_t len)
{
    int fd = open(S2N_CONSOLE_PATH, kConsoleFlags, 0666);
    if (fd < 0)
        return;
    // A device may take a line in parts; an error ends it, as in stdio.
    while (len > 0) {
        ssize_t n = write(fd, line, len);
        if (n <= 0)
            break;
        line += n;
        len -= static_cast<size_t>(n);
    }
    close(fd);
}

static void trace_text(const char *line)
{
    trace_bytes(line, text_len(line));
}

// The summary line of a service mode tag, "<who>: pPortInfo[%d]->port_mode=%d
// iServiceMode=%d\n", put together with the shared decimal writer.
static void trace_summary(const char *who, int port, int port_mode, int service_mode)
{
    static const char port_text[] = ": pPortInfo[";
    static const char mode_text[] = "]->port_mode=";
    static const char service_text[] = " iServiceMode=";
    // A name of at most 32 characters, 38 of fixed text, three numbers of at
    // most 11 characters and the newline.
    enum { WHO_MAX = 32, SUMMARY_SIZE = 128 };
    char line[SUMMARY_SIZE];
    char *end = copy_bytes(line, who, text_len_max(who, WHO_MAX));
    end = copy_bytes(end, port_text, sizeof port_text - 1);
    end += dec_text(end, port);
    end = copy_bytes(end, mode_text, sizeof mode_text - 1);
    end += dec_text(end, port_mode);
    end = copy_bytes(end, service_text, sizeof service_text - 1);
    end += dec_text(end, service_mode);
    *end++ = '\n';
    trace_bytes(line, static_cast<size_t>(end - line));
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
    static const char first[] = "<option selected>Port1</option>";
    static const char item_open[] = "<option>Port";
    static const char item_close[] = "</option>";
    char list[sizeof first + S2N_PORTS * (sizeof item_open + DEC_TEXT_SIZE + sizeof item_close)];
    char *end = copy_bytes(list, first, sizeof first - 1);
    for (int n = 2; n <= S2N_PORTS; ++n) {
        end = copy_bytes(end, item_open, sizeof item_open - 1);
        end += dec_text(end, n);
        end = copy_bytes(end, item_close, sizeof item_close - 1);
    }
    out_text(list, static_cast<size_t>(end - list));
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
