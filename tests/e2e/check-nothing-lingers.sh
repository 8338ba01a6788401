#!/usr/bin/env bash
# Runs after the end-to-end scenarios: fails when one of them left the prefix's Wine server,
# its catalogue server or the nginx of its set-up (nginx.sh) running, and stops what it finds.
#
# usage: check-nothing-lingers.sh E2E-DIR     (the folder holding catalogue-server.pid and the
#                                              scenarios' scratch folders)
# Environment: WINEPREFIX (required), WINESERVER.
set -u

: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
export WINEPREFIX
WINESERVER=${WINESERVER:-wineserver}
e2e_dir=${1:?usage: check-nothing-lingers.sh E2E-DIR}
status=0

if "$WINESERVER" -k 2>/dev/null; then
    echo "FAILED: a Wine server of $WINEPREFIX was still running (now stopped)"
    "$WINESERVER" -w
    status=1
fi

pid_file="$e2e_dir/catalogue-server.pid"
if [[ -f $pid_file ]]; then
    pid=$(cat "$pid_file")
    if [[ $pid =~ ^[0-9]+$ ]] && grep -qs catalogue-server "/proc/$pid/cmdline"; then
        echo "FAILED: catalogue server $pid was still running (now stopped)"
        kill "$pid"
        status=1
    fi
    rm -f "$pid_file"
fi

for pid_file in "$e2e_dir"/*/nginx/nginx.pid; do
    [[ -f $pid_file ]] || continue
    scratch=$(realpath -m "${pid_file%/nginx/nginx.pid}")
    pid=$(cat "$pid_file")
    if [[ $pid =~ ^[0-9]+$ ]] && grep -qsF "$scratch/nginx/nginx.conf" "/proc/$pid/cmdline"; then
        echo "FAILED: nginx $pid of $scratch was still running (now stopped)"
        bash "$(dirname "${BASH_SOURCE[0]}")/nginx.sh" teardown "$scratch"
        status=1
    fi
done

((status == 0)) && echo "no Wine server, catalogue server or nginx left running"
exit "$status"
