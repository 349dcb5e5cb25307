// s2n-introspect: prints the program's own tables as one JSON object, so
// tests check templates and requests against the facts the program runs on
// rather than against its source text. A new table is a new printer and a
// new row of kTables. Names and texts hold no quote (should one ever, the
// JSON no longer parses and every reader fails loudly); input patterns hold
// backslashes, which json_text escapes.
#include <stdarg.h>
#include <stdio.h>

#include "fields.h"
#include "modes.h"
#include "state.h"

// One row of a table as a JSON object: fmt gives its members.
__attribute__((format(printf, 2, 3))) static void row(bool first, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    fputs(first ? "\n    {" : ",\n    {", stdout);
    vprintf(fmt, ap);
    putchar('}');
    va_end(ap);
}

static void fun_tab_rows()
{
    for (const TagEntry *r = fun_tab; r->tag; ++r)
        row(r == fun_tab, "\"tag\": \"%s\", \"setter\": %s", r->tag, r->setter ? "true" : "false");
}

static void mode_rows()
{
    for (const ServiceModeRow &m : service_modes)
        row(&m == service_modes, "\"page\": \"%s\"", m.page);
}

// Text as a JSON string, backslashes escaped; null for no text.
static const char *json_text(const char *text)
{
    static char out[256];
    if (!text)
        return "null";
    size_t n = 0;
    out[n++] = '"';
    for (; *text && n < sizeof out - 3; ++text) {
        if (*text == '\\')
            out[n++] = '\\';
        out[n++] = *text;
    }
    out[n++] = '"';
    out[n] = '\0';
    return out;
}

// Each checked setting with the limits of its kind; the pages' inputs
// follow them.
static void limit_rows()
{
    static const char *const kRules[] = {"number", "address", "text", "any"};
    static const char *const kNames[] = {
#define KIND(id, name, rule, min, max, message) name,
#include "field_kinds.def"
#undef KIND
    };
    bool first = true;
    for (const FormField &f : form_fields) {
        const FieldKind &k = field_kinds[f.kind];
        if (k.rule == RULE_ANY)
            continue;
        row(first, "\"tag\": \"%s\", \"kind\": \"%s\", \"rule\": \"%s\", \"min\": %d, \"max\": %d, \"pattern\": %s",
            f.tag, kNames[f.kind], kRules[k.rule], static_cast<int>(k.min), static_cast<int>(k.max),
            json_text(k.rule == RULE_ADDRESS ? ADDRESS_PATTERN : nullptr));
        first = false;
    }
}

static const struct { const char *name; void (*print)(); } kTables[] = {
    {"fun_tab", fun_tab_rows},
    {"modes", mode_rows},
    {"limits", limit_rows},
};

int main()
{
    for (const auto &t : kTables) {
        printf("%s\n  \"%s\": [", &t == kTables ? "{" : ",", t.name);
        t.print();
        fputs("\n  ]", stdout);
    }
    puts("\n}");
}
