// Firmware version, the pending message and the connection reset.
#include "catalogues.h"
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

// The page's language is looked up only when there is a message to show.
int get_ret_msg(void *)
{
    if (ret_msg)
        out_str(message_in(ret_msg, lang_get_tag(lang_index)));
    return 0;
}

int get_ClearConn(void *)
{
    out_char('0');
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
