#!/usr/bin/env bash
# Runs after the end-to-end scenarios: fails when one of them left the prefix's Wine server
# or its catalogue server running, and stops what it finds.
#
# usage: check-nothing-lingers.sh E2E-DIR     (the folder holding catalogue-server.pid)
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

((status == 0)) && echo "no Wine server and no catalogue server left running"
exit "$status"
