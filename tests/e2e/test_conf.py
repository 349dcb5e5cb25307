"""Edits of system.conf through the library keep every other section, key,
comment and line; a process reads the file once and its copy follows its
own writes."""

import os

from devkit import DeviceTest

ORIGINAL = (
    "; leading comment\n"
    "[system]\n"
    "fw_version = 1.2.3\n"
    "# comment inside system\n"
    "\n"
    "[serial]\n"
    "s2n_remoteman=1\n"
    "DataPort0=4001\r\n"
    "odd line without equals\n"
    "CtrlPort0=\n"
    "\n"
    "# comment before network\n"
    "[network]\n"
    "wan_ifname=lo\n"
    "wan_conn_type=dhcp"          # no final newline
)


class ConfTest(DeviceTest):
    def test_sequences_in_one_process(self):
        base = "[a]\nk=1\n[b]\nk=2\n"
        edit = ORIGINAL.replace
        cases = [
            # description, file at start (None: none), operations, output lines, file afterwards (None: as at start)
            ("existing key keeps its spacing", ORIGINAL, ["set:system:fw_version:2.0"], ["set 0"],
             edit("fw_version = 1.2.3", "fw_version = 2.0")),
            ("CRLF line keeps its CR; the copy follows the write", ORIGINAL,
             ["set:serial:DataPort0:4009", "sysget:serial:DataPort0"], ["set 0", "4009"],
             edit("DataPort0=4001\r\n", "DataPort0=4009\r\n")),
            ("empty value replaced", ORIGINAL, ["set:serial:CtrlPort0:4101"], ["set 0"],
             edit("CtrlPort0=\n", "CtrlPort0=4101\n")),
            ("new key after the section's last entry", ORIGINAL, ["set:system:model:X"], ["set 0"],
             edit("fw_version = 1.2.3\n", "fw_version = 1.2.3\nmodel=X\n")),
            ("new key in the last section without final newline", ORIGINAL, ["set:network:mtu:1500"], ["set 0"],
             ORIGINAL + "\nmtu=1500\n"),
            ("new section at the end", ORIGINAL, ["set:extra:k:v"], ["set 0"], ORIGINAL + "\n\n[extra]\nk=v\n"),
            ("value set to empty", ORIGINAL, ["set:network:wan_ifname:"], ["set 0"],
             edit("wan_ifname=lo", "wan_ifname=")),
            ("refused value", ORIGINAL, ["set:serial:bad:a\nb", "sysget:serial:bad"], ["set 1", "(null)"], None),
            ("items read, then written back with '+' appended in one go", ORIGINAL,
             ["multi:system:fw_version:serial:s2n_remoteman:new:item"], ["[1.2.3][1][] 1 0"],
             edit("fw_version = 1.2.3", "fw_version = 1.2.3+").replace("s2n_remoteman=1", "s2n_remoteman=1+")
             + "\n\n[new]\nitem=+\n"),
            ("reads of a hand-edited file", ORIGINAL,
             ["get:system:fw_version", "get:serial:DataPort0", "get:serial:CtrlPort0", "get:serial:DataPort3",
              "get:nothere:x", "get:network:fw_version", "sysget:network:wan_conn_type", "sysget:network:nothere"],
             ["0 [1.2.3]", "0 [4001]", "0 []", "1 []", "1 []", "1 []", "dhcp", "(null)"], None),
            ("a long value is cut to the read buffer", "[s]\nlong=" + "L" * 515 + "\n",
             ["get:s:long"], ["0 [" + "L" * 255 + "]"], None),
            ("later changes by others are not seen by reads",
             base, ["get:a:k", "file:[a]\nk=9\n", "get:a:k", "get:b:k"], ["0 [1]", "file", "0 [1]", "0 [2]"],
             "[a]\nk=9\n"),
            ("both spellings of the path share one copy",
             base, ["get:a:k", "file:[a]\nk=9\n", "sysget:a:k"], ["0 [1]", "file", "1"], "[a]\nk=9\n"),
            ("an own write brings in what others wrote before it",
             base, ["get:a:k", "file:[a]\nk=9\n[c]\nx=5\n", "set:b:n:3",
                    "get:a:k", "sysget:c:x", "get:b:n", "get:b:k"],
             ["0 [1]", "file", "set 0", "0 [9]", "5", "0 [3]", "1 []"], "[a]\nk=9\n[c]\nx=5\n\n[b]\nn=3\n"),
            ("a refused write keeps the copy",
             base, ["get:a:k", "set:a:k:x\ny", "get:a:k", "get:b:k"], ["0 [1]", "set 1", "0 [1]", "0 [2]"], None),
            ("first entry of a repeated key and of a repeated section wins",
             "[a]\nk=1\nk=2\n[b]\nk=3\n[a]\nk=4\nj=5\n", ["get:a:k", "get:a:j", "get:b:k", "set:a:n:7"],
             ["0 [1]", "0 [5]", "0 [3]", "set 0"], "[a]\nk=1\nk=2\nn=7\n[b]\nk=3\n[a]\nk=4\nj=5\n"),
            ("entries before the first header belong to no section",
             "k=0\n[ a ]\nk = 1 \r\n[]\nk=6\n", ["get:a:k", "get::k", "get:x:k"], ["0 [1 ]", "0 [6]", "1 []"], None),
            ("missing file reads as empty; a write creates it",
             None, ["get:a:k", "set:a:k:7", "get:a:k"], ["1 []", "set 0", "0 [7]"], "[a]\nk=7\n"),
        ]
        path = os.path.join(self.dev, "var", "run", "system.conf")
        for desc, text, ops, want, after in cases:
            with self.subTest(desc):
                if text is None:
                    os.unlink(path)
                else:
                    with open(path, "w", newline="") as f:
                        f.write(text)
                self.assertEqual(self.probe(*ops), want)
                with open(path, newline="") as f:
                    self.assertEqual(f.read(), text if after is None else after)
