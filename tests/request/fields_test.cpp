// Every setting of the field table under the rule that a save is either
// refused or shows back what was typed: texts drawn from the setting's kind
// (edges, other notations, leading zeros, signs, blanks) are saved in the
// setting's own service, on the page that stores it. A refused save leaves
// the kind's message (or the number notation's), stores, syncs, reloads and
// resets nothing and shows the stored value; any other save is stored and
// shows the text in its plain form. The range starts and ends have a test
// of their own with the range setters.
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "fields.h"
#include "messages.h"
#include "state.h"

namespace {

using fake::P;

// What a setting is expected to show for a text: the plain form, or the
// message that refuses it.
struct Outcome { std::string shown; const char *msg = nullptr; };

Outcome number(const FormField &f, const FieldKind &k, const std::string &t)
{
    if (!std::regex_match(t, std::regex("\\s*[+-]?[0-9]+\\s*")))
        return {"", MSG_NOT_A_NUMBER};
    long long v = std::stoll(t);
    if (v < k.min || v > k.max)
        return {"", k.message};
    return {std::to_string(v == 0 && f.fallback ? f.fallback : v)};
}

// Dotted text: 1 to 4 parts of 0 to 255 without leading zeros, shown
// without its trailing zero octets; empty has the kind's meaning. The
// pages' input pattern takes the same texts.
Outcome address(const FieldKind &k, const std::string &t, FieldKindId kind)
{
    if (t.empty())
        return {kind == KIND_ADDRESS ? "255.255.255.255" : ""};
    if (!std::regex_match(t, std::regex("((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])(\\.|$)){1,4}")) ||
        t.back() == '.')
        return {"", k.message};
    std::string shown = t;
    while (shown.size() > 2 && shown.compare(shown.size() - 2, 2, ".0") == 0)
        shown.resize(shown.size() - 2);
    return {shown == "0" ? (kind == KIND_ADDRESS ? "0.0.0.0" : "") : shown};
}

Outcome text(const FieldKind &k, const std::string &t)
{
    if (t.size() > static_cast<size_t>(k.max))
        return {"", k.message};
    std::string shown;
    for (char c : t)
        shown += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '&' ? "&amp;" : c == '"' ? "&quot;" : c == '\'' ? "&#39;" : std::string(1, c);
    return {shown};
}

std::vector<std::string> texts(const FieldKind &k)
{
    if (k.rule == RULE_ADDRESS)
        return {"10.0.0.1", "0", "0.0.0.0", "255.255.255.255", "192.168.1", "192.168.1.0", "0.0.0.1", "0.1.0.0",
                "010.0.0.1", "1.2.3.4.5", "256.0.0.1", "300.1.1.1", " 10.0.0.1", "10.0.0.1 ", "", "1..2", "1.2.3.",
                "-1", "1e1", "0x7f.1", "my-server", "10.0.0.999999999999999"};
    if (k.rule == RULE_TEXT)
        return {"", "x", " a b ", "<&\"'", std::string(k.max, 'h'), std::string(k.max + 1, 'h')};
    const std::string lo = std::to_string(k.min), hi = std::to_string(k.max);
    return {lo, hi, std::to_string(k.min - 1ll), std::to_string(k.max + 1ll), "0", "1", "-1", "+" + hi, "0" + hi,
            "-0", "007", " 12 ", "\t7\n", "1.5", "1.", "1e1", "4.001e3", "0x10", "12abc", "abc", "", " ", "+", "-",
            "--1", "1 2", "99999999999", "-99999999999"};
}

TEST(FieldTable, EveryValueIsRefusedOrReadBackAsTyped)
{
    for (const FormField &f : form_fields) {
        const FieldKind &k = field_kinds[f.kind];
        if (k.rule == RULE_ANY || f.kind == KIND_RANGE_START || f.kind == KIND_RANGE_END)
            continue;
        SCOPED_TRACE(f.tag);
        // A refusal's message names what the kind takes.
        const std::string range = k.rule == RULE_NUMBER ? std::to_string(k.min) + " to " + std::to_string(k.max)
                                  : k.rule == RULE_ADDRESS ? "0 to 255" : "at most " + std::to_string(k.max);
        EXPECT_NE(std::string(k.message).find(range), std::string::npos) << k.message;
        // A Modbus setting is stored from its own page, in its own service.
        std::string page = "t.htm", mode = std::to_string(f.guard);
        for (const ServiceModeRow &m : service_modes)
            if (f.place == IN_MODBUS && (modbus_record(&m).master == f.record || modbus_record(&m).slave == f.record)) {
                page = m.page;
                mode = std::to_string(m.service_mode);
            }
        auto request = [&](const std::string *value) {
            fake::reset();
            P().templates["en/" + page] = std::string("<%") + f.tag + "%>";
            if (value)
                fake::fields({{"todo", "save"}, {"next_page", page}, {"h_ServiceMode", mode}, {f.tag, *value},
                              {"h_ClearConn", "0"}});
            else
                fake::field("next_page", page);
            return fake::run_request().body();
        };
        const std::string stored = request(nullptr);
        for (const std::string &t : texts(k)) {
            SCOPED_TRACE("typed \"" + t + "\"");
            const Outcome want = k.rule == RULE_NUMBER    ? number(f, k, t)
                                 : k.rule == RULE_ADDRESS ? address(k, t, f.kind)
                                                          : text(k, t);
            if (k.rule == RULE_ADDRESS && !t.empty()) {
                EXPECT_EQ(std::regex_match(t, std::regex(ADDRESS_PATTERN)), !want.msg);
            }
            EXPECT_EQ(request(&t), want.msg ? stored : want.shown);
            EXPECT_STREQ(ret_msg, want.msg);
            EXPECT_EQ(P().saved, !want.msg);
            EXPECT_EQ(fake::calls_starting("set_mbus").size(), want.msg ? 0u : f.place == IN_MODBUS ? 2u : 1u);
            // A Modbus setting's store is that of its own record ("rtuslave_..." by set_mbus_rtuslave_mode_info).
            const std::string tag = f.tag, store = "set_mbus_" + tag.substr(0, tag.find('_')) + "_mode_info";
            EXPECT_TRUE(f.place != IN_MODBUS || fake::calls_starting(store).size() == !want.msg) << store;
            EXPECT_EQ(fake::calls_starting("clearConn").size(), want.msg ? 0u : 1u);
            EXPECT_TRUE(fake::calls_starting("CFL_VALUE_SET").empty() || !want.msg);
        }
    }
}

}  // namespace
