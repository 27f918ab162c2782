// A production lot (-lot, -lotlog): each unit's lane files equal SRecord's
// composition of its serial number, MAC address and CRC over the image made
// without them; a thousand units get distinct data; the log refuses an id
// issued before; every refusal leaves the files and the log as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "helpers.h"

using namespace khextest;
using coffgen::Bytes;

namespace {

// Code, and the placeholders the linker reserved for a serial number and a
// MAC address.
coffgen::Coff program()
{
    coffgen::Coff c;
    c.sections = {
        {".text", 0, coffgen::pattern(0x40, 0x10), 0, coffgen::STYP_TEXT},
        {".serial", 0x40, Bytes(2), 0, coffgen::STYP_DATA},
        {".mac", 0x44, Bytes(6), 0, coffgen::STYP_DATA},
    };
    c.symbols = {{"_serial", 0x40, 2}, {"_mac", 0x44, 3}};
    return c;
}

const std::vector<std::string> STAMPS = {"-stamp", "ROM,at=_serial,size=2,column=serial",
                                         "-stamp", "ROM,at=_mac,size=6,column=mac,kind=mac",
                                         "-checksum", "ROM,crc32"};

RunResult convert(const TempDir& dir, std::vector<std::string> options)
{
    options.insert(options.begin(), {"-q", "-i", "-image", "-romaddr", "-fill", "0xffff", "rom.cmd", "app.out"});
    return run_khex(dir, options);
}

TempDir& prepared(TempDir& dir)
{
    dir.write("app.out", program().build());
    dir.write("rom.cmd", "ROMS { ROM: origin = 0, length = 0x80, romwidth = 8, memwidth = 16,\n"
                         "       files = { lo.hex, hi.hex } }\n");
    return dir;
}

TEST(Lots, EachUnitsLanesAreSrecordsCompositionWithItsOwnCrc)
{
    TempDir dir;
    prepared(dir);
    // the image without the unit's data, as the target reads it
    ASSERT_EQ(convert(dir, {}).status, 0);
    const std::string lo = objcopy_decode(dir, "lo.hex", "ihex"), hi = objcopy_decode(dir, "hi.hex", "ihex");
    std::string base;
    for (size_t k = 0; k < lo.size(); ++k)
        base += std::string{lo[k], hi[k]};
    dir.write("base.bin", Bytes(base.begin(), base.end()));

    dir.write("units.csv", "id,serial,mac\r\nB-7,4660,02:00:5e:10:00:ff\r\nB-8,0x1235,02:00:5e:10:01:00\r\n"
                           "\"B-9\",65535,02:00:5e:10:01:01\r\n");
    std::vector<std::string> lot = STAMPS;
    lot.insert(lot.end(), {"-lot", "units.csv,name=%i/%f", "-map", "rom.map"});
    RunResult r = convert(dir, lot);
    ASSERT_EQ(r.status, 0) << r.err;
    const struct {
        const char* id;
        const char* serial;
        const char* mac;
    } units[] = {{"B-7", "0x1234", "0x02 0x00 0x5e 0x10 0x00 0xff"},
                 {"B-8", "0x1235", "0x02 0x00 0x5e 0x10 0x01 0x00"},
                 {"B-9", "0xffff", "0x02 0x00 0x5e 0x10 0x01 0x01"}};
    for (const auto& u : units) {
        SCOPED_TRACE(u.id);
        const std::string id = u.id;
        std::ostringstream compose;
        compose << "srec_cat '(' '(' base.bin -binary -exclude 0x40 0x42 -exclude 0x44 0x4a ')' -generate 0x40 0x42 "
                << "-constant-l-e " << u.serial << " 2 -generate 0x44 0x4a -repeat-data " << u.mac
                << " ')' -crop 0 0x7c -crc32-l-e 0x7c -o " << id << ".bin -binary"
                << " && srec_cat " << id << ".bin -binary -split 2 0 -o " << id << ".lo -intel"
                << " && srec_cat " << id << ".bin -binary -split 2 1 -o " << id << ".hi -intel"
                << " && srec_cmp " << id << ".lo -intel " << id << "/lo.hex -intel"
                << " && srec_cmp " << id << ".hi -intel " << id << "/hi.hex -intel";
        RunResult check = run_program(dir, {"sh", "-c", compose.str()});
        EXPECT_EQ(check.status, 0) << check.out << check.err;
        EXPECT_NE(dir.read(id + "/rom.map").find("lo.hex"), std::string::npos);
    }
    EXPECT_NE(dir.read("B-9/rom.map").find("00000040..00000041   STAMP number = ffff"), std::string::npos);
    // a station checks one unit's read-back
    std::vector<std::string> check = STAMPS;
    check.insert(check.end(), {"-lot", "units.csv,first=B-8,count=1", "-verify", "hi.hex=B-8/hi.hex"});
    r = convert(dir, check);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "verify hi.hex: B-8/hi.hex matches (64 bytes)\n");
    check[check.size() - 1] = "hi.hex=B-9/hi.hex";
    EXPECT_EQ(convert(dir, check).status, 1);
    EXPECT_FALSE(dir.exists("lo.hex.tmp"));
}

