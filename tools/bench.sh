#!/bin/bash
# make bench: speed and memory of khex on 16 MiB of section data, side by side
# with objcopy converting the same raw bytes and with tools/floor, the least a
# program must do to write khex's own records. Usage: tools/bench.sh [BUILD_DIR]
# Times are medians of RUNS runs (default 11), taken in one run of this script
# so that their ratios hold on a shared, noisy machine; files go to a scratch
# directory in memory (/dev/shm) when there is one. With KHEX_BEFORE naming an
# earlier khex, the same runs of both programs are timed side by side as well.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/${1:-build}
runs=${RUNS:-11}
khex=$build/khex
benchrun=$build/benchrun
mkcoff=$build/mkcoff
floor=$build/floor

base=$build
if [ -d /dev/shm ] && [ -w /dev/shm ]; then base=/dev/shm; fi
scratch=$(mktemp -d "$base/khex-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

mib=1048576
"$mkcoff" bench $((16 * mib)) data16.out
"$mkcoff" raw $((16 * mib)) data16.bin
"$mkcoff" bench $((32 * mib)) data32.out
"$mkcoff" elf $((16 * mib)) data16.elf
echo 'ROMS { all: origin = 0, length = 0x4000000 }' > all.cmd

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
size_of() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f MB", b / 1e6 }'; }
mib_of() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }

# time MODE NAME OUTPUTS... -- COMMAND: the medians of wall and user time, with
# the outputs removed before every run (fresh) or left to be overwritten
time_it() {
    local mode=$1; shift
    local removes=()
    while [ "$1" != -- ]; do
        [ "$mode" = fresh ] && removes+=(-r "$1")
        shift
    done
    shift
    "$benchrun" "$runs" "${removes[@]}" "$@"
}

printf '%-34s %8s %8s %10s %10s %9s %9s\n' "case (16 MiB of data)" "khex s" "user s" "vs objcopy" "vs floor" \
    "size" "objcopy"
for mode in fresh overwrite; do
    for case_words in "i ihex Intel" "m3 srec Motorola-S3" "x tekhex Extended-Tektronix"; do
        set -- $case_words
        flag=$1 format=$2 name=$3
        extra=()
        [ "$format" = srec ] && extra=(--srec-forceS3)
        read -r t_obj _ _ < <(time_it $mode objcopy.out -- objcopy -I binary -O "$format" "${extra[@]}" data16.bin objcopy.out)
        obj_size=$(size_of objcopy.out)
        read -r f_one fu_one _ < <(time_it $mode floor.out -- "$floor" "$flag" 1 data16.bin floor.out)
        read -r t_one u_one rss_one < <(time_it $mode one.out -- "$khex" -q "-$flag" -memwidth 8 -romwidth 8 -o one.out all.cmd data16.out)
        cmp -s one.out floor.out || { echo "khex and the floor differ: $name, one lane" >&2; exit 1; }
        one_size=$(size_of one.out)
        read -r f_two _ _ < <(time_it $mode f0.out f1.out -- "$floor" "$flag" 2 data16.bin f0.out f1.out)
        read -r t_two u_two rss_two < <(time_it $mode l0.out l1.out -- "$khex" -q "-$flag" -o l0.out -o l1.out all.cmd data16.out)
        printf '%-34s %8.3f %8.3f %10s %10s %9s %9s\n' "$name, one lane, $mode" "$t_one" "$u_one" \
            "$(ratio "$t_one" "$t_obj")" "$(ratio "$t_one" "$f_one")" "$one_size" "$obj_size"
        printf '%-34s %8.3f %8.3f %10s %10s %9s\n' "$name, two lanes, $mode" "$t_two" "$u_two" \
            "$(ratio "$t_two" "$(awk -v t="$t_obj" 'BEGIN { print 2 * t }')")" "$(ratio "$t_two" "$f_two")" \
            "$(size_of l0.out)"
        if [ "$flag" = i ] && [ "$mode" = fresh ]; then
            intel_user="Intel, one lane: khex user time $(printf %.3f "$u_one") s, the floor's $(printf %.3f "$fu_one") s (ratio $(ratio "$u_one" "$fu_one"))"
        fi
        rm -f objcopy.out floor.out one.out f0.out f1.out l0.out l1.out
    done
done
echo
echo "$intel_user"
echo "(vs objcopy: khex time / objcopy time, two lanes / two objcopy runs; vs floor: / the floor's time;"
echo " objcopy writes 16-byte Intel records where khex writes 32: compare the sizes)"

# A checksum over a 64 MiB image-mode range (16 MiB of data, the rest fill):
# the same run with and without a crc32 in its last bytes.
echo 'ROMS { img: origin = 0, length = 0x4000000 }' > img.cmd
read -r t_plain u_plain _ < <("$benchrun" "$runs" "$khex" -q -i -image -memwidth 8 -romwidth 8 -o img.hex img.cmd data16.out)
read -r t_crc _ _ < <("$benchrun" "$runs" "$khex" -q -i -image -memwidth 8 -romwidth 8 -o img.hex \
    -checksum img,crc32 img.cmd data16.out)
