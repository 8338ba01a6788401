#!/usr/bin/env bash
# Runs the fetch benchmark (fetch_bench.exe) under Wine, with the benchmarks' Wine prefix,
# against the catalogue server on 127.0.0.1 sending its two bodies without a length; ends the
# server and the prefix's Wine server afterwards.
#
# usage: tools/bench/run-fetch-bench.sh [--build-dir DIR] [--runs N]
#   --build-dir DIR  native build tree holding windows/fetch_bench.exe and catalogue-server
#                    (default: build)
#   --runs N         fetches of each body (default 5)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
read_bench_args "--runs" "[--runs N]" "$@"

for file in "$build/windows/fetch_bench.exe" "$build/catalogue-server"; do
    [[ -f $file ]] || { echo "$file is missing: build the project first" >&2; exit 1; }
done
exe=$(realpath "$build/windows/fetch_bench.exe")
server=$(realpath "$build/catalogue-server")
use_bench_wine_prefix

root=$bench/catalogue
server_pid=""
cleanup() {
    [[ -z $server_pid ]] || kill "$server_pid" 2>/dev/null || true
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$root"
}
trap cleanup EXIT
rm -rf "$root"
mkdir -p "$root"
echo whole >"$root/whole.txt"
echo over >"$root/over.txt"
limit=$((16 << 20))  # a connection file's
"$server" --root "$root" --port 0 --fault "/whole.txt:size=$limit,nolength" \
    --fault "/over.txt:size=$((limit + 1)),nolength" >"$root/server.out" &
server_pid=$!
port=""
for _ in {1..100}; do
    port=$(sed -n 's/^listening on .*:\([0-9][0-9]*\)$/\1/p' "$root/server.out")
    [[ -n $port ]] && break
    sleep 0.1
done
[[ -n $port ]] || { echo "the catalogue server did not start" >&2; exit 1; }
env -u DISPLAY "$WINE" "$exe" "http://127.0.0.1:$port/" "${bench_args[@]}" 2>/dev/null | tr -d '\r'