// -lotdelta: the run's own files hold fill where units differ; each unit's
// delta laid over them by SRecord gives that unit's full files, and the list
// form says the same bytes.
TEST(Lots, DeltasOverTheCommonImageGiveEachUnitsFiles)
{
    TempDir dir;
    prepared(dir);
    dir.write("units.csv", "id,serial,mac\nA,17,02:00:5e:10:00:ff\nB,18,02:00:5e:10:01:00\n");
    std::vector<std::string> lot = STAMPS;
    lot.insert(lot.end(), {"-lot", "units.csv,name=%i/%f", "-lotdelta", "delta/%i_%l", "-map", "rom.map"});
    RunResult r = convert(dir, lot);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* id : {"A", "B"}) {
        for (const char* lane : {"lo.hex", "hi.hex"}) {
            SCOPED_TRACE(std::string(id) + " " + lane);
            const std::string delta = std::string("delta/") + id + "_" + lane;
            RunResult merge = run_program(dir, {"sh", "-c", "srec_cat " + std::string(lane) + " -intel -exclude -within " +
                                                                delta + " -intel " + delta + " -intel -o merged -intel && srec_cmp merged -intel " +
                                                                id + "/" + lane + " -intel"});
            EXPECT_EQ(merge.status, 0) << merge.out << merge.err;
        }
    }
    // the common image holds fill where the units differ, and says so
    const std::string map = dir.read("rom.map");
    EXPECT_NE(map.find("00000040..00000041   STAMP number = ffff, in place of bytes of .serial, each unit's in the "
                       "lot's deltas: fill here"),
              std::string::npos)
        << map;
    EXPECT_EQ(objcopy_decode(dir, "delta/A_lo.hex", "ihex").substr(0, 1), "\x11");
    // the JSON report of the common image lists each unit's values and files
    RunResult sha = run_program(dir, {"sha256sum", "B/hi.hex"});
    lot.insert(lot.end(), {"-mapjson", "lot.json"});
    ASSERT_EQ(convert(dir, lot).status, 0);
    const std::string json = dir.read("lot.json");
    EXPECT_NE(json.find("\"id\": \"B\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"bytes\": \"02005e100100\""), std::string::npos) << json;  // B's MAC
    EXPECT_NE(json.find("\"sha256\": \"" + sha.out.substr(0, 64)), std::string::npos);
    lot = STAMPS;
    lot.insert(lot.end(), {"-lot", "units.csv", "-lotdelta", "units.txt,format=list"});
    ASSERT_EQ(convert(dir, lot).status, 0);
    const std::string list = dir.read("units.txt");
    EXPECT_EQ(list.substr(0, list.find('\n', list.find('\n') + 1) + 1),
              "A lo.hex 0x00000020 11\nA lo.hex 0x00000022 025e00\n");
    EXPECT_NE(list.find("B hi.hex 0x00000022 001000\n"), std::string::npos) << list;
}

