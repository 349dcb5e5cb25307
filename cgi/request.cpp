// Request lifecycle: read the form, load the device, port and serial line
// records, dispatch, release everything.
#include <stdlib.h>

#include "origin.h"
#include "save.h"
#include "state.h"
#include "text.h"

extern "C" {
ConfigItem mi[3] = {
    {.section = "system", .key = "fw_version", .kind = 1, .value = {0}},
    {.section = "serial", .key = "s2n_remoteman", .kind = 1, .value = {0}},
    {.section = nullptr, .key = nullptr, .kind = 1, .value = {0}},
};
}

DevInfo *pDevInfo;
PortInfo *pPortInfo[S2N_PORTS];
TtyInfo *pTtyInfo[S2N_PORTS];
int lang_index = -1;
int iPortIndex;
int iServiceMode;
const char *ret_msg;
bool save_request;
bool clear_conn_asked;
int portmode_info;
MbusMasterInfo rtumaster_info;
MbusMasterInfo asciimaster_info;
MbusSlaveInfo rtuslave_info;
MbusSlaveInfo asciislave_info;

// Whether this request saves, decided once from the form and the request's
// own checks. A save takes the save lock here, before it reads anything it
// will store; a refused save becomes a page view that says why.
static bool decide_save(CgiList *form)
{
    const char *todo = cgi_val(form, "todo");
    if (!todo || !text_equal(todo, "save"))
        return false;
    const char *refusal = save_refusal();
    if (!refusal)
        refusal = save_lock_take();
    ret_msg = refusal;
    return !refusal;
}

int s2n_request(void)
{
    CgiList *form = nullptr;
    read_cgi_input(&form);
    lang_index = lang_get_index(cgi_val(form, "lang"));
    save_request = decide_save(form);
    CFL_GET_MULTI_ITEMS(mi, SYSTEM_CONF);

    GetDevInfoAlloc(&pDevInfo);
    if (!pDevInfo) {
        CgiError();
        save_lock_release();
        list_clear(&form);
        return 1;
    }
    for (int port = 0; port < S2N_PORTS; ++port) {
        GetPortInfoAlloc(&pPortInfo[port], port);
        GetTtyInfoAlloc(&pTtyInfo[port], port);
    }

    int status = parse_cgi(form, fun_tab);

    save_lock_release();
    list_clear(&form);
    free(pDevInfo);
    pDevInfo = nullptr;
    for (int port = 0; port < S2N_PORTS; ++port) {
        free(pPortInfo[port]);
        pPortInfo[port] = nullptr;
        free(pTtyInfo[port]);
        pTtyInfo[port] = nullptr;
    }
    return status;
}
