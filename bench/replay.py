#!/usr/bin/env python3
"""Turn a call log of bench/record.c into the C source of a platform null.

Usage: replay.py LOG STDOUT CONSOLE > null.c

LOG is what the recorder logged for one request, STDOUT that request's
standard output (a getter's bytes are a range of it), CONSOLE the path the
program's build writes trace lines to. The null makes the same platform
calls with the same arguments in the same order, writes the same trace
lines (open, write, close per line) and the same bytes to standard output
(fwrite at each getter), frees the records it was handed, and does nothing
else: no parsing, no formatting, no arithmetic.

Only what a steady-state request does is replayed: a save whose records
differ from what was loaded, a pending message at the store, and the
firewall reload child are refused (exit status 2).
"""
import re
import sys

MBUS = {
    "get_mbus_rtumaster_mode_info": "rtumaster", "set_mbus_rtumaster_mode_info": "rtumaster",
    "get_mbus_asciimaster_mode_info": "asciimaster", "set_mbus_asciimaster_mode_info": "asciimaster",
    "get_mbus_rtuslave_mode_info": "rtuslave", "set_mbus_rtuslave_mode_info": "rtuslave",
    "get_mbus_asciislave_mode_info": "asciislave", "set_mbus_asciislave_mode_info": "asciislave",
}


def fail(msg):
    sys.stderr.write(f"replay.py: {msg}\n")
    sys.exit(2)


def word(w):
    """A logged word: '-' is null, '\\x' the empty text, \\xHH a byte."""
    if w == "-":
        return None
    if w == "\\x":
        return b""
    return re.sub(rb"\\x([0-9a-f]{2})", lambda m: bytes([int(m.group(1), 16)]), w.encode())