// value= counts on by step= for each unit; a MAC block steps across its
// octets' carries; a thousand units, no two alike, each in the log with
// its files' SHA-256.
TEST(Lots, AThousandUnitsCountOnAndTheLogRecordsEach)
{
    TempDir dir;
    prepared(dir);
    std::string csv = "id\n";
    for (int i = 1000; i < 2000; ++i) {
        csv += 'u';
        csv += std::to_string(i);
        csv += '\n';
    }
    dir.write("units.csv", csv);
    RunResult r = convert(dir, {"-stamp", "ROM,at=_serial,size=2,value=1000,step=1", "-stamp",
                                "ROM,at=_mac,size=6,value=02:00:5e:00:fe:f0,kind=mac,step=3", "-checksum",
                                "ROM,crc32", "-lot", "units.csv,name=lot/%i_%f", "-lotlog", "issued.log"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream log(dir.read("issued.log"));
    std::string line;
    std::set<std::string> ids, digests;
    while (std::getline(log, line)) {
        std::istringstream fields(line);
        std::string id, lo_name, lo_sha, hi_name, hi_sha;
        std::getline(fields, id, '\t');
        std::getline(fields, lo_name, '\t');
        std::getline(fields, lo_sha, '\t');
        std::getline(fields, hi_name, '\t');
        std::getline(fields, hi_sha, '\t');
        EXPECT_EQ(lo_name, "lot/" + id + "_lo.hex");
        ids.insert(id);
        digests.insert(lo_sha);
        digests.insert(hi_sha);
    }
    EXPECT_EQ(ids.size(), 1000u);
    EXPECT_EQ(digests.size(), 2000u);  // every unit's serial and MAC differ in both lanes
    RunResult sha = run_program(dir, {"sha256sum", "lot/u1999_lo.hex"});
    EXPECT_NE(dir.read("issued.log").find("lot/u1999_lo.hex\t" + sha.out.substr(0, 64)), std::string::npos);
    // unit 1000 (index 999): serial 1999, MAC 02:00:5e:00:fe:f0 + 2997 = 02:00:5e:01:0a:a5
    r = convert(dir, {"-stamp", "ROM,at=_mac,size=6,value=02:00:5e:01:0a:a5,kind=mac", "-stamp",
                      "ROM,at=_serial,size=2,value=1999", "-checksum", "ROM,crc32"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("lo.hex"), dir.read("lot/u1999_lo.hex"));
    EXPECT_EQ(dir.read("hi.hex"), dir.read("lot/u1999_hi.hex"));
}

// Each refusal comes before any file is written: the folder, the files and
// the log stay as they were.
TEST(Lots, RefusalsWriteNothingAndLeaveTheLogAsItWas)
{
    TempDir dir;
    prepared(dir);
    dir.write("units.csv", "id,serial,mac\nA,1,02:00:00:00:00:01\nB,2,02:00:00:00:00:02\n");
    dir.write("issued.log", "Z\tz/lo.hex\t00\n");
    const struct {
        const char* what;
        const char* csv;
        std::vector<std::string> options;
        const char* message;
    } rows[] = {
        {"a repeated id", "id,serial,mac\nA,1,02:00:00:00:00:01\nA,2,02:00:00:00:00:02\n", {},
         "bad.csv:3: id 'A' repeats line 2"},
        {"an id that is no file name", "id,serial,mac\nA/B,1,02:00:00:00:00:01\n", {}, "bad.csv:2: id 'A/B'"},
        {"a repeated serial", "id,serial,mac\nA,1,02:00:00:00:00:01\nB,1,02:00:00:00:00:02\n", {},
         "unit B (bad.csv:3) has the value of unit A (bad.csv:2)"},
        {"a serial too wide", "id,serial,mac\nA,1,02:00:00:00:00:01\nB,70000,02:00:00:00:00:02\n", {},
         "value 70000 does not fit in 2 bytes (bad.csv:3, unit B)"},
        {"a malformed MAC", "id,serial,mac\nA,1,02:00:00:00:00\n", {}, "malformed MAC address '02:00:00:00:00'"},
        {"a missing column", "id,serial\nA,1\n", {}, "no column 'mac' in bad.csv"},
        {"an id issued before", "id,serial,mac\nZ,1,02:00:00:00:00:01\n", {}, "unit Z was issued before: issued.log:1"},
        {"no %i for two units", nullptr, {"-lot", "units.csv,name=all/%f"}, "2 units need name= with %i"},
        {"an unknown first unit", nullptr, {"-lot", "units.csv,name=%i/%f,first=Q"}, "first=Q: no unit of that id"},
        {"more units than there are", nullptr, {"-lot", "units.csv,name=%i/%f,first=B,count=2"},
         "count=2: units.csv has 1 units from B on"},
        {"a MAC block into the maker's part", nullptr,
         {"-lot", "units.csv,name=%i/%f", "-stamp", "ROM,at=0x50,size=6,value=02:00:00:ff:ff:ff,kind=mac,step=1"},
         "unit 2's MAC address would carry into the maker's part 02:00:00"},
        {"a column without a lot", nullptr, {"-stamp", "ROM,at=0x50,size=2,column=serial"}, "give -lot FILE"},
    };
    const std::vector<std::string> before = dir.files();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<std::string> options;
        if (row.csv) {
            dir.write("bad.csv", row.csv);
            options = STAMPS;
            options.insert(options.end(), {"-lot", "bad.csv,name=%i/%f"});
        } else if (row.options[0] == "-lot") {
            options = STAMPS;
        }
        options.insert(options.end(), row.options.begin(), row.options.end());
        options.insert(options.end(), {"-lotlog", "issued.log", "-map", "r.map"});
        RunResult r = convert(dir, options);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(unwrapped(r.err).find(row.message), std::string::npos) << r.err;
        std::vector<std::string> after = dir.files();
        after.erase(std::remove(after.begin(), after.end(), "bad.csv"), after.end());
        EXPECT_EQ(after, before);
        EXPECT_EQ(dir.read("issued.log"), "Z\tz/lo.hex\t00\n");
    }
}

}  // namespace
