#!/usr/bin/env bash
# Builds Tessaloom.exe and the release archive a second time, from scratch, in another folder
# with the Windows build's own settings (generator, toolchain, build type, catalogue URL) and
# checks that the two executables, archives and checksum files are byte for byte the same and
# that neither executable names the source or a build folder.
#
# usage: reproducible-build.sh SOURCE-DIR WINDOWS-BUILD-DIR SECOND-BUILD-DIR
set -euo pipefail

usage="usage: reproducible-build.sh SOURCE-DIR WINDOWS-BUILD-DIR SECOND-BUILD-DIR"
source_dir=$(cd "${1:?$usage}" && pwd)
first_dir=$(cd "${2:?$usage}" && pwd)
second_dir=${3:?$usage}

fail() {
    echo "FAILED: $*"
    exit 1
}

first_exe=$first_dir/Tessaloom.exe
[[ -f $first_exe && -f $first_dir/CMakeCache.txt ]] ||
    fail "$first_exe is missing (build the Windows program first)"

cached() {
    sed -n "s/^$1:[A-Z]*=//p" "$first_dir/CMakeCache.txt"
}
settings=(
    -G "$(cached CMAKE_GENERATOR)"
    -DCMAKE_TOOLCHAIN_FILE="$(cached CMAKE_TOOLCHAIN_FILE)"
    -DCMAKE_BUILD_TYPE="$(cached CMAKE_BUILD_TYPE)"
)
# The program's own settings (catalogue URL, fetch time-out...), as that build has them.
while IFS= read -r setting; do
    settings+=("-D$setting")
done < <(sed -n 's/^\(TESSALOOM_[A-Z_]*\):[A-Z]*=/\1=/p' "$first_dir/CMakeCache.txt")

rm -rf "$second_dir"
mkdir -p "$second_dir"
second_dir=$(cd "$second_dir" && pwd)
[[ $second_dir != "$first_dir" ]] || fail "the second build folder is the first one"
log=$second_dir.log
if ! { cmake -S "$source_dir" -B "$second_dir" "${settings[@]}" &&
    cmake --build "$second_dir" --target package --parallel 2 &&
    cmake --build "$first_dir" --target package; } >"$log" 2>&1; then
    cat "$log"
    fail "the second build or a package target failed"
fi
second_exe=$second_dir/Tessaloom.exe
archive=$(cd "$second_dir" && echo Tessaloom-*.zip)

status=0
for file in Tessaloom.exe "$archive" "$archive.sha256"; do
    first=$first_dir/$file second=$second_dir/$file
    if cmp -s "$first" "$second"; then
        echo "ok   $first and $second are identical ($(stat -c %s "$first") bytes)"
    else
        echo "FAIL $first and $second differ; first differing bytes (offset, octal values):"
        cmp -l "$first" "$second" | head -n 10 || true
        status=1
    fi
done
for exe in "$first_exe" "$second_exe"; do
    for folder in "$source_dir" "$first_dir" "$second_dir"; do
        if grep -q -a -F -- "$folder" "$exe"; then
            echo "FAIL $exe names $folder"
            status=1
        fi
    done
done
[[ $status -ne 0 ]] || echo "ok   neither names the source folder or a build folder"
# A failed comparison leaves the second build for a look.
[[ $status -ne 0 ]] || rm -rf "$second_dir" "$log"
exit "$status"
