#!/usr/bin/env python3
"""Holds every word khex says about the bytes to the bytes it wrote.

For random configurations (a COFF or an ELF executable, whose addresses may
count 16-bit words, formats, widths, both target byte orders and both -order
values, image mode, fill, boot tables that start below, fill, cross or
end at a range's end, inserts, checksum and field slots, -romaddr, -zero),
one run of khex writes its files with a map, a JSON report and a picture.
Every file is decoded here, by decoders of this program's own (never khex's
readers), and each report is held to the decoded bytes:

  - ownership: every byte of every file belongs to exactly one entry of its
    range's JSON contents, at the addresses the entry gives, and holds that
    owner's bytes (a section's or an inserted file's data, the fill, a
    value's bytes); outside image mode no entry claims a byte the files do
    not hold;
  - labels: each file's word_bytes put its bytes where the data lies, and its
    lane_bits, the comment of a device file, the picture's label and verify's
    labels name the bits of the word those bytes are; the map's OUTPUT FILES
    counts lanes in lane order;
  - counts: used, fill and free bytes, each file's addresses, data bytes,
    CRC-32 and sum; a CRC or sum in image mode is recomputed;
  - the map's entries are the JSON's (its BOOT TABLE line starts at bootorg)
    and no FILL line covers an owned byte; the picture's blocks are the
    JSON's entries;
  - -verify of a file against itself matches, and against a device image
    with one byte changed names exactly that byte, its label and its owner;
  - with stamps, a lot of two units with deltas: each unit's delta bytes are
    its own files' bytes at those device addresses, and everywhere else its
    files hold the common image's bytes.

    tools/check_reports.py KHEX [--seed N] [--count N] [--seconds S]
                                [--keep DIR] [--verbose]

Each configuration is drawn from its own seed (the first is --seed, default
1; then one after the other), so `--seed N --count 1` repeats one. Exit
status 1 when a check fails, with the seed and what failed.
"""
import base64
import copy
import hashlib
import json
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

# ---------------------------------------------------------------- the COFF file


def coff_file(sections, symbols, big_endian, entry):
    """A Kestrel COFF executable (version 0x00C2, little-endian headers)."""
    strings = b""

    def name_field(name):
        nonlocal strings
        raw = name.encode()
        if len(raw) <= 8:
            return raw.ljust(8, b"\0")
        offset = 4 + len(strings)
        strings += raw + b"\0"
        return struct.pack("<II", 0, offset)

    out = bytearray(struct.pack("<HHIIIHHH", 0xC2, len(sections), 0, 0, 0, 28,
                                (0x200 if big_endian else 0) | (4 << 4), 0x9C))
    out += struct.pack("<HHIIIIII", 0x108, 1, 0, 0, 0, entry, 0, 0)
    data_at = len(out) + 48 * len(sections)
    for s in sections:
        out += name_field(s["name"])
        out += struct.pack("<IIIIIIIIIBBH", s["vaddr"], s["vaddr"], len(s["data"]), data_at, 0, 0, 0, 0,
                           s["flags"], 0, 0, s["page"])
        data_at += len(s["data"])
    for s in sections:
        out += s["data"]
    if symbols:
        struct.pack_into("<II", out, 8, len(out), len(symbols))
        for name, value, section in symbols:
            out += name_field(name) + struct.pack("<IhHBB", value, section, 0, 2, 0)
    if strings:
        out += struct.pack("<I", 4 + len(strings)) + strings
    return bytes(out)


