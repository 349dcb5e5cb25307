"""The template pages against the tag table: every tag names a row of
fun_tab, and every row that takes a value is a form field on some page of
each shipped language."""

import re
import unittest
from pathlib import Path

from devkit import MODE_PAGES, SOURCE_DIR


class TemplateTest(unittest.TestCase):
    def test_templates_match_the_tag_table(self):
        rows = dict(re.findall(r'\{"(\w+)", *\w+, *(\w+)\}', Path(SOURCE_DIR, "cgi/dispatch.cpp").read_text()))
        table = re.search(r"languages\[\] = \{([^}]*)\}", Path(SOURCE_DIR, "platform/devkit/webcgi.cpp").read_text())
        for lang in re.findall(r'"(\w+)"', table.group(1)):
            pages = "".join(Path(SOURCE_DIR, "www", lang, page).read_text() for page in MODE_PAGES)
            self.assertEqual(set(re.findall(r"<%(\w+)%>", pages)) - rows.keys(), set(), "tags without a row, " + lang)
            fields = set(re.findall(r'<(?:input|select|button)\b[^>]*\bname="(\w+)"', pages))
            self.assertEqual({tag for tag, setter in rows.items() if setter != "nullptr"} - fields, set(),
                             "rows that no page sends, " + lang)
