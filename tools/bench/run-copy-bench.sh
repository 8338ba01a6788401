#!/usr/bin/env bash
# Runs the copy benchmark (copy_bench.exe) under Wine in a virtual X server, with a Wine prefix
# of its own under the build tree, and ends that prefix's Wine server afterwards.
#
# usage: tools/bench/run-copy-bench.sh [--build-dir DIR] [copy|walk|merge] [--files N] [--mb N]
#                                      [--runs N]
#   --build-dir DIR  native build tree holding windows/copy_bench.exe (default: build)
#   copy, walk, merge  what is measured (default copy; see copy_bench.cpp)
#   --files, --mb, --runs  the tree (default 3000 files to copy, 100,000 to walk, 20,000 to
#                    merge into a copy of them; 64 MB) and the number of runs (3)
# The tree and its copies go to DIR/bench/work (twice the tree's size per run), removed after.
set -euo pipefail

build=build
bench_args=()
mode=copy
while (($#)); do
    case $1 in
        --build-dir) build=${2:?}; shift 2 ;;
        --files | --mb | --runs) bench_args+=("$1" "${2:?}"); shift 2 ;;
        copy | walk | merge) mode=$1; shift ;;
        *) echo "usage: $0 [--build-dir DIR] [copy|walk|merge] [--files N] [--mb N] [--runs N]" >&2
           exit 2 ;;
    esac
done

if [[ -z ${DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --build-dir "$build" "$mode" "${bench_args[@]}"
fi

exe=$(realpath "$build/windows/copy_bench.exe")
[[ -f $exe ]] || { echo "$build/windows/copy_bench.exe is missing: build the project first" >&2; exit 1; }
bench=$(realpath -m "$build/bench")
export WINEPREFIX=$bench/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
WINE=${WINE:-wine}
WINESERVER=${WINESERVER:-wineserver}

cleanup() {
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$bench/work"
}
trap cleanup EXIT
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "creating Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    env -u DISPLAY "$WINE" wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
fi
rm -rf "$bench/work"
mkdir -p "$bench/work"
work="Z:${bench//\//\\}\\work"
"$WINE" "$exe" "$work" "$mode" "${bench_args[@]}" 2>/dev/null | tr -d '\r'
