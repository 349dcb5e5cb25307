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

// The rows of tag_table.def, then the end row.
const TagEntry fun_tab[] = {
#define FIELD(tag, name, kind, guard, place) {tag, get_##name, set_##name},
#define TAG(tag, getter, setter) {tag, getter, setter},
#define SHOW(tag, getter) {tag, getter, nullptr},
#include "tag_table.def"
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
