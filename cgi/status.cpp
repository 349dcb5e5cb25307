// Firmware version, the pending message and the connection reset.
#include "devcfg.h"
#include "output.h"
#include "state.h"
#include "tags.h"

// Read from the system configuration each time, not from the copy loaded at
// start-up; nothing when it holds no version.
int get_fw_version(void *)
{
    const char *version = sysconf_getvalue("system", "fw_version");
    if (version)
        out_str(version);
    return 0;
}

int get_ret_msg(void *)
{
    if (ret_msg)
        out_str(ret_msg);
    return 0;
}

int get_ClearConn(void *)
{
    out_char('0');
    return 0;
}

// Any value clears the selected port's connections: the field's presence in
// a save is the request.
int clear_connection(const char *)
{
    clearConn(iPortIndex);
    return 0;
}
