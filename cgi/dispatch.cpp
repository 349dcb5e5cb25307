// Tag table and dispatcher: port selection, Modbus loads, the setter pass of
// a save, page choice and rendering.
#include <string.h>

#include "modes.h"
#include "numtext.h"
#include "record.h"
#include "save.h"
#include "state.h"
#include "tags.h"
#include "text.h"

// Row order is the order of the setter pass: "h_PortIndex" first, then the
// service mode before every row its mode guards, and each range's start
// before its end.
const TagEntry fun_tab[] = {
    {"h_PortIndex", get_PortIndex, set_PortIndex},
    {"PortList", get_PortList, set_PortList},
    {"PortNum", get_PortNum, nullptr},
    {"fw_version", get_fw_version, nullptr},
    {"uptime", get_uptime, nullptr},
    {"wanip", get_wanip, nullptr},
    {"h_ServiceMode", get_ServiceMode, set_ServiceMode},
    {"VcomIdleTimeout", get_VcomIdleTimeout, set_VcomIdleTimeout},
    {"VcomAliveCheck", get_VcomAliveCheck, set_VcomAliveCheck},
    {"tcp_server_port", get_tcp_server_port, set_tcp_server_port},
    {"server_idle_timeout", get_server_idle_timeout, set_server_idle_timeout},
    {"server_alive_check", get_server_alive_check, set_server_alive_check},
    {"tcp_client_ip", get_tcp_client_ip, set_tcp_client_ip},
    {"tcp_client_port", get_tcp_client_port, set_tcp_client_port},
    {"client_idle_timeout", get_client_idle_timeout, set_client_idle_timeout},
    {"client_alive_check", get_client_alive_check, set_client_alive_check},
    {"client_link_ip1", get_client_link_ip1, set_client_link_ip1},
    {"client_link_port1", get_client_link_port1, set_client_link_port1},
    {"client_link_ip2", get_client_link_ip2, set_client_link_ip2},
    {"client_link_port2", get_client_link_port2, set_client_link_port2},
    {"client_link_ip3", get_client_link_ip3, set_client_link_ip3},
    {"client_link_port3", get_client_link_port3, set_client_link_port3},
    {"client_link_ip4", get_client_link_ip4, set_client_link_ip4},
    {"client_link_port4", get_client_link_port4, set_client_link_port4},
    {"udp_port", get_udp_port, set_udp_port},
    {"HostStartIp1", get_HostStartIp1, set_HostStartIp1},
    {"HostEndIp1", get_HostEndIp1, set_HostEndIp1},
    {"SendPort1", get_SendPort1, set_SendPort1},
    {"HostStartIp2", get_HostStartIp2, set_HostStartIp2},
    {"HostEndIp2", get_HostEndIp2, set_HostEndIp2},
    {"SendPort2", get_SendPort2, set_SendPort2},
    {"HostStartIp3", get_HostStartIp3, set_HostStartIp3},
    {"HostEndIp3", get_HostEndIp3, set_HostEndIp3},
    {"SendPort3", get_SendPort3, set_SendPort3},
    {"HostStartIp4", get_HostStartIp4, set_HostStartIp4},
    {"HostEndIp4", get_HostEndIp4, set_HostEndIp4},
    {"SendPort4", get_SendPort4, set_SendPort4},
    {"h_VcomLinkCnt", get_VcomLinkCnt, set_VcomLinkCnt},
    {"h_ServerLinkCnt", get_ServerLinkCnt, set_ServerLinkCnt},
    {"h_ConnectOn", get_ConnectOn, set_ConnectOn},
    {"h_EncryptionEnable", get_EncryptionEnable, set_EncryptionEnable},
    {"rtumaster_host_addr", get_rtumaster_host_addr, set_rtumaster_host_addr},
    {"rtumaster_host_port", get_rtumaster_host_port, set_rtumaster_host_port},
    {"rtumaster_idle_timeout", get_rtumaster_idle_timeout, set_rtumaster_idle_timeout},
    {"rtumaster_alive_check", get_rtumaster_alive_check, set_rtumaster_alive_check},
    {"rtuslave_server_port", get_rtuslave_server_port, set_rtuslave_server_port},
    {"rtuslave_max_connect", get_rtuslave_max_connect, set_rtuslave_max_connect},
    {"rtuslave_max_try", get_rtuslave_max_try, set_rtuslave_max_try},
    {"rtuslave_rqstpause", get_rtuslave_rqstpause, set_rtuslave_rqstpause},
    {"rtuslave_respwait", get_rtuslave_respwait, set_rtuslave_respwait},
    {"rtuslave_idle_timeout", get_rtuslave_connect_timeout, set_rtuslave_connect_timeout},
    {"asciimaster_host_addr", get_asciimaster_host_addr, set_asciimaster_host_addr},
    {"asciimaster_host_port", get_asciimaster_host_port, set_asciimaster_host_port},
    {"asciimaster_idle_timeout", get_asciimaster_idle_timeout, set_asciimaster_idle_timeout},
    {"asciimaster_alive_check", get_asciimaster_alive_check, set_asciimaster_alive_check},
    {"asciislave_server_port", get_asciislave_server_port, set_asciislave_server_port},
    {"asciislave_max_connect", get_asciislave_max_connect, set_asciislave_max_connect},
    {"asciislave_max_try", get_asciislave_max_try, set_asciislave_max_try},
    {"asciislave_rqstpause", get_asciislave_rqstpause, set_asciislave_rqstpause},
    {"asciislave_respwait", get_asciislave_respwait, set_asciislave_respwait},
    {"asciislave_idle_timeout", get_asciislave_connect_timeout, set_asciislave_connect_timeout},
    {"h_ClearConn", get_ClearConn, clear_connection},
    {"ret_msg", get_ret_msg, nullptr},
    {nullptr, nullptr, nullptr},
};

