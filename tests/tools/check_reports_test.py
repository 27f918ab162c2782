#!/usr/bin/env python3
"""The report check finds what it is there to find: a clean run passes, and
each planted fault (a swapped label, a FILL line moved by one word, a JSON
count off by one, a changed data byte) is named.

    tests/tools/check_reports_test.py KHEX
"""
import json
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
import check_reports  # noqa: E402

KHEX = None


def config(kind_option):
    """Two byte lanes of 16-bit memory on a big-endian target, image mode: a
    section, fill around it and a CRC-32 in the last word."""
    return {
        "seed": 0, "big": True, "kind": check_reports.FORMATS[kind_option], "image": True, "inserts": {},
        "sections": [{"name": ".text", "vaddr": 0x20, "data": bytes(range(0x40, 0x60)), "flags": 0x20, "page": 0,
                      "boot": False}],
        "symbols": [("_start", 0x20, 1)],
        "ranges": [{"name": "r0", "origin": 0, "length": 0x80, "memwidth": 2, "romwidth": 1, "fill": 0x1234,
                    "files": ["lo.out", "hi.out"]}],
        "options": [kind_option, "-q", "-image", "-checksum", "r0,crc32"],
    }


class PlantedFaults(unittest.TestCase):
    def run_config(self, cfg):
        work = tempfile.mkdtemp(prefix="khex-check-test-")
        self.addCleanup(shutil.rmtree, work)
        check_reports.write_inputs(cfg, work)
        problems = check_reports.check_run(KHEX, cfg, work)
        self.assertIsNotNone(problems, "khex refused the configuration")
        self.assertEqual(list(problems), [])
        files = {}
        for name in os.listdir(work):
            with open(os.path.join(work, name), "rb") as f:
                files[name] = f.read()
        return files

    def problems(self, cfg, files):
        found = check_reports.Problems()
        check_reports.check_files(cfg, json.loads(files["r.json"]), files, found)
        return " / ".join(found)

    def test_each_planted_fault_is_named(self):
        cfg = config("-vmem")
        files = self.run_config(cfg)
        lo, hi = files["lo.out"].decode(), files["hi.out"].decode()
        report = json.loads(files["r.json"])
        cases = []
        # the device file's comment names the other lane
        cases.append(({"lo.out": lo.replace("b0..b7", "b8..b15", 1).encode()}, "its comment says lane b8..b15"))
        # the JSON report's lane_bits swapped
        swapped = json.loads(files["r.json"])
        files_of = swapped["ranges"][0]["files"]
        files_of[0]["lane_bits"], files_of[1]["lane_bits"] = files_of[1]["lane_bits"], files_of[0]["lane_bits"]
        cases.append(({"r.json": json.dumps(swapped).encode()}, "lane_bits"))
        # a FILL line of the map one word later
        text = files["r.map"].decode()
        fill_line = next(line for line in text.splitlines() if "FILL = " in line)
        start = int(fill_line.split("..")[0].split()[-1], 16)
        moved = fill_line.replace("%08x.." % start, "%08x.." % (start + 2), 1)
        cases.append(({"r.map": text.replace(fill_line, moved).encode()}, "map: range r0 lists"))
        # the JSON report's used bytes off by one
        counted = json.loads(files["r.json"])
        counted["ranges"][0]["used_bytes"] += 1
        cases.append(({"r.json": json.dumps(counted).encode()}, "JSON counts used"))
        # a data byte of the file changed
        data_line = hi.splitlines()[2]
        changed = ("00" if data_line[:2] != "00" else "11") + data_line[2:]
        cases.append(({"hi.out": hi.replace(data_line, changed, 1).encode()}, "holds 0x"))
        self.assertEqual(report["ranges"][0]["used_bytes"], 0x24)
        for planted, expected in cases:
            with self.subTest(expected=expected):
                self.assertIn(expected, self.problems(cfg, dict(files, **planted)))

    def test_digest_faults_are_named(self):
        # a digest of all but the CRC, leaving out an unsigned signature slot
        cfg = config("-i")
        cfg["signature"] = b""
        cfg["options"] += ["-digest", "r0,out=d.bin,to=0x7b,message=m.bin", "-signature", "r0,at=0x60,size=16"]
        files = self.run_config(cfg)
        self.assertEqual(json.loads(files["r.json"])["ranges"][0]["digests"][0]["left_out"], [0x60, 0x6f])
        digest = bytearray(files["d.bin"])
        digest[0] ^= 1
        cases = [({"d.bin": bytes(digest)}, "digest sha256 in d.bin"),
                 ({"m.bin": files["m.bin"][:-1]}, "message file m.bin"),
                 ({"r.map": files["r.map"].replace(b"less 00000060", b"less 00000062")}, "map: range r0 has digests")]
        for planted, expected in cases:
            with self.subTest(expected=expected):
                self.assertIn(expected, self.problems(cfg, dict(files, **planted)))

    def test_lot_faults_are_named(self):
        # a serial number stamp in a lot of two units with deltas
        cfg = config("-i")
        cfg["options"] += ["-stamp", "r0,at=0x60,size=2,value=0x1234"]
        cfg["stamps"] = {0x60: ((0x1234, "big"), "1234")}
        work = tempfile.mkdtemp(prefix="khex-check-test-")
        self.addCleanup(shutil.rmtree, work)
        check_reports.write_inputs(cfg, work)
        self.assertEqual(list(check_reports.check_run(KHEX, cfg, work)), [])
        lot = os.path.join(work, "lot")
        with open(os.path.join(lot, "d_b.txt")) as f:
            lines = f.read().splitlines()
        self.assertEqual(lines[0], "b lo.out 0x00000030 35")  # 0x1235's low byte, in the low lane
        cases = [("d_b.txt", "b lo.out 0x00000030 36", "delta 0x36 at device 0x30"),
                 ("d_b.txt", "b lo.out 0x00000031 35", "differs from the common image"),
                 ("d_a.txt", "b lo.out 0x00000030 34", "d_a.txt holds a line of unit b")]
        for name, planted, expected in cases:
            with self.subTest(expected=expected):
                path = os.path.join(lot, name)
                with open(path) as f:
                    good = f.read()
                with open(path, "w") as f:
                    f.write("\n".join([planted] + good.splitlines()[1:]) + "\n")
                found = check_reports.Problems()
                check_reports.compare_lot(cfg, lot, found)
                with open(path, "w") as f:
                    f.write(good)
                self.assertIn(expected, " / ".join(found))

    def test_every_format_decodes_to_the_same_checked_bytes(self):
        for option in check_reports.FORMATS:
            if option in ("-t", "-b"):
                continue  # ZQ-Tagged needs 16-bit ROMs, Binary 8-bit memory
            with self.subTest(format=option):
                self.run_config(config(option))


if __name__ == "__main__":
    KHEX = os.path.abspath(sys.argv.pop(1))
    unittest.main()
