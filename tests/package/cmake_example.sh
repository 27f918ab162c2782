#!/bin/bash
# The CMake example against a staged install of khex, with the Ninja and the
# Makefile generator: the first build converts, a second does nothing, and
# touching the command file or the COFF file it names converts again.
# Usage: cmake_example.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build_dir" --prefix "$scratch/stage" >/dev/null

fail() { echo "FAILED: $*" >&2; exit 1; }
converts() { grep -q "Converting ROM images rom_images" "$1"; }

for generator in Ninja "Unix Makefiles"; do
    # a project in a folder whose path holds a blank, naming its map with one
    project="$scratch/my project-${generator// /-}"
    binary="$project/build"
    cp -r "$source_dir/examples/cmake" "$project"
    sed -i 's/^-map rom.map$/-map "rom map.map"/' "$project/rom.cmd"
    sed -i 's/OUTPUTS rom_lo.hex rom_hi.hex rom.map rom.json/OUTPUTS rom_lo.hex rom_hi.hex "rom map.map" rom.json/' \
        "$project/CMakeLists.txt"
    grep -q '"rom map.map"' "$project/rom.cmd" "$project/CMakeLists.txt" || fail "the example's names changed"
    mkdir -p "$binary"
    "$build_dir/mkcoff" demo "$binary/app.out"
    cmake -S "$project" -B "$binary" -G "$generator" -DCMAKE_PREFIX_PATH="$scratch/stage" >/dev/null
    cmake --build "$binary" > "$scratch/first.log" 2>&1 || { cat "$scratch/first.log"; fail "$generator: first build"; }
    converts "$scratch/first.log" || fail "$generator: the first build did not convert"
    for f in rom_lo.hex rom_hi.hex "rom map.map" rom.json hdl/rom_lo.mem hdl/rom_hi.mem rom_words.c; do
        [ -s "$binary/$f" ] || fail "$generator: no $f"
    done
    cmake --build "$binary" > "$scratch/second.log" 2>&1
    ! converts "$scratch/second.log" || fail "$generator: a second build converted again"
    sleep 1
    touch "$project/rom.cmd"
    cmake --build "$binary" > "$scratch/third.log" 2>&1
    converts "$scratch/third.log" || fail "$generator: touching the command file did not convert"
    sleep 1
    touch "$binary/app.out"
    cmake --build "$binary" > "$scratch/fourth.log" 2>&1
    converts "$scratch/fourth.log" || fail "$generator: touching the COFF file did not convert"
    cmake --build "$binary" > "$scratch/fifth.log" 2>&1
    ! converts "$scratch/fifth.log" || fail "$generator: an unchanged build converted again"
    echo "$generator: converts on the first build, on a changed command file and COFF file, and only then"

    # OUTPUTS without the map and with a misspelt lane file: the step fails at
    # once, naming both, and leaves no file
    wrong="$scratch/wrong-${generator// /-}"
    cp -r "$source_dir/examples/cmake" "$wrong"
    sed -i 's/OUTPUTS rom_lo.hex rom_hi.hex rom.map rom.json/OUTPUTS rom_l0.hex rom_hi.hex rom.json/' "$wrong/CMakeLists.txt"
    mkdir -p "$wrong/build"
    "$build_dir/mkcoff" demo "$wrong/build/app.out"
    cmake -S "$wrong" -B "$wrong/build" -G "$generator" -DCMAKE_PREFIX_PATH="$scratch/stage" >/dev/null
    if cmake --build "$wrong/build" > "$scratch/wrong.log" 2>&1; then
        cat "$scratch/wrong.log"; fail "$generator: a misdeclared OUTPUTS list built"
    fi
    # the messages as one line each, however long the paths in them
    tr '\n' ' ' < "$scratch/wrong.log" | tr -s ' ' > "$scratch/wrong.flat"
    for said in "file 'rom_lo.hex' is written but -outputs does not declare it" \
                "file 'rom.map' is written but -outputs does not declare it" \
                "rom_l0.hex' is declared by -outputs but not written"; do
        grep -qF "$said" "$scratch/wrong.flat" || { cat "$scratch/wrong.log"; fail "$generator: not said: $said"; }
    done
    for f in rom_lo.hex rom_hi.hex rom.map rom.json; do
        [ ! -e "$wrong/build/$f" ] || fail "$generator: a misdeclared build left $f"
    done
    echo "$generator: a misdeclared OUTPUTS list fails the step with the names at fault and leaves no file"
done

# an OUTPUTS name with a comma cannot pass through -outputs: refused at once
comma="$scratch/comma"
cp -r "$source_dir/examples/cmake" "$comma"
sed -i 's/OUTPUTS rom_lo.hex/OUTPUTS rom,lo.hex rom_lo.hex/' "$comma/CMakeLists.txt"
if cmake -S "$comma" -B "$comma/build" -DCMAKE_PREFIX_PATH="$scratch/stage" > "$scratch/comma.log" 2>&1; then
    fail "an OUTPUTS name with a comma was accepted"
fi
grep -q "the OUTPUTS name 'rom,lo.hex' holds a comma" "$scratch/comma.log" || { cat "$scratch/comma.log"; fail "no comma message"; }
echo "an OUTPUTS name with a comma is refused when the project is configured"
