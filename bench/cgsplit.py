#!/usr/bin/env python3
"""Split one request's instructions: cgsplit.py PROFILE PROGRAM BARE_PROFILE
BARE NPLAT NBEYOND, from callgrind profiles of the program and of the bare
null on the same request, NPLAT the platform functions the program's file
had the loader bind and NBEYOND the C library functions it bound lazily
that the bare null does not bind. Prints 'name value' lines.

A lazy binding is charged to the object whose PLT called the resolver. The
call graph cannot tell which function a binding was for, so each of the
program's C library bindings costs the bare null's mean; its platform
bindings take the rest. The loader's work beyond the bare null's, bindings
aside, is the program's: its relocations and its symbols in every lookup.
"""
import os
import re
import sys

NAME = re.compile(r"^\((\d+)\)(?: (.*))?$")
GROUPS = ("loader", "program", "platform", "libc", "other")


PREFIXES = {"ld-linux": "loader", "libdevcfg": "platform", "libwebcgi": "platform", "libc.so": "libc"}


def group(obj, program):
    if os.path.realpath(obj) == program:
        return "program"
    base = os.path.basename(obj)
    return next((g for p, g in PREFIXES.items() if base.startswith(p)), "other")


def profile(path, program):
    """Self cost by group; cost (inclusive) and count of each group's lazy bindings."""
    program = os.path.realpath(program)
    names = {"ob": {}, "fn": {}}
    cost = {(k, g): 0 for k in ("self", "lazy", "nlazy") for g in GROUPS}
    ob, callee, calls, total = "other", "", None, None
    for line in open(path, encoding="utf-8", errors="replace"):
        key, eq, value = line.rstrip("\n").partition("=")
        if eq and key in ("ob", "cob", "fn", "cfn"):
            m = NAME.match(value)
            if m:  # compressed: "(id) name" the first time, "(id)" after
                table = names[key.lstrip("c")]
                value = table.setdefault(m.group(1), m.group(2) or "???")
            if key == "ob":
                ob = group(value, program)
            callee = value if key == "cfn" else callee
        elif key == "calls" and eq:
            calls = int(value.split()[0])
        elif line[:1].isdigit() or line[:1] in "+-*":
            n = int((line.split() + ["0", "0"])[1])
            if calls is None:
                cost["self", ob] += n
            elif callee.startswith("_dl_runtime_resolve"):
                cost["lazy", ob] += n
                cost["nlazy", ob] += calls
            calls = None
        elif line.startswith("totals:"):
            total = int(line.split()[1])
    cost["total"] = sum(cost["self", g] for g in GROUPS)
    if cost["total"] != total:
        sys.exit(f"cgsplit: {path}: objects sum to {cost['total']}, the profile says {total}")
    return cost


def main(argv):
    if len(argv) != 7:
        sys.exit(__doc__)
    p, b = profile(argv[1], argv[2]), profile(argv[3], argv[4])
    nplat, nbeyond = int(argv[5]), int(argv[6])
    if not b["nlazy", "program"]:
        sys.exit("cgsplit: the bare null bound nothing lazily")
    per = b["lazy", "program"] / b["nlazy", "program"]
    own_bind = round(nbeyond * per)
    libc_bind = round((p["nlazy", "program"] - nplat - nbeyond) * per)
    start = [x["self", "loader"] - sum(x["lazy", g] for g in GROUPS) for x in (p, b)]
    relocations = start[0] - start[1]
    parts = {
        "floor": b["self", "loader"] - b["lazy", "program"] - b["lazy", "platform"],
        "platform": p["self", "platform"] + p["lazy", "platform"] + p["lazy", "program"] - own_bind - libc_bind,
        "libc": p["self", "libc"] + p["self", "other"] + libc_bind
                + sum(p["lazy", g] - b["lazy", g] for g in ("libc", "other", "loader")),
        "own": p["self", "program"] + own_bind + relocations,
    }
    if sum(parts.values()) != p["total"]:
        sys.exit(f"cgsplit: the parts sum to {sum(parts.values())}, not {p['total']}")
    parts.update(relocations=relocations, own_bindings=own_bind, per_binding=round(per),
                 total=p["total"], bare=b["total"])
    for k, v in parts.items():
        print(k, v)


if __name__ == "__main__":
    main(sys.argv)
