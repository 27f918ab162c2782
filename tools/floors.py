#!/usr/bin/env python3
"""Checks that every #include in src/ points down the house: a file may
include headers of its own folder and of folders on lower floors, never of a
folder on its own floor or above. Prints each include that breaks the rule
and exits with 1 when there is one.

    tools/floors.py [SRC_DIR]
"""
import os
import re
import sys

# The floors, bottom to top; folders on one floor do not include each other.
# Files directly in src/ (the program's entry and the library face) are the
# top of the house.
FLOORS = [
    ["base"],               # the ground: diagnostics, the records everyone reads, text and paths
    ["platform"],           # the ground's edge: what differs between Linux and Windows
    ["coff", "cmdfile", "hexfile"],  # the readers
    ["memory"],             # ranges, section entries, device addresses, checksum requests
    ["output"],             # the format table, lanes and record writers
    ["boot"],               # the boot table, placed through a sink
    ["placement"],          # the data path, fill, running sums, settled values
    ["map"],                # the reports
    ["driver"],             # the run and its outline, options, command line
]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def floor_of(folder):
    for level, folders in enumerate(FLOORS):
        if folder in folders:
            return level
    return len(FLOORS) if folder == "" else None


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")
    faults = []
    for root, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp", ".y")):
                continue
            path = os.path.join(root, name)
            folder = os.path.relpath(root, src)
            folder = "" if folder == "." else folder
            mine = floor_of(folder)
            if mine is None:
                faults.append(f"{path}: folder '{folder}' is on no floor")
                continue
            with open(path, encoding="utf-8") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m or "/" not in m.group(1):
                        continue
                    target = m.group(1).split("/")[0]
                    theirs = floor_of(target)
                    if theirs is None:
                        continue  # a generated header beside the build, or a test's
                    if target != folder and theirs >= mine:
                        faults.append(f"{path}:{number}: {folder or 'src'} (floor {mine}) includes "
                                      f"{m.group(1)} (floor {theirs})")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