def c_str(b):
    """A C string literal of bytes (or NULL)."""
    if b is None:
        return "NULL"
    out = []
    for c in b:
        if c in (0x22, 0x5C):
            out.append("\\" + chr(c))
        elif 0x20 <= c < 0x7F and c != 0x3F:  # '?' would start a trigraph
            out.append(chr(c))
        else:
            out.append("\\%03o" % c)
    return '"' + "".join(out) + '"'


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    lines = open(argv[1], encoding="ascii").read().splitlines()
    page = open(argv[2], "rb").read()
    console = argv[3].encode()

    body = []           # statements of main
    getters = []        # statements of each getter call, in call order
    block = body
    table = None
    items = None
    traces = 0

    for line in lines:
        name, *args = line.split(" ")
        w = [word(a) for a in args]
        s = lambda b: c_str(b)

        if name == "getter":
            if block is not body:
                fail("a getter inside a getter")
            block = []
            continue
        if name == "/getter":
            ret, start, end = (int(x) for x in args)
            if end > start:
                block.append(f"put({c_str(page[start:end])}, {end - start});")
            block.append(f"return {ret};")
            getters.append(block)
            block = body
            continue

        if name == "table":
            rows = [(w[i], w[i + 1] == b"g") for i in range(0, len(w), 2)]
            if table is not None and rows != table:
                fail("two different tag tables")
            table = rows
        elif name == "read_cgi_input":
            block.append("read_cgi_input(&form);")
        elif name == "cgi_val":
            block.append(f"cgi_val(form, {s(w[0])});")
        elif name == "list_clear":
            block.append("list_clear(&form);")
            # The records the platform handed out, released as a request must.
            block.append("free(dev);")
            block.append("for (int i = 0; i < 4; ++i) { free(port[i]); free(tty[i]); }")
        elif name == "CgiError":
            block.append("CgiError();")
        elif name == "lang_get_index":
            block.append(f"lang_get_index({s(w[0])});")
        elif name == "lang_get_tag":
            block.append(f"lang_get_tag({int(args[0])});")
        elif name == "html_header":
            block.append("html_header();")
        elif name == "parse_html":
            if table is None:
                fail("parse_html without a table")
            block.append(f"status = parse_html({s(w[0])}, tab);")
        elif name == "GetDevInfoAlloc":
            block.append("GetDevInfoAlloc(&dev);")
        elif name in ("GetPortInfoAlloc", "GetTtyInfoAlloc"):
            var = "port" if name == "GetPortInfoAlloc" else "tty"
            i = int(args[0])
            if not 0 <= i < 4:
                fail(f"{name} {i}")
            block.append(f"{name}(&{var}[{i}], {i});")
        elif name == "SaveNewConfig":
            if args[1] != "same" or w[2] is not None:
                fail("the save stores records other than those loaded, or with a message")
            block.append(f"SaveNewConfig(&dev, port, tty, &msg, {int(args[0])});")
        elif name == "get_mbus_mode_info":
            block.append(f"get_mbus_mode_info(&mbus_mode, {int(args[0])});")
        elif name == "set_mbus_mode_info":
            block.append(f"{{ static int mode = {int(args[0])}; set_mbus_mode_info(&mode, {int(args[1])}); }}")
        elif name in MBUS and name.startswith("get_"):
            block.append(f"{name}(&{MBUS[name]}, {int(args[0])});")
        elif name in MBUS:
            if args[0] != "same":
                fail(f"{name} stores a record other than the one loaded")
            block.append(f"{name}(&{MBUS[name]}, {int(args[1])});")
        elif name == "check_valid_port_num":
            block.append(f"{{ static int owner; check_valid_port_num({int(args[0])}, &owner); }}")
        elif name == "clearConn":
            block.append(f"clearConn({int(args[0])});")
        elif name == "ssl_get_ssl_info_from_port":
            i = int(args[0])
            block.append(f"ssl_get_ssl_info_from_port({'port[%d]' % i if 0 <= i < 4 else 'NULL'});")
        elif name == "dev_get_uptime":
            block.append("{ static UptimeInfo up; dev_get_uptime(&up); }")
        elif name == "net_get_wanif":
            block.append("{ static char wanif[WANIF_NAME_SIZE]; net_get_wanif(wanif); }")
        elif name == "if_getinfo":
            block.append(f"{{ static IfInfo info; if_getinfo({s(w[0])}, &info); }}")
        elif name == "sysconf_getvalue":
            block.append(f"sysconf_getvalue({s(w[0])}, {s(w[1])});")
        elif name in ("CFL_GET_MULTI_ITEMS", "CFL_VALUE_SET_MULTI_ITEMS"):
            rows = [tuple(w[i:i + 3]) for i in range(1, len(w), 3)]
            if items is not None and rows != items:
                fail("two different item tables")
            items = rows
            block.append(f"{name}(mi, {s(w[0])});")
        elif name == "CFL_GET_STRING":
            block.append(f"CFL_GET_STRING({s(w[0])}, {s(w[1])}, value, {s(w[2])});")
        elif name == "CFL_VALUE_SET_STRING":
            block.append(f"CFL_VALUE_SET_STRING({s(w[0])}, {s(w[1])}, {s(w[2])}, {s(w[3])});")
        elif name == "trace":
            data = bytes.fromhex(args[0]) if args else b""
            block.append(f"trace({c_str(data)}, {len(data)});")
            traces += 1
        else:
            fail(f"cannot replay {name}")

    if block is not body:
        fail("the log ends inside a getter")
    if table is None:
        fail("no page was rendered")

    trunc = "O_TRUNC" if console == b"/dev/console" else "O_APPEND"
    out = []
    out.append("/* Generated by bench/replay.py: a platform null, see bench/README.md. */")
    out.append("#include <fcntl.h>\n#include <stdio.h>\n#include <stdlib.h>\n#include <unistd.h>")
    out.append('#include "cgiweb.h"\n#include "devcfg.h"')
    out.append("")
    out.append("#define KEEP __attribute__((unused))")
    out.append("static CgiList *form;\nstatic DevInfo *dev;\nstatic PortInfo *port[4];\nstatic TtyInfo *tty[4];")
    out.append("static KEEP const char *msg;\nstatic KEEP int mbus_mode;")
    out.append("static KEEP MbusMasterInfo rtumaster, asciimaster;\nstatic KEEP MbusSlaveInfo rtuslave, asciislave;")
    out.append("static KEEP char value[CFL_STRING_SIZE];")
    out.append("static unsigned calls;")
    if items is not None:
        out.append("ConfigItem mi[] = {")
        for sec, key, kind in items:
            out.append(f"    {{{c_str(sec)}, {c_str(key)}, {int(kind)}, {{0}}}},")
        out.append("};")
    out.append("")
    out.append("static void put(const char *s, size_t n) { fwrite(s, 1, n, stdout); }")
    out.append("")
    out.append("static void trace(const char *line, size_t n)")
    out.append("{")
    out.append(f"    int fd = open({c_str(console)}, O_WRONLY | O_CREAT | {trunc}, 0666);")
    out.append("    if (fd < 0)\n        return;")
    out.append("    if (write(fd, line, n) < 0) {\n    }")
    out.append("    close(fd);")
    out.append("}")
    out.append("")
    out.append("static int getter(void *unused)")
    out.append("{")
    out.append("    (void)unused;")
    out.append("    switch (calls++) {")
    for i, stmts in enumerate(getters):
        out.append(f"    case {i}:")
        out.extend("        " + st for st in stmts)
    out.append("    }")
    out.append("    return 0;")
    out.append("}")
    out.append("")
    out.append("static const TagEntry tab[] = {")
    for tag, has_getter in table:
        out.append(f"    {{{c_str(tag)}, {'getter' if has_getter else 'NULL'}, NULL}},")
    out.append("    {NULL, NULL, NULL},")
    out.append("};")
    out.append("")
    out.append("int main(void)")
    out.append("{")
    out.append("    int status = 0;")
    out.extend("    " + st for st in body)
    out.append("    return status;")
    out.append("}")
    print("\n".join(out))
    if traces == 0:
        sys.stderr.write("replay.py: note: no trace line was recorded\n")


if __name__ == "__main__":
    main(sys.argv)
