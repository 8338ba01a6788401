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
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
mode=copy
args=()
for arg in "$@"; do
    case $arg in
        copy | walk | merge) mode=$arg ;;
        *) args+=("$arg") ;;
    esac
done
read_bench_args "--files --mb --runs" "[copy|walk|merge] [--files N] [--mb N] [--runs N]" \
    ${args[@]+"${args[@]}"}

if [[ -z ${DISPLAY:-} ]]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --build-dir "$build" "$mode" ${bench_args[@]+"${bench_args[@]}"}
fi

exe=$(realpath "$build/windows/copy_bench.exe")
[[ -f $exe ]] || { echo "$build/windows/copy_bench.exe is missing: build the project first" >&2; exit 1; }
use_bench_wine_prefix

cleanup() {
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$bench/work"
}
trap cleanup EXIT
rm -rf "$bench/work"
mkdir -p "$bench/work"
work="Z:${bench//\//\\}\\work"
"$WINE" "$exe" "$work" "$mode" ${bench_args[@]+"${bench_args[@]}"} 2>/dev/null | tr -d '\r'
