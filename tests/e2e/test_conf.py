"""Edits of system.conf, through s2n-devkit set and through the library's
calls, keep every other section, key, comment and line as it was."""

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
    def setUp(self):
        super().setUp()
        self.conf = os.path.join(self.dev, "var", "run", "system.conf")
        with open(self.conf, "w", newline="") as f:
            f.write(ORIGINAL)

    def text(self):
        with open(self.conf, newline="") as f:
            return f.read()

    def test_tool_edits(self):
        cases = [
            ("existing key keeps its spacing", "system_conf.system.fw_version=2.0",
             ORIGINAL.replace("fw_version = 1.2.3", "fw_version = 2.0")),
            ("CRLF line keeps its CR", "system_conf.serial.DataPort0=4009",
             ORIGINAL.replace("DataPort0=4001\r\n", "DataPort0=4009\r\n")),
            ("empty value replaced", "system_conf.serial.CtrlPort0=4101",
             ORIGINAL.replace("CtrlPort0=\n", "CtrlPort0=4101\n")),
            ("new key after the section's last entry", "system_conf.system.model=X",
             ORIGINAL.replace("fw_version = 1.2.3\n", "fw_version = 1.2.3\nmodel=X\n")),
            ("new key in the last section without final newline", "system_conf.network.mtu=1500",
             ORIGINAL + "\nmtu=1500\n"),
            ("new section at the end", "system_conf.extra.k=v", ORIGINAL + "\n\n[extra]\nk=v\n"),
            ("value set to empty", "system_conf.network.wan_ifname=",
             ORIGINAL.replace("wan_ifname=lo", "wan_ifname=")),
        ]
        for desc, arg, expected in cases:
            with self.subTest(desc):
                with open(self.conf, "w", newline="") as f:
                    f.write(ORIGINAL)
                self.set(arg)
                self.assertEqual(self.text(), expected)

    def test_refused_values(self):
        for desc, arg in [("line break in value", "system_conf.serial.x=a\nb=c"),
                          ("bracket in section", "system_conf.a]b.k=v"),
                          ("value too long", "system_conf.serial.x=" + "v" * 516)]:
            with self.subTest(desc):
                p = self.devkit("set", self.dev, arg, check=False)
                self.assertEqual(p.returncode, 2)
                self.assertEqual(self.text(), ORIGINAL)

    def test_library_reads(self):
        cases = [
            ("value with blanks around '='", ("get", "system", "fw_version"), "0 [1.2.3]"),
            ("CR is not part of the value", ("get", "serial", "DataPort0"), "0 [4001]"),
            ("empty value is present", ("get", "serial", "CtrlPort0"), "0 []"),
            ("missing key gives empty text", ("get", "serial", "DataPort3"), "1 []"),
            ("missing section", ("get", "nothere", "x"), "1 []"),
            ("key of another section", ("get", "network", "fw_version"), "1 []"),
            ("last line without newline", ("sysget", "network", "wan_conn_type"), "dhcp"),
            ("sysconf null when absent", ("sysget", "network", "nothere"), "(null)"),
        ]
        for desc, args, expected in cases:
            with self.subTest(desc):
                self.assertEqual(self.probe(*args).strip(), expected)

    def test_library_writes(self):
        self.assertEqual(self.probe("set", "serial", "DataPort0", "4011").strip(), "0 [4011]")
        self.assertEqual(self.probe("set", "serial", "ProtolPort0", "1").strip(), "0 [1]")
        self.assertEqual(self.probe("set", "serial", "bad", "a\nb").strip(), "1 [(null)]")
        expected = ORIGINAL.replace("DataPort0=4001\r\n", "DataPort0=4011\r\n").replace(
            "CtrlPort0=\n", "CtrlPort0=\nProtolPort0=1\n")
        self.assertEqual(self.text(), expected)

        # Items read, then written back with "+" appended, in one go.
        out = self.probe("multi", "system", "fw_version", "serial", "s2n_remoteman", "new", "item").split("\n")
        self.assertEqual(out[:4], ["1.2.3", "1", "", "0"])
        expected = expected.replace("fw_version = 1.2.3", "fw_version = 1.2.3+").replace(
            "s2n_remoteman=1", "s2n_remoteman=1+") + "\n\n[new]\nitem=+\n"
        self.assertEqual(self.text(), expected)

    def test_long_value_is_cut_to_the_buffer(self):
        self.set("system_conf.serial.long=" + "L" * 515)
        rc, value = self.probe("get", "serial", "long").strip().split(" ")
        self.assertEqual((rc, value), ("0", "[" + "L" * 255 + "]"))


class ConfCopyTest(DeviceTest):
    """A process reads system.conf once and keeps it; its own writes refresh
    the copy from the file as it stands under the lock."""

    def write(self, text):
        with open(os.path.join(self.dev, "var", "run", "system.conf"), "w", newline="") as f:
            f.write(text)

    def test_sequences_in_one_process(self):
        base = "[a]\nk=1\n[b]\nk=2\n"
        cases = [
            # desc, file at start, operations, output lines
            ("later changes by others are not seen by reads",
             base, ["get", "a", "k", "file", "[a]\nk=9\n", "get", "a", "k", "get", "b", "k"],
             ["1", "file", "1", "2"]),
            ("both spellings of the path share one copy",
             base, ["get", "a", "k", "file", "[a]\nk=9\n", "sysget", "a", "k"],
             ["1", "file", "1"]),
            ("an own write brings in what others wrote before it",
             base, ["get", "a", "k", "file", "[a]\nk=9\n[c]\nx=5\n", "set", "b", "n", "3",
                    "get", "a", "k", "sysget", "c", "x", "get", "b", "n", "get", "b", "k"],
             ["1", "file", "set 0", "9", "5", "3", "(missing)"]),
            ("a refused write keeps the copy",
             base, ["get", "a", "k", "set", "a", "k", "x\ny", "get", "a", "k", "get", "b", "k"],
             ["1", "set 1", "1", "2"]),
            ("first entry of a repeated key and of a repeated section wins",
             "[a]\nk=1\nk=2\n[b]\nk=3\n[a]\nk=4\nj=5\n",
             ["get", "a", "k", "get", "a", "j", "get", "b", "k"],
             ["1", "5", "3"]),
            ("entries before the first header belong to no section",
             "k=0\n[ a ]\nk = 1 \r\n[]\nk=6\n",
             ["get", "a", "k", "get", "", "k", "get", "x", "k"],
             ["1 ", "6", "(missing)"]),
            ("missing file reads as empty; a write creates it",
             None, ["get", "a", "k", "set", "a", "k", "7", "get", "a", "k"],
             ["(missing)", "set 0", "7"]),
        ]
        for desc, text, ops, want in cases:
            with self.subTest(desc):
                conf = os.path.join(self.dev, "var", "run", "system.conf")
                if text is None:
                    os.unlink(conf)
                else:
                    self.write(text)
                self.assertEqual(self.probe("seq", *ops).split("\n")[:-1], want)
