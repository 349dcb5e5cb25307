// Per-request state. One process serves one request, so each of these exists
// once per request and starts at its initial value.
#ifndef S2N_STATE_H
#define S2N_STATE_H

#include "cgiweb.h"
#include "devcfg.h"

#define S2N_PORTS 4
#define SYSTEM_CONF "/var/run//system.conf"

extern "C" {
// Configuration items read at start-up and written back after a save that
// changed a per-port entry; exported to the platform libraries by name.
extern ConfigItem mi[];
}

extern DevInfo *pDevInfo;
extern PortInfo *pPortInfo[S2N_PORTS];
extern TtyInfo *pTtyInfo[S2N_PORTS];
extern int lang_index;
extern int iPortIndex;
extern int iServiceMode;
extern const char *ret_msg;
// The request saves: "todo" is "save", the request's own checks let it and
// it holds the save lock. Decided once, right after the form is read.
extern bool save_request;
extern int portmode_info;
extern MbusMasterInfo rtumaster_info;
extern MbusMasterInfo asciimaster_info;
extern MbusSlaveInfo rtuslave_info;
extern MbusSlaveInfo asciislave_info;
extern const TagEntry fun_tab[];

// The selected port's record, or null when the index names no port or the
// library gave no record for it.
static inline PortInfo *sel_port(void)
{
    if (static_cast<unsigned>(iPortIndex) >= S2N_PORTS)
        return nullptr;
    return pPortInfo[iPortIndex];
}

// The whole request: start-up, dispatch, release. Returns the exit status.
int s2n_request(void);

// Dispatcher: port selection, Modbus loads, optional save, page, render.
int parse_cgi(CgiList *list, const TagEntry *tab);

#endif