# The same with a header CRC in the range's first word, over the rest of it:
# a pre-pass works it out before the writing pass.
printf 'ROMS { img: origin = 0, length = 0x4000000 }\nSECTIONS { .text: paddr = 0x10 }\n' > header.cmd
read -r t_shifted _ _ < <("$benchrun" "$runs" "$khex" -q -i -image -memwidth 8 -romwidth 8 -o img.hex header.cmd data16.out)
read -r t_header _ _ < <("$benchrun" "$runs" "$khex" -q -i -image -memwidth 8 -romwidth 8 -o img.hex \
    -checksum img,crc32,at=0 header.cmd data16.out)
echo
printf '64 MiB image, Intel: %.3f s, with -checksum img,crc32 %.3f s (ratio %s)\n' "$t_plain" "$t_crc" \
    "$(ratio "$t_crc" "$t_plain")"
printf '64 MiB image, Intel, data at 0x10: %.3f s, with a header CRC at 0 %.3f s (ratio %s)\n' "$t_shifted" \
    "$t_header" "$(ratio "$t_header" "$t_shifted")"
# A SHA-256 in the last 32 bytes of the same image, and its digest written
# for a signer with the bytes hashed (the engines run on a thread of their
# own beside the writing); the engine's rate against openssl's.
read -r t_sha u_sha _ < <("$benchrun" "$runs" "$khex" -q -i -image -memwidth 8 -romwidth 8 -o img.hex \
    -checksum img,sha256 img.cmd data16.out)
read -r t_digest _ _ < <("$benchrun" "$runs" -r img.sha -r img.msg "$khex" -q -i -image -memwidth 8 -romwidth 8 \
    -o img.hex -digest img,out=img.sha,message=img.msg img.cmd data16.out)
# openssl's own speed on blocks of 64 KiB, in bytes a second
openssl_rate=$(openssl speed -seconds 1 -bytes 65536 -evp sha256 2>/dev/null | awk '/^sha256/ { sub("k", "", $2); print $2 * 1000 }')
printf '64 MiB image, Intel: with -checksum img,sha256 %.3f s (ratio %s), with -digest and message= %.3f s (ratio %s)\n' \
    "$t_sha" "$(ratio "$t_sha" "$t_plain")" "$t_digest" "$(ratio "$t_digest" "$t_plain")"
# the engine's rate: 64 MiB over the processor time the run with it takes
# beyond the run without (the copies into the thread's blocks counted too)
khex_rate=$(awk -v a="$u_sha" -v b="$u_plain" 'BEGIN { print 67108864 / (a > b ? a - b : 0.0001) }')
printf 'SHA-256: khex engine %.0f MB/s (user time of the run with it less the run without), openssl speed %.0f MB/s (ratio %s)\n' \
    "$(awk -v r="$khex_rate" 'BEGIN { print r / 1e6 }')" "$(awk -v r="$openssl_rate" 'BEGIN { print r / 1e6 }')" \
    "$(ratio "$khex_rate" "$openssl_rate")"
rm -f img.hex img.sha img.msg

# Every deliverable of one placement in one run: Intel lane files, the same
# lanes as Verilog memory files and the whole memory as a C array, against
# the three runs that write them one by one.
read -r t_sets _ rss_sets < <("$benchrun" "$runs" -r l0 -r l1 -r l0.mem -r l1.mem -r whole.c "$khex" -q -i -o l0 -o l1 \
    -also vmem,names=%n.mem -also carray,romwidth=16,names=whole.c all.cmd data16.out)
read -r t_i _ _ < <("$benchrun" "$runs" -r l0 -r l1 "$khex" -q -i -o l0 -o l1 all.cmd data16.out)
read -r t_v _ _ < <("$benchrun" "$runs" -r l0.mem -r l1.mem "$khex" -q -vmem -o l0.mem -o l1.mem all.cmd data16.out)
read -r t_c _ _ < <("$benchrun" "$runs" -r whole.c "$khex" -q -carray -romwidth 16 -o whole.c all.cmd data16.out)
t_three=$(awk -v a="$t_i" -v b="$t_v" -v c="$t_c" 'BEGIN { print a + b + c }')
printf 'Intel, Verilog and C array files in one run: %.3f s, in three runs %.3f s (ratio %s), peak RSS %s\n' \
    "$t_sets" "$t_three" "$(ratio "$t_sets" "$t_three")" "$(mib_of "$rss_sets")"
rm -f l0 l1 l0.mem l1.mem whole.c

