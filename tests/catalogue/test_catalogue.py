"""The gettext catalogues against the texts the sources hold now, and the
pseudo-language pages: every text the templates show comes from the
catalogue. Run by Debian's Python (python3-babel); S2N_BUILD_DIR is the
build tree whose po/s2n.pot and pseudo/ pages scripts/catalogue wrote."""

import glob
import os
import re
import subprocess
import unittest
from html.parser import HTMLParser

from babel.messages.pofile import read_po

SOURCE_DIR = os.environ.get("S2N_SOURCE_DIR", os.path.abspath(os.path.join(__file__, "../../..")))
BUILD_DIR = os.environ.get("S2N_BUILD_DIR", "")
FIX = "run scripts/catalogue update, then translate what it lists"


def read(path):
    with open(path, "rb") as f:
        return read_po(f)


def problems(texts, pot_path, po_paths):
    """What keeps the catalogues from matching the sources' texts: a stale
    template, msgfmt -c errors, texts untranslated, fuzzy or missing in a
    catalogue, and texts nothing uses any more."""
    found = []
    if {m.id for m in read(pot_path) if m.id} != texts:
        found.append("%s: not the texts of the sources" % os.path.basename(pot_path))
    for path in po_paths:
        name = os.path.basename(path)
        check = subprocess.run(["msgfmt", "-c", "-o", os.devnull, path], capture_output=True, text=True)
        if check.returncode or check.stderr:
            found.append("%s: msgfmt -c: %s" % (name, check.stderr.strip()))
        cat = read(path)
        ids = {m.id for m in cat if m.id}
        found += ["%s: untranslated: %s" % (name, t) for t in sorted(texts - ids)]
        found += ["%s: unused: %s" % (name, m.id) for m in cat if m.id and m.id not in texts]
        found += ["%s: unused: %s" % (name, m.id) for m in cat.obsolete.values()]
        found += ["%s: %s: %s" % (name, "fuzzy" if m.fuzzy else "untranslated", m.id)
                  for m in cat if m.id in texts and (m.fuzzy or not m.string)]
    return found


class CatalogueTest(unittest.TestCase):
    def test_catalogues_match_the_sources(self):
        texts = {m.id for m in read(os.path.join(BUILD_DIR, "po", "s2n.pot")) if m.id}
        self.assertIn("save failed", texts, "the program's messages are texts of the catalogue")
        pot = os.path.join(SOURCE_DIR, "po", "s2n.pot")
        catalogues = sorted(glob.glob(os.path.join(SOURCE_DIR, "po", "*.po")))
        self.assertEqual(problems(texts, pot, catalogues), [], FIX)
        # A text the sources gained is found missing.
        self.assertLessEqual({"s2n.pot: not the texts of the sources", "de.po: untranslated: no such text"},
                             set(problems(texts | {"no such text"}, pot, catalogues)))


class VisibleText(HTMLParser):
    """The texts of a page a user sees or hears, except those inside an
    element of another language (a language's own name on its link)."""

    VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"}
    SHOWN = {"title", "placeholder", "aria-label", "alt"}

    def __init__(self, page):
        super().__init__(convert_charrefs=True)
        self.texts, self.stack = [], []
        # The program's tags are filled in at run time: no template text.
        self.feed(re.sub(r"<%\w+%>", "", page))

    def foreign(self):
        return any(self.stack)

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if not self.foreign():
            self.texts += [v for k, v in attrs.items() if k in self.SHOWN]
            if tag == "input" and attrs.get("type") in ("submit", "button", "reset"):
                self.texts.append(attrs.get("value", ""))
        if tag not in self.VOID:
            self.stack.append(tag != "html" and "lang" in attrs or tag in ("script", "style"))

    def handle_endtag(self, tag):
        if tag not in self.VOID and self.stack:
            self.stack.pop()

    def handle_data(self, data):
        if not self.foreign():
            self.texts.append(data)


def unbracketed(page):
    """Texts with a letter that are not a whole bracketed translation."""
    texts = (t.strip() for t in VisibleText(page).texts)
    return [t for t in texts if re.search(r"[^\W\d_]", t) and not (t.startswith("[") and t.endswith("]"))]


class PseudoLanguageTest(unittest.TestCase):
    def test_no_template_text_escapes_the_catalogue(self):
        # What counts as text: element text, shown attributes and button
        # values, but not a whole bracketed translation nor a language's own
        # name.
        self.assertEqual(unbracketed('<html lang="en-XA"><p title="Help">[Save] On</p><a lang="de">Deutsch</a>'
                                     '<input type="submit" value="Go"></html>'), ["Help", "[Save] On", "Go"])
        folder = os.path.join(BUILD_DIR, "pseudo")
        pages = sorted(os.listdir(folder))
        self.assertEqual(pages, sorted(os.listdir(os.path.join(BUILD_DIR, "www", "en"))))
        for page in pages:
            with open(os.path.join(folder, page), encoding="utf-8") as f:
                self.assertEqual(unbracketed(f.read()), [], page)


if __name__ == "__main__":
    unittest.main()
