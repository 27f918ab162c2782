#!/bin/bash
# make bench: speed and memory of khex on 16 MiB of section data, against
# objcopy converting the same raw bytes. Usage: tools/bench.sh [BUILD_DIR]
# Times are medians of RUNS runs (default 7); files go to a scratch directory
# in memory (/dev/shm) when there is one, so the disk does not set the pace.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/${1:-build}
runs=${RUNS:-7}
khex=$build/khex
benchrun=$build/benchrun
mkcoff=$build/mkcoff

base=$build
if [ -d /dev/shm ] && [ -w /dev/shm ]; then base=/dev/shm; fi
scratch=$(mktemp -d "$base/khex-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

mib=1048576
"$mkcoff" bench $((16 * mib)) data16.out
"$mkcoff" raw $((16 * mib)) data16.bin
"$mkcoff" bench $((32 * mib)) data32.out
echo 'ROMS { all: origin = 0, length = 0x4000000 }' > all.cmd

rate() { awk -v t="$1" 'BEGIN { printf "%8.1f", 16 / t }'; }
mib_of() { awk -v k="$1" 'BEGIN { printf "%6.1f MiB", k / 1024 }'; }

printf '%-30s %10s %12s %14s %12s\n' "case (16 MiB of data)" "khex MB/s" "peak RSS" "objcopy MB/s" "time ratio"
for spec in "i ihex Intel" "m3 srec Motorola-S3" "x tekhex Extended-Tektronix"; do
    set -- $spec
    flag=$1 format=$2 name=$3
    extra=()
    [ "$format" = srec ] && extra=(--srec-forceS3)
    read -r t_obj rss_obj < <("$benchrun" "$runs" objcopy -I binary -O "$format" "${extra[@]}" data16.bin objcopy.out)
    read -r t_one rss_one < <("$benchrun" "$runs" "$khex" -q "-$flag" -memwidth 8 -romwidth 8 -o one.out all.cmd data16.out)
    read -r t_two rss_two < <("$benchrun" "$runs" "$khex" -q "-$flag" -o lane0.out -o lane1.out all.cmd data16.out)
    for lanes in one two; do
        t_var=t_$lanes rss_var=rss_$lanes
        printf '%-30s %10s %12s %14s %12s\n' "$name, $lanes lane$([ $lanes = two ] && echo s)" \
            "$(rate "${!t_var}")" "$(mib_of "${!rss_var}")" "$(rate "$t_obj")" \
            "$(awk -v a="${!t_var}" -v b="$t_obj" 'BEGIN { printf "%.2f", a / b }')"
    done
done

# A checksum over a 64 MiB image-mode range (16 MiB of data, the rest fill):
# the same run with and without a crc32 in its last bytes.
echo 'ROMS { img: origin = 0, length = 0x4000000 }' > img.cmd
read -r t_plain _ < <("$benchrun" "$runs" "$khex" -q -i -image -memwidth 8 -romwidth 8 -o img.hex img.cmd data16.out)
read -r t_crc _ < <("$benchrun" "$runs" "$khex" -q -i -image -memwidth 8 -romwidth 8 -o img.hex \
    -checksum img,crc32 img.cmd data16.out)
echo
printf '64 MiB image, Intel: %.3f s, with -checksum img,crc32 %.3f s (ratio %.2f)\n' "$t_plain" "$t_crc" \
    "$(awk -v a="$t_crc" -v b="$t_plain" 'BEGIN { print a / b }')"
rm -f img.hex

read -r _ rss16 < <("$benchrun" 1 "$khex" -q -i -memwidth 8 -romwidth 8 -o one.out all.cmd data16.out)
read -r _ rss32 < <("$benchrun" 1 "$khex" -q -i -memwidth 8 -romwidth 8 -o one.out all.cmd data32.out)
echo
echo "peak RSS, Intel one lane: $(mib_of "$rss16") for 16 MiB of input, $(mib_of "$rss32") for 32 MiB"
echo "(time ratio: khex time / objcopy time, below 1 means khex is faster)"
