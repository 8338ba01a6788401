#!/usr/bin/env bash
# Builds Tessaloom.exe a second time, from scratch, in another folder with the Windows build's
# own settings (generator, toolchain, build type, catalogue URL, fetch timeout) and checks that
# the two executables are byte for byte the same and that neither names the source or a build
# folder.
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
    -DTESSALOOM_CATALOGUE_URL="$(cached TESSALOOM_CATALOGUE_URL)"
    -DTESSALOOM_FETCH_TIMEOUT_SECONDS="$(cached TESSALOOM_FETCH_TIMEOUT_SECONDS)"
)

rm -rf "$second_dir"
mkdir -p "$second_dir"
second_dir=$(cd "$second_dir" && pwd)
[[ $second_dir != "$first_dir" ]] || fail "the second build folder is the first one"
log=$second_dir.log
if ! { cmake -S "$source_dir" -B "$second_dir" "${settings[@]}" &&
    cmake --build "$second_dir" --target Tessaloom --parallel 2; } >"$log" 2>&1; then
    cat "$log"
    fail "the second build failed"
fi
second_exe=$second_dir/Tessaloom.exe

status=0
if cmp -s "$first_exe" "$second_exe"; then
    echo "ok   $first_exe and $second_exe are identical ($(stat -c %s "$first_exe") bytes)"
else
    echo "FAIL $first_exe and $second_exe differ; first differing bytes (offset, octal values):"
    cmp -l "$first_exe" "$second_exe" | head -n 10 || true
    status=1
fi
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