def elf_file(sections, symbols, big_endian, entry, unit):
    """The same program as a 32-bit ELF executable: a PT_LOAD segment for each
    section, addresses counted in units of `unit` bytes."""
    e = ">" if big_endian else "<"
    data_at = 52 + 32 * len(sections)
    body, offsets = bytearray(), []
    for s in sections:
        offsets.append(data_at + len(body))
        body += s["data"]
    strtab, symtab = b"\0", bytearray(16)
    for name, value, section in symbols:
        symtab += struct.pack(e + "IIIBBH", len(strtab), value // unit, 0, 0x10, 0, section)
        strtab += name.encode() + b"\0"
    names = bytearray(b"\0")

    def name_of(text):
        names.extend(text.encode() + b"\0")
        return len(names) - len(text) - 1

    def align():
        body.extend(bytes(-(data_at + len(body)) % 4))

    rows = [bytes(40)]
    for s, offset in zip(sections, offsets):
        flags = 2 | (4 if s["flags"] & 0x20 else 1)
        rows.append(struct.pack(e + "10I", name_of(s["name"]), 1, flags, s["vaddr"] // unit, offset,
                                len(s["data"]), 0, 0, 1, 0))
    align()
    rows.append(struct.pack(e + "10I", name_of(".symtab"), 2, 0, 0, data_at + len(body), len(symtab),
                            len(rows) + 1, 1, 4, 16))
    body += symtab
    rows.append(struct.pack(e + "10I", name_of(".strtab"), 3, 0, 0, data_at + len(body), len(strtab), 0, 0, 1, 0))
    body += strtab
    shstrndx = len(rows)
    names_name = name_of(".shstrtab")
    rows.append(struct.pack(e + "10I", names_name, 3, 0, 0, data_at + len(body), len(names), 0, 0, 1, 0))
    body += names
    align()
    header = b"\x7fELF" + bytes([1, 2 if big_endian else 1, 1]) + bytes(9)
    header += struct.pack(e + "HHIIIIIHHHHHH", 2, 0x9C, 1, entry // unit, 52, data_at + len(body), 0, 52, 32,
                          len(sections), 40, len(rows), shstrndx)
    segments = b"".join(struct.pack(e + "8I", 1, offset, s["vaddr"] // unit, s["vaddr"] // unit, len(s["data"]),
                                    len(s["data"]), 7, 1) for s, offset in zip(sections, offsets))
    return bytes(header + segments + body + b"".join(rows))


def executable_kind(cfg):
    """COFF, or ELF (8: addresses in bytes, 16: in words) where the program
    is one an ELF file holds: page 0 only, no two sections over one address.
    Drawn from a generator of its own, so that the rest of a seed's
    configuration stays as it was."""
    rng = random.Random(cfg["seed"] * 31 + 7)
    sections = sorted(cfg["sections"], key=lambda s: s["vaddr"])
    if rng.random() < 0.6 or any(s["page"] for s in sections) or any(
            a["vaddr"] + len(a["data"]) > b["vaddr"] for a, b in zip(sections, sections[1:])):
        return "coff"
    words = all(v % 2 == 0 for v in [s["vaddr"] for s in sections] + [v for _, v, _ in cfg["symbols"]])
    return 16 if words and rng.random() < 0.5 else 8

# ------------------------------------------------------------ configurations

FORMATS = {
    # option: (decoder, record formats carry addresses, default extension letter)
    "-x": "tektronix", "-i": "intel", "-m": "motorola", "-m1": "motorola", "-m2": "motorola",
    "-m3": "motorola", "-t": "zq", "-a": "ascii", "--b": "generic", "--w": "generic", "-b": "binary",
    "--d": "debug", "-vmem": "vmem", "-mif": "mif", "-coe": "coe", "-carray": "carray",
}
DEVICE_FORMATS = {"vmem", "mif", "coe", "carray"}
# the JSON report's format names, by decoder
KIND_OF_NAME = {"Intel": "intel", "Motorola-S": "motorola", "Motorola-S1": "motorola", "Motorola-S2": "motorola",
                "Motorola-S3": "motorola", "Extended Tektronix": "tektronix", "ZQ-Tagged": "zq", "ASCII-Hex": "ascii",
                "Generic": "generic", "Binary": "binary", "DEBUG": "debug", "Verilog memory": "vmem", "MIF": "mif",
                "COE": "coe", "C array": "carray"}
ALSO_WORDS = {"intel": "i", "motorola": "m3", "tektronix": "x", "zq": "t", "ascii": "a", "generic": "generic8",
              "binary": "b", "debug": "debug", "vmem": "vmem", "mif": "mif", "coe": "coe", "carray": "carray"}
VERIFIABLE = {"intel", "motorola", "tektronix", "binary"}
ALGORITHMS = {"crc32": 4, "sum8": 1, "sum16": 2, "sum32": 4, "negsum16": 2, "crc16-xmodem": 2, "sha256": 32,
              "sha1": 20}


def draw(seed):
    """One configuration: the program, the ranges, the options."""
    rng = random.Random(seed)
    big = rng.random() < 0.5
    option = rng.choice(list(FORMATS))
    kind = FORMATS[option]
    boot = rng.random() < 0.35
    memwidth = rng.choice([1, 2] if boot else [1, 2, 2, 4])
    if kind == "zq":
        memwidth = max(memwidth, 2)  # the format widens 8-bit memory
    romwidth = rng.choice([w for w in (1, 2, 4) if memwidth // w <= 8])
    if kind == "zq":
        romwidth = max(romwidth, 2)
    image = rng.random() < 0.5 or kind == "binary"
    options = [option, "-q"]
    if kind == "binary":
        options += ["-memwidth", "8"]
    if rng.random() < 0.6:
        options += ["-order", rng.choice(["MS", "LS"])]
    datawidth = rng.choice([w for w in (1, 2, 4) if w <= memwidth])
    if datawidth > 1:
        options += ["-datawidth", str(8 * datawidth)]

    # ranges on page 0, word-aligned, with gaps between some
    align = 4 * max(memwidth, romwidth)
    ranges = []
    at = rng.randrange(0, 0x200, align)
    for i in range(rng.randint(1, 3)):
        length = rng.randrange(align, 0x400, max(memwidth, romwidth))
        lanes = memwidth // romwidth if romwidth < memwidth else 1
        ranges.append({"name": "r%d" % i, "origin": at, "length": length, "memwidth": memwidth,
                       "romwidth": romwidth, "fill": rng.choice([None, 0xFFFF, rng.randrange(0x10000)]),
                       "files": ["f%d_%d.out" % (i, k) for k in range(lanes)]})
        at += length + rng.choice([0, 0, align, 0x40])
    low, high = ranges[0]["origin"], ranges[-1]["origin"] + ranges[-1]["length"]
    if rng.random() < 0.15:
        ranges.append({"name": "p1", "page": 1, "origin": 0, "length": 0x100, "memwidth": memwidth,
                       "romwidth": romwidth, "fill": None,
                       "files": ["p1_%d.out" % k for k in range(memwidth // romwidth if romwidth < memwidth else 1)]})

    # sections at random places around the ranges, a few overlapping
    sections, symbols = [], []
    cursor = max(0, low - 0x40)
    for i in range(rng.randint(1, 4)):
        # sections start at memory words, as a linker puts them
        cursor += rng.randrange(0, 0x80, 2) + (0 if i else rng.randrange(0, 0x40, 2))
        if i and rng.random() < 0.05:
            cursor = max(0, cursor - 0x60)
        cursor += -cursor % memwidth
        size = rng.choice([1, 2, 3, 7, 16, 40, rng.randint(1, 0x180)])
        if cursor >= high + 0x20:
            break
        data = bytes(rng.randrange(256) for _ in range(size))
        sections.append({"name": ".s%d" % i, "vaddr": cursor, "data": data, "flags": 0x20, "page": 0,
                         "boot": False})
        cursor += size
    if not sections:
        sections.append({"name": ".s0", "vaddr": low, "data": bytes([0x5A, 0xA5]), "flags": 0x20, "page": 0,
                         "boot": False})
    if ranges[-1].get("page") == 1:
        sections.append({"name": ".p1", "vaddr": rng.randrange(0, 0xC0, max(2, memwidth)),
                         "data": bytes(rng.randrange(256) for _ in range(rng.randint(1, 0x60))), "flags": 0x40,
                         "page": 1, "boot": False})
    for s in sections:
        symbols.append(("_" + s["name"][1:], s["vaddr"], sections.index(s) + 1))

    if rng.random() < 0.15 and not boot:
        # a placeholder the linker reserved for a checksum, named by a symbol
        r = rng.choice(ranges)
        at = r["origin"] + rng.randrange(0, max(1, r["length"] - 8), max(memwidth, 4))
        if all(s["vaddr"] + len(s["data"]) <= at or s["vaddr"] >= at + 4 for s in sections):
            sections.append({"name": ".crc", "vaddr": at, "data": bytes(4), "flags": 0x40, "page": 0,
                             "boot": False})
            sections.sort(key=lambda s: s["vaddr"])
            symbols.append(("_rom_crc", at, sections.index(sections[-1]) + 1))
    symbols = [(name, value, next(i + 1 for i, s in enumerate(sections) if s["vaddr"] <= value <
                                  s["vaddr"] + max(1, len(s["data"]))))
               for name, value, _ in symbols]

    inserts = {}
    if boot:
        chosen = rng.sample(sections, rng.randint(1, min(2, len(sections))))
        for s in chosen:
            s["boot"] = True
            s["vaddr"] += 0x10000  # loaded elsewhere; its own address is the loader's concern
        r = rng.choice(ranges)
        end = r["origin"] + r["length"]
        table = 8 + sum(8 + len(s["data"]) + len(s["data"]) % 2 for s in chosen) + 4
        where = rng.choice(["inside", "at_end", "crossing", "below", "origin"])
        bootorg = {"inside": r["origin"] + rng.randrange(0, max(2, r["length"] // 2), 2),
                   "at_end": end - table, "crossing": end - table + rng.randrange(2, 16, 2),
                   "below": r["origin"] - rng.randrange(2, 12, 2), "origin": r["origin"]}[where]
        options += ["-bootorg", hex(max(0, bootorg))]
    if rng.random() < 0.25:
        r = rng.choice(ranges)
        blob = bytes(rng.randrange(256) for _ in range(rng.choice([2, 8, 30])))
        at = r["origin"] + rng.randrange(0, r["length"], r["memwidth"])
        inserts["blob.bin"] = blob
        options += ["-insert", "%s,blob.bin,at=%s" % (r["name"], hex(at))]
    if rng.random() < 0.3:
        r = rng.choice(ranges)
        algorithm = rng.choice(list(ALGORITHMS))
        value = "%s,%s" % (r["name"], algorithm)
        if any(s["name"] == ".crc" for s in sections) and rng.random() < 0.7:
            crc = next(s for s in sections if s["name"] == ".crc")
            home = next(x for x in ranges if x["origin"] <= crc["vaddr"] < x["origin"] + x["length"])
            value = "%s,%s,at=_rom_crc" % (home["name"], rng.choice(["crc32", "sum16", "crc16-xmodem"]))
            if crc["vaddr"] > home["origin"]:
                value += ",from=0x%x,to=_rom_crc-1" % home["origin"]
        elif rng.random() < 0.5:
            value += ",at=%s" % hex(r["origin"] + rng.randrange(0, max(1, r["length"] - 4), r["memwidth"]))
        if not image:
            value += ",holes=" + rng.choice(["fill", "skip"])
        options += ["-checksum", value]
    if rng.random() < 0.2:
        r = rng.choice(ranges)
        kind_word = rng.choice(["length", "first", "last", "value=0x1234"])
        options += ["-field", "%s,%s,at=%s,size=%d" % (r["name"], kind_word,
                                                       hex(r["origin"] + rng.randrange(0, max(1, r["length"] - 4),
                                                                                       r["memwidth"])),
                                                       rng.choice([2, 4]))]
    if image:
        options.append("-image")
        if rng.random() < 0.6:
            options += ["-fill", hex(rng.randrange(0x10000))]
        if rng.random() < 0.3:
            options.append("-zero")
    if rng.random() < 0.3 and romwidth < memwidth:
        options.append("-romaddr")
    if kind in ("intel", "motorola", "tektronix") and rng.random() < 0.2:
        options += ["-reclen", str(romwidth * rng.randint(1, 30))]
    if boot and rng.random() < 0.2:
        options.append(rng.choice(["-v7734:1", "-serial16", "-parallel8"]))
    for k in range(rng.choice([0, 0, 0, 1, 2])):
        # another set of files of the same placement, in another format or width
        also = rng.choice(list(ALSO_WORDS))
        widths = [w for w in (1, 2, 4) if (memwidth // w <= 8 if w < memwidth else w % memwidth == 0)]
        widths = [w for w in widths if (also != "zq" or w >= 2) and (also not in DEVICE_FORMATS or w <= 4)]
        options += ["-also", "%s,romwidth=%d,names=also%d_%%r_%%k.out" % (ALSO_WORDS[also], 8 * rng.choice(widths), k)]
    signatures = {}
    if rng.random() < 0.2:
        # a signature's slot: fill, or a signature of the slot's size or
        # shorter, as it is, in DER or in base64
        r = rng.choice(ranges)
        size = rng.choice([8, 16, 64])
        if size <= r["length"]:
            at = r["origin"] + rng.randrange(0, r["length"] - size + 1, r["memwidth"])
            value = "%s,at=%s,size=%d" % (r["name"], hex(at), size)
            how = rng.choice(["fill", "raw", "der", "base64"])
            if how != "fill":
                raw = bytes(rng.randrange(256) for _ in range(rng.randint(1, size)))
                if how == "der":
                    halves = [bytes(rng.randrange(256) for _ in range(rng.randint(1, size // 2))) for _ in "rs"]
                    raw = b"".join(h.rjust(size // 2, b"\0") for h in halves)
                signatures["sig.bin"] = {"raw": raw, "der": der_signature(*halves) if how == "der" else None,
                                         "base64": base64.b64encode(raw) + b"\n"}[how] if how != "raw" else raw
                value += ",file=sig.bin,format=" + how
            options += ["-signature", value]
            signatures["expected"] = raw if how != "fill" else b""
    for k in range(rng.choice([0, 0, 0, 1, 2])):
        # the digest a signer signs, and the bytes it was computed over
        r = rng.choice(ranges)
        value = "%s,out=d%d.bin,alg=%s,encoding=%s" % (r["name"], k, rng.choice(["sha1", "sha256", "sha512"]),
                                                     rng.choice(["raw", "hex"]))
        if rng.random() < 0.5:
            value += ",message=m%d.bin" % k
        if rng.random() < 0.4:
            first = r["origin"] + rng.randrange(0, r["length"])
            value += ",from=%s,to=%s" % (hex(first), hex(rng.randrange(first, r["origin"] + r["length"])))
        if not image or rng.random() < 0.3:
            value += ",holes=" + rng.choice(["fill", "skip"])
        options += ["-digest", value]
    inserts.update({k: v for k, v in signatures.items() if k != "expected"})
    stamps = {}
    for k in range(rng.choice([0, 0, 0, 1, 2])):
        # a unit's own data: a number, a MAC address, a key, text
        r = rng.choice(ranges)
        how = rng.choice(["number", "mac", "bytes", "text"])
        size = {"number": rng.choice([1, 2, 4, 8]), "mac": 6, "bytes": rng.randint(1, 16),
                "text": rng.randint(1, 20)}[how]
        if size > r["length"]:
            continue
        at = r["origin"] + rng.randrange(0, r["length"] - size + 1, r["memwidth"])
        value = "%s,at=%s,size=%d" % (r["name"], hex(at), size)
        if how == "number":
            number = rng.randrange(1 << (8 * size))
            endian = rng.choice([None, "big", "little"])
            value += ",value=%s" % rng.choice([hex(number), str(number)]) + (",endian=" + endian if endian else "")
            order = endian or ("big" if big else "little")
            stamps[at] = ((number, order), number.to_bytes(size, "big").hex())
        elif how in ("mac", "bytes"):
            raw = bytes(rng.randrange(256) for _ in range(size))
            value += ",kind=%s,value=%s" % (how, ":".join("%02x" % b for b in raw) if how == "mac" else raw.hex())
            stamps[at] = (raw, raw.hex())
        else:
            chars = rng.choice([0, 1, 2])
            room = size if chars == 0 else size // 2 if chars == 1 else size // 2 * 2
            text = "".join(rng.choice("AZaz09 ,=_-") for _ in range(rng.randint(1, max(1, room))))
            if not room:
                continue
            raw = bytearray(size)
            for i, c in enumerate(text.encode()):
                if chars == 0:
                    raw[i] = c
                else:
                    word, high = (i, False) if chars == 1 else (i // 2, i % 2 == 0)
                    raw[2 * word + (0 if high == big else 1)] = c
            value += (",chars=%d" % chars if chars else "") + ",text=" + text
            stamps[at] = (bytes(raw), bytes(raw).hex())
        options += ["-stamp", value]
    cfg = {"seed": seed, "big": big, "kind": kind, "sections": sections, "symbols": symbols,
           "ranges": ranges, "options": options, "inserts": inserts, "image": image,
           "signature": signatures.get("expected"), "stamps": stamps}
    cfg["executable"] = executable_kind(cfg)
    if cfg["executable"] == 16:
        options += ["-addrunit", "16"]
    return cfg


def der_signature(r, s):
    """An ECDSA signature's DER: SEQUENCE { INTEGER r, INTEGER s }."""
    def integer(value):
        value = value.lstrip(b"\0") or b"\0"
        if value[0] & 0x80:
            value = b"\0" + value
        return bytes([2, len(value)]) + value
    body = integer(r) + integer(s)
    return bytes([0x30, len(body)] if len(body) < 0x80 else [0x30, 0x81, len(body)]) + body


def command_file(cfg):
    lines = ["app.out", "ROMS", "{", "    PAGE 0:"]
    for r in cfg["ranges"]:
        if r.get("page") == 1:
            lines.append("    PAGE 1:")
        fill = ", fill = 0x%x" % r["fill"] if r["fill"] is not None else ""
        lines.append("        %s: origin = 0x%x, length = 0x%x, romwidth = %d, memwidth = %d%s, files = { %s }"
                     % (r["name"], r["origin"], r["length"], 8 * r["romwidth"], 8 * r["memwidth"], fill,
                        ", ".join(r["files"])))
    lines.append("}")
    entries = ["%s%s" % (s["name"], ": boot" if s["boot"] else "") for s in cfg["sections"]]
    lines.append("SECTIONS { %s }" % " ".join(entries))
    return "\n".join(lines) + "\n"


def write_inputs(cfg, work):
    sections = [dict(s, flags=s["flags"]) for s in cfg["sections"]]
    with open(os.path.join(work, "app.out"), "wb") as f:
        if cfg.get("executable", "coff") == "coff":
            f.write(coff_file(sections, cfg["symbols"], cfg["big"], sections[0]["vaddr"]))
        else:
            f.write(elf_file(sections, cfg["symbols"], cfg["big"], sections[0]["vaddr"], cfg["executable"] // 8))
    with open(os.path.join(work, "r.cmd"), "w") as f:
        f.write(command_file(cfg))
    for name, data in cfg["inserts"].items():
        with open(os.path.join(work, name), "wb") as f:
            f.write(data)

# ------------------------------------------------------------------ decoders
# Each gives runs (address, bytes) as the file gives them: a record's address
# and its bytes; device formats give word indexes and the words' bytes.


def hexbytes(text):
    return bytes.fromhex(text)


def decode_intel(text):
    runs, base = [], 0
    for line in text.splitlines():
        raw = hexbytes(line[1:])
        assert line[0] == ":" and sum(raw) & 0xFF == 0 and raw[0] == len(raw) - 5, "bad Intel record " + line
        kind, address = raw[3], raw[1] << 8 | raw[2]
        if kind == 0:
            runs.append((base + address, raw[4:-1]))
        elif kind == 2:
            base = (raw[4] << 8 | raw[5]) << 4
        elif kind == 4:
            base = (raw[4] << 8 | raw[5]) << 16
    return runs


def decode_motorola(text):
    runs = []
    for line in text.splitlines():
        raw = hexbytes(line[2:])
        assert (sum(raw) + 1) & 0xFF == 0 and raw[0] == len(raw) - 1, "bad S-record " + line
        size = {"1": 2, "2": 3, "3": 4}.get(line[1])
        if size:
            runs.append((int.from_bytes(raw[1:1 + size], "big"), raw[1 + size:-1]))
    return runs


TEK = {c: i for i, c in enumerate("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ$%._abcdefghijklmnopqrstuvwxyz")}


def decode_tektronix(text):
    runs = []
    for line in text.splitlines():
        assert int(line[1:3], 16) == len(line) - 1, "bad block length " + line
        assert sum(TEK.get(c, 0) for i, c in enumerate(line) if i not in (0, 4, 5)) & 0xFF == int(line[4:6], 16)
        if line[3] == "6":
            n = int(line[6], 16)
            runs.append((int(line[7:7 + n], 16), hexbytes(line[7 + n:])))
    return runs


def decode_ascii(text):
    assert text[0] == "\x02" and text[-1] == "\x03"
    runs, address = [], 0
    for line in text[1:-1].splitlines():
        if line.startswith("$A"):
            address = int(line[2:-1], 16)
            runs.append((address, b""))
        elif line.strip():
            data = hexbytes(line.replace(" ", ""))
            if not runs:
                runs.append((0, b""))
            runs[-1] = (runs[-1][0], runs[-1][1] + data)
    return runs


def decode_zq(text):
    runs = []
    lines = text.splitlines()
    assert lines[-1] == ":"
    for line in lines[:-1]:
        assert len(line) == 80 and line.endswith("COFFTOZQ")
        body = line[:72].rstrip()
        stop = len(body) - 6  # "7", four digits of the checksum, "F"
        assert body[stop] == "7" and body[-1] == "F", "bad ZQ line end " + line
        assert (sum(ord(c) for c in body[:stop + 1]) + int(body[stop + 1:stop + 5], 16)) & 0xFFFF == 0, \
            "bad ZQ checksum " + line
        if body.startswith("K0000COFFTOZQ"):
            body, stop = body[13:], stop - 13
        i = 0
        while i < stop:
            tag = body[i]
            if tag == "9":
                runs.append((int(body[i + 1:i + 5], 16), b""))
                i += 5
            elif tag in "B*":
                n = 4 if tag == "B" else 2
                runs[-1] = (runs[-1][0], runs[-1][1] + hexbytes(body[i + 1:i + 1 + n]))
                i += 1 + n
            else:
                raise AssertionError("bad ZQ tag in " + line)
    return runs


def decode_generic(text):
    lines = text.splitlines()
    assert lines[:2] == ["ADDRESS\tDATA", "-------\t----"]
    runs = []
    for line in lines[2:]:
        address, words = line.split("\t")
        runs.append((int(address, 16), hexbytes(words.replace(" ", ""))))
    return runs


def decode_debug(text):
    lines = text.splitlines()
    assert lines[0] == "*** FILE HEADER ***" and lines[-1] == "*** FILE FOOTER ***"
    runs = []
    for line in lines[1:-1]:
        m = re.fullmatch(r"ADDR:([0-9a-f]{8}): DATA:((?:[0-9A-F]+ )*):END:", line)
        assert m, "bad DEBUG line " + line
        runs.append((int(m.group(1), 16), hexbytes(m.group(2).replace(" ", ""))))
    return runs


def decode_vmem(text):
    runs = []
    for line in text.splitlines()[1:]:
        if line.startswith("@"):
            runs.append((int(line[1:], 16), b""))
        else:
            runs[-1] = (runs[-1][0], runs[-1][1] + hexbytes(line.replace(" ", "")))
    return runs


def decode_mif(text):
    runs = []
    body = text[text.index("CONTENT BEGIN") + 13:text.index("END;")]
    width = int(re.search(r"WIDTH=(\d+);", text).group(1)) // 8
    for line in body.split(";"):
        line = line.strip()
        if not line:
            continue
        address, word = (p.strip() for p in line.split(":"))
        m = re.fullmatch(r"\[([0-9A-Fa-f]+)\.\.([0-9A-Fa-f]+)\]", address)
        first, last = (int(m.group(1), 16), int(m.group(2), 16)) if m else (int(address, 16),) * 2
        runs.append((first, hexbytes(word.rjust(2 * width, "0")) * (last - first + 1)))
    return runs


def decode_coe(text):
    vector = text[text.index("memory_initialization_vector=") + 29:].replace("\n", "")
    assert vector.endswith(";")
    return [(0, b"".join(hexbytes(w) for w in vector[:-1].split(",")))]


def decode_carray(text):
    arrays = {m.group(1): hexbytes("".join(re.findall(r"0x([0-9A-F]+)", m.group(2))))
              for m in re.finditer(r"static const uint\d+_t (\w+)\[\] = \{(.*?)\};", text, re.S)}
    runs = []
    for m in re.finditer(r"\{0x([0-9a-f]{8})u, (\d+)u, (\w+)\}", text):
        runs.append((int(m.group(1), 16), arrays[m.group(3)]))
        assert len(arrays[m.group(3)]) % int(m.group(2)) == 0
    return runs


def decode_binary(data):
    return [(0, data)]


DECODERS = {"intel": decode_intel, "motorola": decode_motorola, "tektronix": decode_tektronix,
            "ascii": decode_ascii, "zq": decode_zq, "generic": decode_generic, "debug": decode_debug,
            "vmem": decode_vmem, "mif": decode_mif, "coe": decode_coe, "carray": decode_carray,
            "binary": decode_binary}

# -------------------------------------------------------------- the checks


class Problems(list):
    def add(self, text):
        if len(self) < 40:
            self.append(text)


def run_khex(khex, work, args):
    p = subprocess.run([khex] + args, cwd=work, capture_output=True, timeout=60)
    return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")


def fill_view(fill, big):
    return bytes([fill >> 8, fill & 0xFF]) if big else bytes([fill & 0xFF, fill >> 8])


def lane_bits_of(word_bytes, memwidth, big):
    """The bits of the memory word's value the bytes at these offsets are."""
    firsts = [8 * (memwidth - 1 - k if big else k) for k in word_bytes]
    return [min(firsts), max(firsts) + 7]


class Range:
    """A range of the JSON report, with what its files hold at each target byte."""

    def __init__(self, report, settings):
        self.j = report
        self.name = report["name"]
        self.origin, self.end = report["origin"], report["end"]
        self.memwidth = report["memwidth_bits"] // 8
        self.romwidth = report["romwidth_bits"] // 8
        self.lanes = report["memwidth_bits"] > report["romwidth_bits"]
        self.settings = settings
        self.held = {}  # target address -> byte, from every file

    def as_written(self, romwidth):
        """The range as a set of the given ROM width (bytes) writes it."""
        view = copy.copy(self)
        view.romwidth = romwidth
        view.lanes = self.memwidth > romwidth
        return view

    def place(self, device, word_bytes):
        """The target address of the byte at a device address: a lane's byte
        j of its device word, or the byte of a ROM at least as wide as the
        memory word."""
        if self.lanes:
            word, j = divmod(device, self.romwidth)
            return self.origin + word * self.memwidth + word_bytes[j]
        p = self.origin + device
        k = device % self.memwidth
        return p - k + word_bytes[k]

    def device_of(self, own, j):
        """The device address of byte j of an operation at record address own."""
        s = self.settings
        if not self.lanes:
            return own - (0 if s["zero"] else self.origin)
        base = own - j
        if not s["romaddr"]:
            return ((base - (0 if s["zero"] else self.origin)) // self.memwidth) * self.romwidth + j
        return base - (0 if s["zero"] else self.origin // self.memwidth * self.romwidth) + j


def file_bytes(cfg, rng, kind, data, word_bytes, owners):
    """(own address, device address, target address, byte) of each data byte
    of a file."""
    out = []
    rom, mem = rng.romwidth, rng.memwidth
    if kind == "binary":
        return binary_bytes(cfg, rng, data, word_bytes, owners)
    runs = DECODERS[kind](data.decode("latin-1"))
    if kind in DEVICE_FORMATS:
        for word, chunk in runs:
            for i, byte in enumerate(chunk):
                device = (word + i // rom) * rom + i % rom
                out.append((word + i // rom, device, rng.place(device, word_bytes), byte))
        return out
    step = mem if rng.lanes and not rng.settings["romaddr"] else rom
    for address, chunk in runs:
        if kind == "zq":
            address = zq_address(address, rng)
        for i, byte in enumerate(chunk):
            own = address + (i // rom) * step + i % rom if rng.lanes else address + i
            device = rng.device_of(own, i % rom)
            out.append((own, device, rng.place(device, word_bytes), byte))
    return out


def binary_bytes(cfg, rng, data, word_bytes, owners):
    """A Binary file's bytes are the lane's bytes in address order, without
    gaps: in image mode the device image, otherwise the words the entries
    own, in order."""
    if cfg["image"]:
        return [(i, i, rng.place(i, word_bytes), byte) for i, byte in enumerate(data)]
    per_word = min(rng.romwidth, rng.memwidth)
    words = sorted({(a - rng.origin) // rng.memwidth for a in owners})
    devices = [w * per_word + j for w in words for j in range(per_word)] if rng.lanes else \
        [w * rng.memwidth + j for w in words for j in range(rng.memwidth)]
    out = [(i, d, rng.place(d, word_bytes), data[i]) for i, d in enumerate(devices[:len(data)])]
    if len(data) != len(devices):
        out.append((len(data), -1, rng.end + 1, 0))  # a byte count the entries do not explain
    return out


def zq_address(address, rng):
    """A ZQ-Tagged address carries 16 bits: the one in the range that fits."""
    base = rng.origin if not rng.settings["zero"] else 0
    if rng.lanes and rng.settings["romaddr"]:
        base = (0 if rng.settings["zero"] else rng.origin) // rng.memwidth * rng.romwidth
    candidate = (base & ~0xFFFF) | address
    return candidate + 0x10000 if candidate < base else candidate


def expected_owners(cfg, rng, problems):
    """target address -> (owner name, expected byte or None, whether it is
    data for a field) from the JSON contents."""
    owners = {}
    sections = {s["name"]: s for s in cfg["sections"]}
    fill = fill_view(rng.j["fill"], cfg["big"])
    slots = []
    for e in rng.j["contents"]:
        if e["kind"] in ("checksum", "field", "signature", "stamp"):
            slots.append(e)
        if e["start"] > e["end"] or e["start"] < rng.origin or e["end"] > rng.end:
            problems.add("range %s: entry %s %s..%s lies outside the range" % (rng.name, e["kind"], e["start"],
                                                                              e["end"]))
            continue
        if e["size"] != e["end"] - e["start"] + 1:
            problems.add("range %s: entry %s has size %d for %d..%d" % (rng.name, e["name"], e["size"], e["start"],
                                                                       e["end"]))
        for a in range(e["start"], e["end"] + 1):
            if e["kind"] == "section":
                s = sections[e["name"]]
                offset = a - s["vaddr"]
                want = s["data"][offset] if 0 <= offset < len(s["data"]) else "pad"
            elif e["kind"] == "insert":
                blob = cfg["inserts"][e["name"]]
                want = blob[a - e["start"]] if a - e["start"] < len(blob) else "pad"
            elif e["kind"] == "fill":
                want = fill[(a - e["start"]) % 2] if rng.memwidth == 1 else fill[(a - rng.origin) % 2]
            elif e["kind"] == "boot_table":
                want = None
            else:
                continue
            owner = e["name"] if e["kind"] != "insert" else "insert " + e["name"]
            if a in owners:
                problems.add("range %s: %s and %s both claim 0x%x" % (rng.name, owners[a][0], owner, a))
            owners[a] = (owner if e["kind"] != "boot_table" else "boot table", want, e["kind"] != "fill")
    for e in slots:
        order = "big" if cfg["big"] else "little"
        if e["kind"] == "stamp":
            # the stamp's bytes as the target stores them, the rest of its slot zero
            want, shown = cfg["stamps"][e["start"]]
            # a number zero-extended to its slot in its byte order, the others as written
            value = want[0].to_bytes(e["size"], want[1]) if isinstance(want, tuple) else want.ljust(e["size"], b"\0")
            if e["bytes"] != shown:
                problems.add("range %s: stamp at 0x%x has bytes %s, its value gives %s" % (
                    rng.name, e["start"], e["bytes"], shown))
        elif e["kind"] == "signature":
            # the signature's bytes, the rest of its slot fill
            value = bytes.fromhex(e["bytes"])
            want = cfg["signature"] + bytes(fill[(a - rng.origin) % 2]
                                            for a in range(e["start"] + len(cfg["signature"]), e["end"] + 1))
            if value != want or e["signed"] != bool(cfg["signature"]):
                problems.add("range %s: signature %s, its file and fill give %s" % (rng.name, e["bytes"], want.hex()))
        elif e["name"].startswith("sha"):
            # a digest lies byte 0 first, the rest of its slot zero
            value = bytes.fromhex(e["bytes"]).ljust(e["size"], b"\0")
        else:
            value = e["value"].to_bytes(e["size"], order)
        placeholder = e.get("replaces")
        for a in range(e["start"], e["end"] + 1):
            if a in owners and owners[a][0] != placeholder:
                problems.add("range %s: %s's slot at 0x%x lies over %s" % (rng.name, e["name"], a, owners[a][0]))
            # a slot over a section's placeholder keeps the section's bytes data
            # a stamp is data for the fields whose spans cover it
            owners[a] = ({"checksum": "checksum ", "field": "field ", "signature": "", "stamp": "stamp "}[e["kind"]]
                         + e["name"], value[a - e["start"]], placeholder is not None or e["kind"] == "stamp")
    return owners


def check_range(cfg, rng, ranges, owners, problems, files):
    """The decoded bytes of every file of the range against the owners."""
    fill = fill_view(rng.j["fill"], cfg["big"])
    pads = set(fill) | {b for r in ranges for b in fill_view(r.j["fill"], cfg["big"])}
    seen = {}
    main = rng
    for f in rng.j["files"]:
        name, wb = f["name"], f["word_bytes"]
        # a file of an -also set: its own format and ROM width
        kind = KIND_OF_NAME[f["format"]]
        rng = main.as_written(f["romwidth_bits"] // 8)
        bits = lane_bits_of(wb, rng.memwidth, cfg["big"])
        if f["lane_bits"] != bits:
            problems.add("%s: lane_bits %s, but its word_bytes %s are bits %s" % (name, f["lane_bits"], wb, bits))
        data = files.get(name)
        if data is None:
            problems.add("%s: listed in the JSON report, not written" % name)
            continue
        decoded = file_bytes(cfg, rng, kind, data, wb, owners)
        if kind in DEVICE_FORMATS:
            # a device word is written whole: its bytes that no data reaches
            # (a COE's words without data, a wide ROM word's other bytes) are fill
            decoded = [d for d in decoded if d[2] in owners or d[3] not in fill]
        if kind in DEVICE_FORMATS:
            m = re.search(r"lane b(\d+)\.\.b(\d+)", data.decode("latin-1").split("\n")[0])
            if not m or [int(m.group(1)), int(m.group(2))] != bits:
                problems.add("%s: its comment says %s, its bytes are bits %s" % (
                    name, m.group(0) if m else "nothing", bits))
        own_sorted = [(own, byte) for own, _, _, byte in sorted(decoded, key=lambda d: (d[0], d[1]))]
        if kind != "binary":
            tally = [b for _, b in own_sorted]
            if f["data_bytes"] != len(tally) or (tally and [f["first_address"], f["last_address"]] !=
                                                  [own_sorted[0][0], own_sorted[-1][0]]):
                problems.add("%s: JSON says %d bytes at %d..%d, the file holds %d at %s..%s" % (
                    name, f["data_bytes"], f["first_address"], f["last_address"], len(tally),
                    own_sorted[0][0] if tally else "-", own_sorted[-1][0] if tally else "-"))
            if f["crc32"] != (zlib.crc32(bytes(tally)) if tally else 0) or f["sum32"] != sum(tally) & 0xFFFFFFFF:
                problems.add("%s: JSON's CRC-32 or sum differs from the file's" % name)
        for own, _, target, byte in decoded:
            if target in seen.setdefault(name, {}):
                problems.add("%s: two bytes for target 0x%x" % (name, target))
            seen[name][target] = byte
            rng.held[target] = byte
            if target < rng.origin or target > rng.end:
                problems.add("%s: a byte at target 0x%x, outside range %s" % (name, target, rng.name))
                continue
            owner = owners.get(target)
            if owner is None:
                problems.add("%s: byte 0x%02x at 0x%x belongs to no entry" % (name, byte, target))
                continue
            want = owner[1]
            if want == "pad":
                # a piece is padded with the fill of the range it starts in,
                # which may run on into the next
                if byte not in pads:
                    problems.add("%s: pad byte at 0x%x of %s is 0x%02x, not fill" % (name, target, owner[0], byte))
            elif want is not None and byte != want:
                problems.add("%s: 0x%x holds 0x%02x, %s's byte is 0x%02x" % (name, target, byte, owner[0], want))
    # every owned byte is held (outside image mode, no entry claims more)
    for target, owner in owners.items():
        if target not in rng.held:
            problems.add("range %s: %s claims 0x%x, which no file holds" % (rng.name, owner[0], target))
    if cfg["image"] and rng.j["files"]:
        missing = [a for a in range(rng.origin, rng.end + 1) if a not in rng.held]
        if missing:
            problems.add("range %s: image mode, but 0x%x.. is in no file" % (rng.name, missing[0]))
    used = sum(1 for a, o in owners.items() if not o[0] == "fill")
    filled = sum(1 for a, o in owners.items() if o[0] == "fill")
    if rng.j["used_bytes"] != used or rng.j["fill_bytes"] != filled or \
            rng.j["free_bytes"] != rng.j["length"] - min(rng.j["length"], used + filled):
        problems.add("range %s: JSON counts used %d, fill %d, free %d; the entries give %d, %d" % (
            rng.name, rng.j["used_bytes"], rng.j["fill_bytes"], rng.j["free_bytes"], used, filled))


def recompute_values(cfg, rng, owners, problems):
    """A field's length, first or last address from the entries' data; in
    image mode a CRC or byte sum over the decoded image."""
    for e in rng.j["contents"]:
        if e["kind"] == "field" and e["name"] in ("length", "first", "last"):
            data = [a for a in range(e["from"], e["to"] + 1)
                    if a in owners and owners[a][2]]
            want = {"first": data[0], "last": data[-1], "length": data[-1] - data[0] + 1}[e["name"]] if data else None
            if want != e["value"]:
                problems.add("range %s: field %s over 0x%x..0x%x is %s by the entries, JSON says 0x%x" % (
                    rng.name, e["name"], e["from"], e["to"], want, e["value"]))
        if not cfg["image"] or e["kind"] != "checksum" or e["name"] not in ALGORITHMS:
            continue
        span = bytes(rng.held.get(a, 0) for a in range(e["from"], e["to"] + 1)
                     if not e["start"] <= a <= e["end"])
        width = ALGORITHMS[e["name"]]
        if e["name"].startswith("sha"):
            if hashlib.new(e["name"], span).hexdigest() != e["bytes"]:
                problems.add("range %s: %s over 0x%x..0x%x differs from the JSON's %s" % (
                    rng.name, e["name"], e["from"], e["to"], e["bytes"]))
            continue
        if e["name"] == "crc32":
            value = zlib.crc32(span)
        elif e["name"] == "crc16-xmodem":
            value = crc16_xmodem(span)
        else:
            value = sum(span) % (1 << (8 * width))
            if e["name"].startswith("neg"):
                value = -value % (1 << (8 * width))
        if value != e["value"]:
            problems.add("range %s: %s over 0x%x..0x%x is 0x%x, JSON says 0x%x" % (
                rng.name, e["name"], e["from"], e["to"], value, e["value"]))


def check_digests(cfg, rng, files, problems):
    """Each digest's file against the bytes the target reads of its span,
    its signature slot left out, holes as fill or skipped; the message file
    against the same bytes; the JSON report's value against the file."""
    fill = fill_view(rng.j["fill"], cfg["big"])
    for d in rng.j["digests"]:
        left = d["left_out"] or [1, 0]
        span = bytearray()
        for a in range(d["from"], d["to"] + 1):
            if left[0] <= a <= left[1]:
                continue
            if a in rng.held:
                span.append(rng.held[a])
            elif d["holes"] == "fill":
                span.append(fill[(a - rng.origin) % 2])
        want = hashlib.new(d["algorithm"], bytes(span)).digest()
        written = files.get(d["out"], b"")
        if d["encoding"] == "hex":
            written = bytes.fromhex(written.decode("latin-1")) if written.endswith(b"\n") else b"?"
        if written != want or d["bytes"] != want.hex():
            problems.add("range %s: digest %s in %s is %s, JSON %s; the span gives %s" % (
                rng.name, d["algorithm"], d["out"], written.hex(), d["bytes"], want.hex()))
        if "message" in d and files.get(d["message"]) != bytes(span):
            problems.add("range %s: message file %s is not the %d bytes hashed" % (rng.name, d["message"], len(span)))
        signature = [e for e in rng.j["contents"] if e["kind"] == "signature"]
        if signature and d["from"] <= signature[0]["end"] and d["to"] >= signature[0]["start"] and \
                left != [signature[0]["start"], signature[0]["end"]]:
            problems.add("range %s: digest leaves out %s, the signature lies at %d..%d" % (
                rng.name, d["left_out"], signature[0]["start"], signature[0]["end"]))


def crc16_xmodem(data):
    crc = 0
    for b in data:
        crc ^= b << 8
        for _ in range(8):
            crc = (crc << 1 ^ 0x1021 if crc & 0x8000 else crc << 1) & 0xFFFF
    return crc


MAP_RANGE = re.compile(r"^([0-9a-f]{8})\.\.([0-9a-f]{8})  Page=(-?\d+)  Memory Width=(\d+)  ROM Width=(\d+)"
                       r"(?:  \"(.*)\")?$")
MAP_ENTRY = re.compile(r"^(?:   CONTENTS: |             )([0-9a-f]{8})\.\.([0-9a-f]{8})   (.*)$")
MAP_FILE = re.compile(r"^(?:   OUTPUT FILES: |                 )(\S+) \[b(\d+)\.\.b(\d+)\](  (?!ROM addresses)[A-Z].*)?")


MAP_DIGEST = re.compile(r"^   DIGEST:   (\S+) = ([0-9a-f]+)$")
MAP_DIGEST_SPAN = re.compile(r"^             over ([0-9a-f]{8})\.\.([0-9a-f]{8})(?: less ([0-9a-f]{8})\.\.([0-9a-f]{8}))?$")
MAP_DIGEST_FILE = re.compile(r"^             to (.+)$")


def parse_map(text):
    ranges = []
    for line in text.splitlines():
        m = MAP_RANGE.match(line)
        if m:
            ranges.append({"origin": int(m.group(1), 16), "name": m.group(6) or "*DEFAULT*", "entries": [],
                           "files": [], "set_files": [], "boot_lines": [], "digests": []})
            continue
        m = MAP_FILE.match(line)
        if m and ranges:
            ranges[-1]["files" if not m.group(4) else "set_files"].append(
                (m.group(1), int(m.group(2)), int(m.group(3))))
            continue
        m = MAP_DIGEST.match(line)
        if m and ranges:
            ranges[-1]["digests"].append([m.group(1), m.group(2)])
            continue
        m = MAP_DIGEST_SPAN.match(line)
        if m and ranges:
            ranges[-1]["digests"][-1] += [int(m.group(1), 16), int(m.group(2), 16),
                                          (int(m.group(3), 16), int(m.group(4), 16)) if m.group(3) else ()]
            continue
        m = MAP_DIGEST_FILE.match(line)
        if m and ranges:
            ranges[-1]["digests"][-1] = tuple(ranges[-1]["digests"][-1] + [m.group(1)])
            continue
        m = MAP_ENTRY.match(line)
        if m and ranges:
            ranges[-1]["entries"].append((int(m.group(1), 16), int(m.group(2), 16), m.group(3)))
        elif ranges and re.match(r"^ {2,}\S+ : ", line):
            ranges[-1]["boot_lines"].append(line.split(" : ")[0].strip())
    return ranges


def map_name(e):
    """The JSON entry as the map names it."""
    if e["kind"] == "fill":
        return "FILL"
    if e["kind"] == "insert":
        return "INSERT " + e["name"]
    if e["kind"] == "boot_table":
        return "BOOT TABLE"
    if e["kind"] in ("checksum", "field"):
        return ("CHECKSUM " if e["kind"] == "checksum" else "FIELD ") + e["name"]
    if e["kind"] == "signature":
        return "SIGNATURE"
    if e["kind"] == "stamp":
        return "STAMP " + e["name"]
    return e["name"]


def check_map(cfg, report, ranges, owners_of, text, bootorg, problems):
    mapped = parse_map(text)
    if [m["name"] for m in mapped] != [r["name"] for r in report["ranges"]]:
        problems.add("map: ranges %s, JSON %s" % ([m["name"] for m in mapped], [r["name"] for r in report["ranges"]]))
        return
    for m, rng in zip(mapped, ranges):
        for i, (name, first, last) in enumerate(m["files"]):
            width = rng.romwidth * 8
            if (first, last) != (i * width, i * width + width - 1):
                problems.add("map: %s labelled b%d..b%d, not lane %d" % (name, first, last, i))
        # the files of -also sets name the bits they carry
        labels = {f["name"]: f["lane_bits"] for f in rng.j["files"]}
        for name, first, last in m["set_files"]:
            if name in labels and labels[name] != [first, last]:
                problems.add("map: %s labelled b%d..b%d, JSON %s" % (name, first, last, labels[name]))
        json_entries = [(e["start"], e["end"], map_name(e)) for e in rng.j["contents"]]
        listed = []
        for start, end, what in m["entries"]:
            what = what.replace(" (INCOMPLETE)", "")
            if what.startswith("FILL = "):
                for a in range(start, end + 1):
                    if a in owners_of[rng.name] and owners_of[rng.name][a][0] != "fill":
                        problems.add("map: FILL %08x..%08x covers a byte of %s at 0x%x" % (
                            start, end, owners_of[rng.name][a][0], a))
                        break
                what = "FILL"
            elif what.startswith("BOOT TABLE"):
                if start != bootorg:
                    problems.add("map: BOOT TABLE line starts at 0x%x, not at bootorg 0x%x" % (start, bootorg))
                continue
            else:
                what = re.sub(r" = .*$", "", what)
            listed.append((start, end, what))
        if m["digests"] != [(d["algorithm"], d["bytes"], d["from"], d["to"], tuple(d["left_out"] or ()), d["out"])
                            for d in rng.j["digests"]]:
            problems.add("map: range %s has digests %s, JSON %s" % (rng.name, m["digests"], rng.j["digests"]))
        expected = [x for x in json_entries if x[2] != "BOOT TABLE"]
        if not m["entries"] and expected == [(rng.origin, rng.end, "FILL")]:
            continue  # an image-mode range without data: the map lists no contents
        if listed != expected:
            problems.add("map: range %s lists %s, JSON %s" % (rng.name, listed, expected))
        if len(m["boot_lines"]) != len(set(m["boot_lines"])):
            problems.add("map: range %s repeats a boot section: %s" % (rng.name, m["boot_lines"]))


PICTURE_LABEL = re.compile(r"^(.*?) ([0-9a-f]{8})\.\.([0-9a-f]{8}) \((\d+) bytes\)")


def check_picture(cfg, ranges, text, problems):
    blocks, files, current = {}, {}, None
    kind = None
    for m in re.finditer(r'<rect x="(\d+)"[^>]*class="([\w -]+)"/>|<text[^>]*class="([\w -]+)"[^>]*>([^<]*)</text>',
                         text):
        if m.group(2):
            kind = m.group(2).split()[0] if m.group(1) == "136" else None
            continue
        cls, content = m.group(3), m.group(4).replace("&amp;", "&").replace("&quot;", '"')
        if cls == "range-name":
            current = content
            blocks[current], files[current] = [], []
        elif cls == "mono file" and current is not None:
            fm = re.match(r"(\S+) \[b(\d+)\.\.b(\d+)\]", content)
            files[current].append((fm.group(1), [int(fm.group(2)), int(fm.group(3))]))
        elif cls == "label" and current is not None and kind:
            lm = PICTURE_LABEL.match(content)
            blocks[current].append((kind, int(lm.group(2), 16), int(lm.group(3), 16)))
            kind = None
    for rng in ranges:
        if rng.name not in blocks:
            problems.add("picture: no range %s" % rng.name)
            continue
        labels = dict((f["name"], f["lane_bits"]) for f in rng.j["files"])
        for name, bits in files[rng.name]:
            if name in labels and labels[name] != bits:
                problems.add("picture: %s labelled %s, JSON %s" % (name, bits, labels[name]))
        covered = {}
        for kind, start, end in blocks[rng.name]:
            if kind == "gap":
                continue
            for a in range(start, end + 1):
                covered[a] = "boot" if kind.startswith("boot") else kind
        want = {}
        for e in rng.j["contents"]:
            k = {"boot_table": "boot", "section": "section", "insert": "insert", "fill": "fill"}.get(e["kind"],
                                                                                                    e["kind"])
            if e.get("replaces"):
                continue  # drawn inside its section's block
            for a in range(e["start"], e["end"] + 1):
                want[a] = k
        if covered != want:
            diff = sorted(set(covered.items()) ^ set(want.items()))
            problems.add("picture: range %s draws %s where the JSON report has other entries" % (
                rng.name, diff[:3]))


def check_verify(khex, work, cfg, args, report, ranges, files, rand, problems):
    """One file: against itself, and against its device image with a byte changed."""
    candidates = [(rng, f) for rng in ranges for f in rng.j["files"] if f["data_bytes"]]
    if not candidates:
        return
    rng, f = rand.choice(candidates)
    name = f["name"]
    kind = KIND_OF_NAME[f["format"]]
    rng = rng.as_written(f["romwidth_bits"] // 8)
    if kind in VERIFIABLE:
        status, out, err = run_khex(khex, work, args + ["-verify", "%s=%s:%s:output" % (name, name, kind)])
        if status != 0 or "verify %s: %s matches" % (name, name) not in out:
            problems.add("verify %s against itself: %s%s" % (name, out.strip(), err.strip()))
    # the device image of the file: each byte at its device address
    owners = expected_owners(cfg, rng, Problems())
    # (a Binary file is compared as it lies: its byte N at N)
    device = {own if kind == "binary" else d: (byte, target)
              for own, d, target, byte in file_bytes(cfg, rng, kind, files[name], f["word_bytes"], owners)
              if target in owners}
    size = max(device) + 1
    image = bytearray(size)
    for d, (byte, _) in device.items():
        image[d] = byte
    changed = rand.choice(sorted(device))
    image[changed] ^= 0x5A
    with open(os.path.join(work, "readback.bin"), "wb") as out_file:
        out_file.write(image)
    status, out, err = run_khex(khex, work, args + ["-verify", "%s=readback.bin:binary" % name,
                                                   "-mapjson", "verify.json"])
    target = device[changed][1]
    owner = owners.get(target, ("?",))[0]
    bits = f["lane_bits"]
    line = "  device 0x%06x (cpu 0x%06x, b%d..b%d, %s): expected %02x, found %02x" % (
        changed, target, bits[0], bits[1], owner, device[changed][0], device[changed][0] ^ 0x5A)
    if status != 1 or "differs in 1 of" not in out or line not in out.splitlines():
        problems.add("verify %s with a changed byte at device 0x%x: wanted %r, got %r %r" % (
            name, changed, line, out.strip(), err.strip()))
    else:
        with open(os.path.join(work, "verify.json")) as vf:
            runs = json.load(vf)["verify"][0]["runs"]
        if runs != [{"first": changed, "last": changed, "cpu": target, "kind": "changed", "owner": owner, "count": 1,
                     "lane_bits": bits}]:
            problems.add("verify JSON %s: runs %s" % (name, runs))


def check_run(khex, cfg, work, keep_going=True):
    """Runs khex on the configuration in work; None when khex refused it."""
    args = cfg["options"] + ["r.cmd"]
    reports = ["-map", "r.map", "-mapjson", "r.json", "-mapsvg", "r.svg"]
    status, out, err = run_khex(khex, work, reports + args)
    if status != 0:
        return None
    problems = Problems()
    files = {}
    for name in os.listdir(work):
        with open(os.path.join(work, name), "rb") as f:
            files[name] = f.read()
    with open(os.path.join(work, "r.json")) as f:
        report = json.load(f)
    check_files(cfg, report, files, problems)
    if not problems:
        check_verify(khex, work, cfg, args, report, [Range(r, settings_of(cfg)) for r in report["ranges"]],
                     files, random.Random(cfg["seed"]), problems)
    if not problems and cfg.get("stamps"):
        check_lot(khex, work, cfg, problems)
    return problems


def lot_options(options):
    """The run's options for a lot of two units: a number stamp counts on by
    one, the other stamps are shared."""
    out = []
    for i, o in enumerate(options):
        if i and options[i - 1] == "-stamp":
            head, rest = o.split(",", 1)
            number = ",text=" not in o and ",kind=" not in o
            o = head + (",step=1," if number else ",shared,") + rest
        out.append(o)
    return out


def check_lot(khex, work, cfg, problems):
    """A lot of two units with deltas: each unit's delta bytes are its files'
    bytes at those device addresses, and elsewhere its files hold the common
    image's bytes."""
    lot = os.path.join(work, "lot")
    os.mkdir(lot)
    for name in ["app.out", "r.cmd"] + list(cfg["inserts"]):
        shutil.copy(os.path.join(work, name), lot)
    with open(os.path.join(lot, "lot.csv"), "w") as f:
        f.write("id\na\nb\n")
    args = lot_options(cfg["options"]) + ["r.cmd", "-mapjson", "c.json", "-lot", "lot.csv,name=u%i/%f",
                                          "-lotdelta", "d_%i.txt,format=list"]
    status, _, err = run_khex(khex, lot, args)
    if status != 0:
        if "Sanitizer" in err or "internal error" in err:
            problems.add("lot: %s" % err.strip())
        return
    compare_lot(cfg, lot, problems)


def compare_lot(cfg, lot, problems):
    """The lot's files in its folder against its deltas and its report."""
    with open(os.path.join(lot, "c.json")) as f:
        report = json.load(f)
    units = report.get("units", [])
    if [u["id"] for u in units] != ["a", "b"]:
        problems.add("lot: the JSON report lists units %s" % [u["id"] for u in units])
    for u in units:
        for f in u["files"]:
            with open(os.path.join(lot, f["name"]), "rb") as data:
                if hashlib.sha256(data.read()).hexdigest() != f["sha256"]:
                    problems.add("lot: the JSON report's SHA-256 of %s is not the file's" % f["name"])
    for rng in [Range(r, settings_of(cfg)) for r in report["ranges"]]:
        for f in rng.j["files"]:
            kind = KIND_OF_NAME[f["format"]]
            if f.get("set") or kind == "binary":
                continue  # deltas are of the run's own files
            written = rng.as_written(f["romwidth_bits"] // 8)

            def device_bytes(path):
                with open(path, "rb") as data:
                    return {d[1]: d[3] for d in file_bytes(cfg, written, kind, data.read(), f["word_bytes"], {})}

            common = device_bytes(os.path.join(lot, f["name"]))
            for unit in ("a", "b"):
                own = device_bytes(os.path.join(lot, "u" + unit, f["name"]))
                delta = {}
                with open(os.path.join(lot, "d_%s.txt" % unit)) as lines:
                    for line in lines:
                        uid, name, address, text = line.split()
                        if uid != unit:
                            problems.add("lot: d_%s.txt holds a line of unit %s" % (unit, uid))
                        if name == f["name"]:
                            for k, byte in enumerate(bytes.fromhex(text)):
                                delta[int(address, 16) + k] = byte
                for device, byte in delta.items():
                    if own.get(device) != byte or device not in common:
                        problems.add("lot unit %s, %s: delta 0x%02x at device 0x%x, the unit's file %s, the "
                                     "common file %s" % (unit, f["name"], byte, device, own.get(device),
                                                         common.get(device)))
                for device in (set(own) | set(common)) - set(delta):
                    if own.get(device) != common.get(device):
                        problems.add("lot unit %s, %s: device 0x%x differs from the common image (%s, %s) but "
                                     "is in no delta" % (unit, f["name"], device, own.get(device),
                                                         common.get(device)))


def settings_of(cfg):
    return {"zero": "-zero" in cfg["options"] and cfg["image"], "romaddr": "-romaddr" in cfg["options"]}


def check_files(cfg, report, files, problems):
    """Every report against the files: the heart of the check."""
    if report["target_byte_order"] != ("big" if cfg["big"] else "little"):
        problems.add("JSON: target_byte_order %s" % report["target_byte_order"])
    ranges = [Range(r, settings_of(cfg)) for r in report["ranges"]]
    owners_of = {}
    for rng in ranges:
        owners = expected_owners(cfg, rng, problems)
        owners_of[rng.name] = owners
        try:
            check_range(cfg, rng, ranges, owners, problems, files)
        except (AssertionError, ValueError, IndexError, KeyError) as e:
            problems.add("range %s: a file cannot be decoded: %r" % (rng.name, e))
        recompute_values(cfg, rng, owners, problems)
        check_digests(cfg, rng, files, problems)
    listed = {f["name"] for r in report["ranges"] for f in r["files"]}
    outputs = {n for r in cfg["ranges"] for n in r["files"]}
    for name in outputs & set(files):
        if name not in listed:
            problems.add("%s: written, but not in the JSON report" % name)
    bootorg = None
    if "-bootorg" in cfg["options"]:
        bootorg = int(cfg["options"][cfg["options"].index("-bootorg") + 1], 16)
    check_map(cfg, report, ranges, owners_of, files["r.map"].decode("latin-1"), bootorg, problems)
    check_picture(cfg, ranges, files["r.svg"].decode("utf-8"), problems)


def main(argv):
    if len(argv) < 2 or argv[1].startswith("-"):
        print(__doc__.strip())
        return 2
    khex = os.path.abspath(argv[1])

    def value(flag, default):
        return type(default)(argv[argv.index(flag) + 1]) if flag in argv else default

    seed, count, seconds = value("--seed", 1), value("--count", 100), value("--seconds", 0.0)
    keep = value("--keep", "")
    verbose = "--verbose" in argv
    started = time.monotonic()
    checked = refused = failed = 0
    n = 0
    while n < count or seconds:
        if seconds and time.monotonic() - started > seconds:
            break
        cfg = draw(seed + n)
        work = tempfile.mkdtemp(prefix="khex-check-")
        try:
            write_inputs(cfg, work)
            problems = check_run(khex, cfg, work)
            if problems is None:
                refused += 1
            else:
                checked += 1
                if problems:
                    failed += 1
                    print("seed %d: %s %s" % (cfg["seed"], " ".join(cfg["options"]), ""))
                    for p in problems:
                        print("   ", p)
                    if keep:
                        shutil.copytree(work, os.path.join(keep, "seed-%d" % cfg["seed"]), dirs_exist_ok=True)
                elif verbose:
                    print("seed %d: ok" % cfg["seed"])
        finally:
            shutil.rmtree(work)
        n += 1
    print("%d configurations from seed %d: %d checked, %d refused by khex, %d with faults (%.0f s)" % (
        n, seed, checked, refused, failed, time.monotonic() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