# A lot: 100 units of a 1 MiB image, each with its serial and CRC, in one
# run against 100 runs; the deltas alone of 10,000 units.
"$mkcoff" bench $mib lot.out
echo 'ROMS { ROM: origin = 0, length = 0x100100, romwidth = 8, memwidth = 16, files = { r.lo, r.hi } }' > lot.cmd
awk 'BEGIN { print "id,serial"; for (i = 0; i < 10000; i++) printf "u%d,%d\n", i, i + 1 }' > units.csv
head -n 101 units.csv > u100.csv
read -r t_lot _ rss_lot < <("$benchrun" 3 "$khex" -q -i -image lot.cmd lot.out -stamp ROM,at=0x100000,size=2,column=serial \
    -checksum ROM,crc32 -lot u100.csv,name=%i/%f)
read -r t_runs _ _ < <("$benchrun" 3 sh -c "for i in \$(seq 1 100); do '$khex' -q -i -image lot.cmd lot.out \
    -stamp ROM,at=0x100000,size=2,value=\$i -checksum ROM,crc32 -o a.lo -o a.hi; done")
read -r t_delta _ rss_delta < <("$benchrun" 1 "$khex" -q -i -image lot.cmd lot.out -stamp ROM,at=0x100000,size=2,column=serial \
    -checksum ROM,crc32 -lot units.csv -lotdelta delta_%l.hex)
printf 'A lot of 100 units of a 1 MiB image: %.3f s, 100 runs %.3f s (ratio %s), peak RSS %s\n' "$t_lot" "$t_runs" \
    "$(ratio "$t_lot" "$t_runs")" "$(mib_of "$rss_lot")"
printf 'Deltas of 10,000 units of a 1 MiB image: %.1f s, peak RSS %s\n' "$t_delta" "$(mib_of "$rss_delta")"
rm -rf u[0-9]* delta_* r.lo r.hi a.lo a.hi

# The same program read as ELF instead of COFF: the reader's share of a run.
read -r t_coff _ rss_coff < <("$benchrun" "$runs" "$khex" -q -i -memwidth 8 -romwidth 8 -o one.out all.cmd data16.out)
read -r t_elf _ rss_elf < <("$benchrun" "$runs" "$khex" -q -i -memwidth 8 -romwidth 8 -o one.out all.cmd data16.elf)
printf 'Intel, one lane, from COFF %.3f s, from ELF %.3f s (ratio %s), peak RSS %s and %s\n' "$t_coff" "$t_elf" \
    "$(ratio "$t_elf" "$t_coff")" "$(mib_of "$rss_coff")" "$(mib_of "$rss_elf")"
rm -f one.out

# The earlier program on the same runs, in this same script: a change that
# slows the runs without values before their spans shows here.
if [ -n "${KHEX_BEFORE:-}" ]; then
    echo
    printf '%-44s %9s %9s %7s\n' "same run, khex before and now" "before s" "now s" "ratio"
    # five rounds taking turns, so that a slow spell of the machine falls on
    # both; the median of each program's round medians
    median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
    while IFS='|' read -r name args; do
        befores=() nows=()
        for _ in 1 2 3 4 5; do
            read -r t _ _ < <("$benchrun" "$runs" "$KHEX_BEFORE" $args); befores+=("$t")
            read -r t _ _ < <("$benchrun" "$runs" "$khex" $args); nows+=("$t")
        done
        t_before=$(printf '%s\n' "${befores[@]}" | median)
        t_now=$(printf '%s\n' "${nows[@]}" | median)
        printf '%-44s %9.3f %9.3f %7s\n' "$name" "$t_before" "$t_now" "$(ratio "$t_now" "$t_before")"
    done <<'RUNS'
Intel, one lane|-q -i -memwidth 8 -romwidth 8 -o one.out all.cmd data16.out
Motorola-S3, two lanes|-q -m3 -o l0.out -o l1.out all.cmd data16.out
Extended Tektronix, one lane|-q -x -memwidth 8 -romwidth 8 -o one.out all.cmd data16.out
64 MiB image, Intel|-q -i -image -memwidth 8 -romwidth 8 -o img.hex img.cmd data16.out
64 MiB image, Intel, trailing crc32|-q -i -image -memwidth 8 -romwidth 8 -o img.hex -checksum img,crc32 img.cmd data16.out
RUNS
    rm -f one.out l0.out l1.out img.hex
fi

read -r _ _ rss16 < <("$benchrun" 1 "$khex" -q -i -memwidth 8 -romwidth 8 -o one.out all.cmd data16.out)
read -r _ _ rss32 < <("$benchrun" 1 "$khex" -q -i -memwidth 8 -romwidth 8 -o one.out all.cmd data32.out)
read -r _ _ rss8 < <("$benchrun" 1 "$khex" -q -i -memwidth 64 -romwidth 8 -o a0 -o a1 -o a2 -o a3 -o a4 -o a5 -o a6 \
    -o a7 all.cmd data16.out 2>/dev/null)
echo "peak RSS, Intel: $(mib_of "$rss16") for 16 MiB of input, $(mib_of "$rss32") for 32 MiB, $(mib_of "$rss8") with 8 lanes"