enum { PAGE_NAME_SIZE = 128, TEMPLATE_PATH_SIZE = 64 };

// A page the form may name: a plain, non-empty file name that fits the page
// buffer. Anything else could make the renderer read outside the language
// folder, or name the folder itself.
static bool plain_page_name(const char *s)
{
    if (!s || s[0] == '\0' || s[0] == '.')
        return false;
    for (size_t i = 0; i < PAGE_NAME_SIZE; ++i) {
        if (s[i] == '\0')
            return true;
        if (s[i] == '/' || s[i] == '\\')
            return false;
    }
    return false;
}

// The page of the port's stored mode: empty for a missing record or a mode
// outside 0..7.
static const char *page_of_mode(const PortInfo *port)
{
    if (!port)
        return "";
    const ServiceModeRow *mode = mode_by_port_mode(pi_i32(port, PI_PORT_MODE));
    return mode ? mode->page : "";
}

// Template path "<language folder>/<page>"; false when it does not fit.
static bool template_path(char *path, const char *page)
{
    const char *dir = lang_get_tag(lang_index);
    if (!dir)
        dir = "";
    size_t dir_len = text_len_max(dir, TEMPLATE_PATH_SIZE);
    size_t page_len = text_len_max(page, TEMPLATE_PATH_SIZE);
    if (dir_len + 1 + page_len >= TEMPLATE_PATH_SIZE)
        return false;
    char *end = copy_bytes(path, dir, dir_len);
    *end++ = '/';
    end = copy_bytes(end, page, page_len);
    *end = '\0';
    return true;
}

int parse_cgi(CgiList *list, const TagEntry *tab)
{
    char path[TEMPLATE_PATH_SIZE];
    memset(path, 0, sizeof path);

    const char *index = cgi_val(list, "h_PortIndex");
    const char *next_page = cgi_val(list, "next_page");
    if (!plain_page_name(next_page))
        next_page = nullptr;

    iPortIndex = 0;
    if (index)
        iPortIndex = dec_value(index);
    // A port outside the four records, or a named page whose path cannot be
    // built, is refused before anything is loaded or stored.
    if (static_cast<unsigned>(iPortIndex) >= S2N_PORTS ||
        (next_page && !template_path(path, next_page))) {
        CgiError();
        return 1;
    }

    get_mbus_mode_info(&portmode_info, iPortIndex);
    get_mbus_rtumaster_mode_info(&rtumaster_info, iPortIndex);
    get_mbus_rtuslave_mode_info(&rtuslave_info, iPortIndex);
    get_mbus_asciimaster_mode_info(&asciimaster_info, iPortIndex);
    get_mbus_asciislave_mode_info(&asciislave_info, iPortIndex);

    // A refused save is a page view: no setter runs, nothing is stored.
    if (save_request) {
        save_keep_loaded(next_page);
        for (const TagEntry *row = tab; row->tag; ++row) {
            const char *value = cgi_val(list, row->tag);
            if (value && row->setter)
                row->setter(value);
        }
        save_flow(next_page);
        save_lock_release();  // stored and in line: the page needs no lock
    }

    // Without a named page, the record read after the save picks it, so a
    // mode changed now shows the new mode's page.
    if (!next_page && !template_path(path, page_of_mode(sel_port()))) {
        CgiError();
        return 1;
    }
    html_header();
    return parse_html(path, tab);
}
