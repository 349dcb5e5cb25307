"""The generated template pages through the real program: in every language
the build rendered, each page of the service table renders with every tag
filled in (a page listing the defaults of fields set to 0 lists those the
program shows), and every row of fun_tab that takes a value is a form field
on some page of each language, with the limits the program refuses by."""

import json
import os
import re

from devkit import FACTS, MODE_PAGES, DeviceTest

WWW = os.environ.get("S2N_WWW", "")


def tag_rows():
    """fun_tab as the tag of each row and whether the row has a setter."""
    return {row["tag"]: row["setter"] for row in FACTS["fun_tab"]}


class TemplateTest(DeviceTest):
    def test_every_page_renders_through_the_program(self):
        langs = sorted(d for d in os.listdir(WWW) if d != "static")
        self.assertLessEqual({"en", "de"}, set(langs))
        setters = {tag for tag, setter in tag_rows().items() if setter}
        for lang in langs:
            with self.subTest(lang=lang):
                self.assertEqual(sorted(os.listdir(os.path.join(WWW, lang))), sorted(MODE_PAGES))
                fields = set()
                for number, page in enumerate(MODE_PAGES, 1):
                    r = self.request("lang=%s&h_PortIndex=1&next_page=%s" % (lang, page))
                    # A tag naming no row would be left as it stands.
                    self.assertEqual((r.exit, r.status, re.findall(r"<%\w*%>", r.body)), (0, 200, []), page)
                    # The devkit serves this language, and the page is its service's.
                    self.assertEqual((r.field("lang"), r.field("next_page"), r.field("h_ServiceMode")),
                                     (lang, page, str(number)))
                    fields |= set(re.findall(r'<(?:input|select|button)\b[^>]*\bname="(\w+)"', r.body))
                    # A fresh device's Modbus fields are 0: a page listing
                    # defaults lists what the program then shows.
                    listed = re.search(r'class="hint defaults">\D*0\D*(.*?)</p>', r.body, re.S)
                    if listed:
                        self.assertEqual(re.findall(r"\d+", listed.group(1)),
                                         re.findall(r'<input name="\w+" value="(\d+)" type="number"', r.body), page)
                self.assertEqual(setters - fields, set())

    def test_inputs_carry_the_program_limits(self):
        # The limits the page build read from the program's rows are those
        # the program compiled from them; the browser refuses what the
        # program refuses: a page may only ask for more (a higher minimum).
        with open(os.path.join(WWW, "..", "gen", "field_limits.json")) as f:
            generated = {tag: row for tag, row in json.load(f).items() if row["rule"] != "any"}
        self.assertEqual({row["tag"]: {k: row[k] for k in ("rule", "min", "max", "pattern")} for row in FACTS["limits"]},
                         generated)
        for lang in sorted(d for d in os.listdir(WWW) if d != "static"):
            seen = set()
            for page in MODE_PAGES:
                with open(os.path.join(WWW, lang, page)) as f:
                    inputs = re.findall(r'<input\b(?:[^>"]|"[^"]*")*>', f.read())
                for tag in inputs:
                    a = dict(re.findall(r'([\w-]+)="([^"]*)"', tag))
                    limit = generated.get(a.get("name"))
                    if limit:
                        seen.add(a["name"])
                        number = limit["rule"] == "number"
                        self.assertEqual((a.get("max" if number else "maxlength"), a.get("pattern"),
                                          not number or limit["min"] <= int(a.get("min")) <= limit["max"]),
                                         (str(limit["max"]), limit["pattern"], True), "%s/%s: %s" % (lang, page, tag))
            self.assertEqual(generated.keys() - seen, set(), lang)
