#!/usr/bin/env python3
"""Self instruction counts of a callgrind profile, summed by object file.

Usage: cgsplit.py PROFILE [PROGRAM]
Prints one line per group: loader, program, devkit, libc, other, total.
PROGRAM is the path of the profiled executable (its object is 'program').
With --objects, prints every object's count instead.
"""
import os
import re
import sys

NAME = re.compile(r"^\((\d+)\)(?: (.*))?$")


def object_costs(path):
    names = {}          # compressed object ids to names
    costs = {}
    current = "???"
    skip_next = False   # the line after calls= is the call's inclusive cost
    totals = None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                continue
            if line.startswith(("ob=", "cob=")):
                key, _, value = line.partition("=")
                m = NAME.match(value)
                if m:
                    if m.group(2) is not None:
                        names[m.group(1)] = m.group(2)
                    value = names.get(m.group(1), "???")
                if key == "ob":
                    current = value
                continue
            if line.startswith("calls="):
                skip_next = True
                continue
            first = line[0]
            if first.isdigit() or first in "+-*":
                if skip_next:
                    skip_next = False
                    continue
                fields = line.split()
                if len(fields) >= 2:
                    costs[current] = costs.get(current, 0) + int(fields[1])
                continue
            if line.startswith(("totals:", "summary:")):
                totals = int(line.split()[1])
    return costs, totals


def group(obj, program):
    base = os.path.basename(obj)
    if base.startswith("ld-linux") or base.startswith("ld-2.") or base.startswith("ld.so"):
        return "loader"
    if program and os.path.realpath(obj) == os.path.realpath(program):
        return "program"
    if base.startswith(("libdevcfg", "libwebcgi")):
        return "devkit"
    if base.startswith("libc.so") or base.startswith("libc-"):
        return "libc"
    return "other"


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    if not args:
        sys.exit(__doc__)
    costs, totals = object_costs(args[0])
    program = args[1] if len(args) > 1 else None
    counted = sum(costs.values())
    if totals is not None and totals != counted:
        sys.exit(f"cgsplit: objects sum to {counted}, profile total is {totals}")
    if "--objects" in argv:
        for obj, n in sorted(costs.items(), key=lambda kv: -kv[1]):
            print(f"{n:>12} {obj}")
        return
    groups = dict.fromkeys(("loader", "program", "devkit", "libc", "other"), 0)
    for obj, n in costs.items():
        groups[group(obj, program)] += n
    for name, n in groups.items():
        print(f"{name} {n}")
    print(f"total {counted}")


if __name__ == "__main__":
    main(sys.argv)
