#!/usr/bin/env python3
"""Converts the same inputs with two khex programs over a wide sweep of
configurations and reports every configuration whose files, standard output,
standard error or exit status differ.

    tools/sweep.py OLD_KHEX NEW_KHEX MKCOFF [--only N] [--list] [--ignore-key K]...

Each configuration runs in two fresh directories, one per program; every file
the run leaves there (outputs, map, picture, JSON report, dependency file) is
compared byte for byte. A configuration that both programs refuse the same way
counts as identical: its messages are compared too. With --ignore-key, the
JSON reports are compared as JSON without that key (a key the newer program
adds), everything else still byte for byte.
"""
import itertools
import json
import os
import shutil
import subprocess
import sys
import tempfile

PROGRAMS = ["demo.out", "big.out", "old.out", "pages.out"]

FORMATS = ["-x", "-i", "-m", "-m1", "-m2", "-m3", "-t", "-a", "--b", "--w", "-b", "--d"]

COMMAND_FILES = {
    "none": None,
    "two": """ROMS {
    PAGE 0:
        code_rom: origin = 0x0000, length = 0x0100, romwidth = 8, memwidth = 16,
                  files = { code_lo.o, code_hi.o }
        data_rom: origin = 0x0100, length = 0x0200, romwidth = 8, memwidth = 16,
                  files = { data_lo.o, data_hi.o }
}
SECTIONS { .text: .data: .cinit .odd .far .page1 }
""",
    "wide": """ROMS {
    PAGE 0: low: origin = 0, length = 0x10000, romwidth = 8, memwidth = 32
            high: origin = 0x10000, length = 0x100, romwidth = 32, memwidth = 16 fill = 0x5AA5
    PAGE 1: other: origin = 0, length = 0x200
}
""",
    "sections": """ROMS { all: origin = 0, length = 0x20000, fill = 0xFFFF }
SECTIONS { .data: paddr = 0x400, datawidth = 16
           .text: datawidth = 32
           .far }
""",
    "boot": """ROMS { boot_rom: origin = 0x0000, length = 0x800 }
SECTIONS { .text: .data: boot .cinit: boot .far .odd: boot }
""",
    "checksum": """ROMS { r: origin = 0, length = 0x400, romwidth = 8, memwidth = 16 files = { lo.o, hi.o } }
-checksum r,crc32
-checksum r,sum16,at=0x300,from=0x100,to=0x1ff
""",
}

VARIANTS = [
    [],
    ["-image"],
    ["-image", "-zero", "-romaddr"],
    ["-order", "MS", "-map", "out.map"],
    ["-romaddr", "-map", "out.map", "-mapjson", "out.json"],
    ["-image", "-fill", "0xA55A", "-mapsvg", "out.svg", "-depfile", "out.d"],
    ["-boot", "-serial16", "-e", "_c_int00", "-map", "out.map"],
    ["-boot", "-v7734:1", "-bootorg", "0x40", "-datawidth", "16", "-order", "LS"],
    ["-memwidth", "8", "-romwidth", "8", "-q"],
    ["-memwidth", "32", "-romwidth", "16", "-image", "-mapjson", "out.json"],
]


def configurations():
    for program, (cmd_name, _), fmt, variant in itertools.product(
            PROGRAMS, COMMAND_FILES.items(), FORMATS, range(len(VARIANTS))):
        # every format with every program and command file, each with a share
        # of the variants, so that the whole product stays small
        if (PROGRAMS.index(program) + FORMATS.index(fmt) + variant) % 3 != 0:
            continue
        yield program, cmd_name, fmt, variant


def run(khex, mkcoff, config, workdir):
    program, cmd_name, fmt, variant = config
    subprocess.run([mkcoff, "sweep", workdir], check=True)
    args = [khex, fmt] + VARIANTS[variant]
    text = COMMAND_FILES[cmd_name]
    if text is not None:
        with open(os.path.join(workdir, "r.cmd"), "w") as f:
            f.write(text)
        args.append("r.cmd")
    args.append(program)
    inputs = set(os.listdir(workdir))
    p = subprocess.run(args, cwd=workdir, capture_output=True, timeout=60)
    files = {}
    for name in sorted(os.listdir(workdir)):
        if name not in inputs or name == "r.cmd":
            with open(os.path.join(workdir, name), "rb") as f:
                files[name] = f.read()
    return p.returncode, p.stdout, p.stderr, files


def without_keys(value, keys):
    if isinstance(value, dict):
        return {k: without_keys(v, keys) for k, v in value.items() if k not in keys}
    if isinstance(value, list):
        return [without_keys(v, keys) for v in value]
    return value


def comparable(result, keys):
    if not keys:
        return result
    status, out, err, files = result
    files = dict(files)
    for name, data in files.items():
        if name.endswith(".json"):
            files[name] = without_keys(json.loads(data), keys)
    return status, out, err, files


def main():
    if len(sys.argv) < 4:
        print(__doc__.strip())
        return 2
    old, new, mkcoff = (os.path.abspath(a) for a in sys.argv[1:4])
    configs = list(configurations())
    if "--list" in sys.argv:
        for i, c in enumerate(configs):
            print(i, *c)
        return 0
    if "--only" in sys.argv:
        configs = [configs[int(sys.argv[sys.argv.index("--only") + 1])]]
    keys = {sys.argv[i + 1] for i, a in enumerate(sys.argv) if a == "--ignore-key"}
    same = 0
    differ = []
    statuses = {}
    for config in configs:
        results = []
        for khex in (old, new):
            d = tempfile.mkdtemp(prefix="khex-sweep-")
            try:
                results.append(comparable(run(khex, mkcoff, config, d), keys))
            finally:
                shutil.rmtree(d)
        statuses[results[0][0]] = statuses.get(results[0][0], 0) + 1
        if results[0] == results[1]:
            same += 1
        else:
            differ.append(config)
    print(f"{len(configs)} configurations: {same} identical, {len(differ)} different")
    print("exit statuses of the old program:", ", ".join(f"{k}: {v}" for k, v in sorted(statuses.items())))
    for config in differ:
        print("differs:", *config)
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
