#!/usr/bin/env python3
"""Split one request's instructions (bench/README.md): cgsplit.py PROFILE
BARE PLAIN SLOTS NPLAT NBEYOND NSLOTS, callgrind profiles of the program and
the bare, plain and slots nulls on one request; the platform functions the
program had the loader bind, the C library functions it bound lazily that the
bare null does not bind, and its PLT slots of platform functions.

Start-up (the loader's work less lazy bindings): the plain null's is the
floor, the bare null's beyond it the platform's, the program's beyond that
its own less its platform slots at a slot's cost (the slots null's relocation
pass beyond the bare null's, per slot). A lazy binding is charged to the PLT
that called the resolver, a C library one at the plain null's mean.
"""
import os
import re
import subprocess
import sys

NAME = re.compile(r"^\((\d+)\)(?: (.*))?$")
GROUPS = ("loader", "program", "platform", "libc", "other")
PREFIXES = {"ld-linux": "loader", "libdevcfg": "platform", "libwebcgi": "platform", "libc.so": "libc"}


def group(obj, program):
    if os.path.realpath(obj) == program:
        return "program"
    base = os.path.basename(obj)
    return next((g for p, g in PREFIXES.items() if base.startswith(p)), "other")


def profile(path):
    """Self cost by group; cost (inclusive) and count of each group's lazy
    bindings; the self cost of the loader's relocation pass."""
    names = {"ob": {}, "fn": {}}
    cost = {(k, g): 0 for k in ("self", "lazy", "nlazy") for g in GROUPS}
    ob, fn, callee, calls, total, cost["relocate"] = "other", "", "", None, None, 0
    for line in open(path, encoding="utf-8", errors="replace"):
        key, eq, value = line.rstrip("\n").partition("=")
        if line.startswith("cmd:"):
            cost["file"] = program = os.path.realpath(line.split()[1])
        elif eq and key in ("ob", "cob", "fn", "cfn"):
            m = NAME.match(value)
            if m:  # compressed: "(id) name" the first time, "(id)" after
                table = names[key.lstrip("c")]
                value = table.setdefault(m.group(1), m.group(2) or "???")
            if key == "ob":
                ob = group(value, program)
            fn = value if key == "fn" else fn
            callee = value if key == "cfn" else callee
        elif key == "calls" and eq:
            calls = int(value.split()[0])
        elif line[:1].isdigit() or line[:1] in "+-*":
            n = int((line.split() + ["0", "0"])[1])
            if calls is None:
                cost["self", ob] += n
                cost["relocate"] += n if fn == "_dl_relocate_object" else 0
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


def start(x):
    """The loader's work less the lazy bindings: mapping, relocating, checking."""
    return x["self", "loader"] - sum(x["lazy", g] for g in GROUPS)


def slots(x):
    return subprocess.run(["readelf", "-rW", x["file"]], capture_output=True, text=True).stdout.count("JUMP_SLOT")


def main(argv):
    if len(argv) != 8:
        sys.exit(__doc__)
    p, b, q, s = (profile(f) for f in argv[1:5])
    nplat, nbeyond, nslots = (int(a) for a in argv[5:8])
    if not q["nlazy", "program"] or slots(s) <= slots(b):
        sys.exit("cgsplit: the plain null bound nothing lazily, or the slots null has no more slots")
    per = q["lazy", "program"] / q["nlazy", "program"]
    own_bind = round(nbeyond * per)
    libc_bind = round((p["nlazy", "program"] - nplat - nbeyond) * per)
    slot = (s["relocate"] - b["relocate"]) / (slots(s) - slots(b))
    libraries, plat_slots = start(b) - start(q), round(nslots * slot)
    parts = {
        "floor": b["self", "loader"] - b["lazy", "program"] - b["lazy", "platform"] - libraries,
        "platform": p["self", "platform"] + p["lazy", "platform"] + p["lazy", "program"] - own_bind - libc_bind
                    + libraries + plat_slots,
        "libc": p["self", "libc"] + p["self", "other"] + libc_bind
                + sum(p["lazy", g] - b["lazy", g] for g in ("libc", "other", "loader")),
        "own": p["self", "program"] + own_bind + start(p) - start(b) - plat_slots,
    }
    if sum(parts.values()) != p["total"]:
        sys.exit(f"cgsplit: the parts sum to {sum(parts.values())}, not {p['total']}")
    parts.update(startup=start(p) - start(b) - plat_slots, own_bindings=own_bind, per_binding=round(per),
                 libraries=libraries, plat_slots=plat_slots, per_slot=slot, total=p["total"], bare=b["total"])
    for k, v in parts.items():
        print(k, v)


if __name__ == "__main__":
    main(sys.argv)
