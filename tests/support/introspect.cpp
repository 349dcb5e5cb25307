// s2n-introspect: prints the program's own tables as one JSON object, so
// tests check templates and requests against the facts the program runs on
// rather than against its source text. One printer per table: a new table
// is a new printer and a new row of kTables.
#include <stdio.h>

#include "messages.h"
#include "modes.h"
#include "state.h"

static void text(const char *s)
{
    putchar('"');
    for (; *s; ++s) {
        unsigned char c = static_cast<unsigned char>(*s);
        if (c == '"' || c == '\\')
            printf("\\%c", c);
        else if (c < 0x20)
            printf("\\u%04x", c);
        else
            putchar(c);
    }
    putchar('"');
}

static const char *boolean(bool b) { return b ? "true" : "false"; }

// Each printer writes its rows as JSON objects; row() starts the next one.
static void row(bool first) { fputs(first ? "\n    {" : ",\n    {", stdout); }

static void fun_tab_rows()
{
    for (const TagEntry *r = fun_tab; r->tag; ++r) {
        row(r == fun_tab);
        fputs("\"tag\": ", stdout);
        text(r->tag);
        printf(", \"getter\": %s, \"setter\": %s}", boolean(r->getter), boolean(r->setter));
    }
}

static void mode_rows()
{
    for (const ServiceModeRow &m : service_modes) {
        row(&m == service_modes);
        printf("\"service_mode\": %d, \"port_mode\": %d, \"page\": ", m.service_mode, m.port_mode);
        text(m.page);
        printf(", \"modbus\": %s}", boolean(m.mbus.master || m.mbus.slave));
    }
}

// The program's message table, each text with the name the code uses for it.
#define S2N_MESSAGE_NAME(name, t) #name,
static const char *const kMessageNames[] = {S2N_MESSAGES(S2N_MESSAGE_NAME)};
#undef S2N_MESSAGE_NAME

static void message_rows()
{
    for (unsigned i = 0; i < s2n_message_count; ++i) {
        row(i == 0);
        fputs("\"name\": ", stdout);
        text(kMessageNames[i]);
        fputs(", \"text\": ", stdout);
        text(s2n_messages[i]);
        putchar('}');
    }
}

static const struct {
    const char *name;
    void (*print)();
} kTables[] = {
    {"fun_tab", fun_tab_rows},
    {"modes", mode_rows},
    {"messages", message_rows},
};

int main()
{
    for (const auto &t : kTables) {
        printf("%s\n  \"%s\": [", &t == kTables ? "{" : ",", t.name);
        t.print();
        fputs("\n  ]", stdout);
    }
    puts("\n}");
    return 0;
}
