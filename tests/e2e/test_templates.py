"""The generated template pages through the real program: in every language
the build rendered, each page of the service table renders with every tag
filled in, and every row of fun_tab that takes a value is a form field on
some page of each language."""

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
                self.assertEqual(setters - fields, set())
