// Firmware version, the pending message and the connection reset.
#include <stdio.h>

#include "catalogues.h"
#include "devcfg.h"
#include "state.h"
#include "tags.h"

// Read from the system configuration each time, not from the copy loaded at
// start-up; nothing when it holds no version.
int get_fw_version(void *)
{
    const char *version = sysconf_getvalue("system", "fw_version");
    if (version)
        fputs(version, stdout);
    return 0;
}

// The page's language is looked up only when there is a message to show.
int get_ret_msg(void *)
{
    if (ret_msg)
        fputs(message_in(ret_msg, lang_get_tag(lang_index)), stdout);
    return 0;
}

int get_ClearConn(void *)
{
    fputc('0', stdout);
    return 0;
}

// Any value asks for the selected port's connections to be cleared: the
// field's presence in a save is the request. The save flow clears them once
// the save is stored, so a refused or failed save resets nothing.
int clear_connection(const char *)
{
    clear_conn_asked = true;
    return 0;
}
