"""The template pages against the tag table: every tag names a row of
fun_tab, and every row that takes a value is a form field on some page of
each language."""

import re
import unittest
from pathlib import Path

from devkit import FACTS, MODE_PAGES, SOURCE_DIR


class TemplateTest(unittest.TestCase):
    def test_templates_match_the_tag_table(self):
        rows = {row["tag"]: row["setter"] for row in FACTS["fun_tab"]}
        for lang in ("en", "de"):
            pages = "".join(Path(SOURCE_DIR, "www", lang, page).read_text() for page in MODE_PAGES)
            fields = set(re.findall(r'<(?:input|select|button)\b[^>]*\bname="(\w+)"', pages))
            # Tags that name no row, and rows taking a value that no page sends.
            self.assertEqual((set(re.findall(r"<%(\w+)%>", pages)) - rows.keys(), {
                tag for tag, setter in rows.items() if setter} - fields), (set(), set()), lang)
