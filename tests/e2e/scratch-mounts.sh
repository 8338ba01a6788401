#!/usr/bin/env bash
# Set-up of the scenarios whose copy must fail (run-scenario.sh --setup): two small file
# systems in the scratch folder,
#   SCRATCH/full      a writable tmpfs of 1 MB, too small for the installation;
#   SCRATCH/readonly  a read-only tmpfs (root ignores permissions, not a read-only mount),
#                     large enough to pass the free-space check before the copy, holding the
#                     empty folder Games.
#
# usage: scratch-mounts.sh setup|teardown SCRATCH
# Exits 77 when the file systems cannot be mounted here (not root, or no right to mount).
set -u

action=${1:-} scratch=${2:-}
[[ ($action == setup || $action == teardown) && -n $scratch ]] || {
    echo "usage: scratch-mounts.sh setup|teardown SCRATCH" >&2
    exit 2
}
mounts=("$scratch/full" "$scratch/readonly")

teardown() {
    local status=0 dir
    for dir in "${mounts[@]}"; do
        if mountpoint -q "$dir" 2>/dev/null; then
            umount "$dir" || umount -l "$dir" || status=1
        fi
    done
    return "$status"
}

if [[ $action == teardown ]]; then
    teardown
    exit
fi

if [[ $(id -u) -ne 0 ]]; then
    echo "scratch-mounts: mounting a tmpfs needs root" >&2
    exit 77
fi
mkdir -p "${mounts[@]}" || exit 1
if ! mount -t tmpfs -o size=1m,mode=0755 tmpfs "$scratch/full" ||
    ! mount -t tmpfs -o size=64m,mode=0755 tmpfs "$scratch/readonly" ||
    ! mkdir "$scratch/readonly/Games" ||
    ! mount -o remount,ro "$scratch/readonly"; then
    echo "scratch-mounts: cannot mount a tmpfs here" >&2
    teardown
    exit 77
fi
echo "mounted a 1 MB tmpfs on $scratch/full and a read-only tmpfs on $scratch/readonly"
