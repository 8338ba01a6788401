#!/usr/bin/env bash
# Set-up of the scenario with links (run-scenario.sh --setup), made natively so that Wine sees
# them as the file system's own:
#   SCRATCH/ToGame             a link to SCRATCH/Quorvane (the scenario makes the installation)
#   SCRATCH/LoopSelf           an installation holding data/self, a link to its own folder
#   SCRATCH/LoopUp             an installation holding data/up, a link to the folder above it
#   SCRATCH/Shared             an existing copy whose version.id links to the installation's
#   SCRATCH/Elsewhere          files outside the installation and its copies, which these lead to:
#   SCRATCH/ThroughFolder      an existing copy whose cd_image/data links to Elsewhere
#   SCRATCH/ThroughFile        one whose readme.txt links to Elsewhere/notes.txt
#   SCRATCH/ThroughNothing     one whose QuorvaneLauncher.url links to Elsewhere/made.url, missing
#   SCRATCH/ThroughName        one whose readme.txt is a second name of Elsewhere/readme.txt
#
# usage: links.sh setup|teardown SCRATCH
set -u

action=${1:-} scratch=${2:-}
[[ ($action == setup || $action == teardown) && -n $scratch ]] || {
    echo "usage: links.sh setup|teardown SCRATCH" >&2
    exit 2
}
[[ $action == teardown ]] && exit 0

set -e
ln -s Quorvane "$scratch/ToGame"
for name in LoopSelf LoopUp; do
    mkdir -p "$scratch/$name/data"
    printf '1.4.2\r\n' >"$scratch/$name/version.id"
    printf 'map\r\n' >"$scratch/$name/data/map.dat"
done
ln -s .. "$scratch/LoopSelf/data/self"
ln -s ../.. "$scratch/LoopUp/data/up"
mkdir -p "$scratch/Shared"
ln -s ../Quorvane/version.id "$scratch/Shared/version.id"
mkdir -p "$scratch/Elsewhere" "$scratch/ThroughFolder/cd_image" "$scratch/ThroughFile" \
    "$scratch/ThroughNothing/cd_image/data/launcher" "$scratch/ThroughName"
printf 'theirs\r\n' >"$scratch/Elsewhere/readme.txt"
printf 'their notes\r\n' >"$scratch/Elsewhere/notes.txt"
ln -s ../../Elsewhere "$scratch/ThroughFolder/cd_image/data"
ln -s ../Elsewhere/notes.txt "$scratch/ThroughFile/readme.txt"
ln -s ../../../../Elsewhere/made.url "$scratch/ThroughNothing/cd_image/data/launcher/QuorvaneLauncher.url"
ln "$scratch/Elsewhere/readme.txt" "$scratch/ThroughName/readme.txt"
echo "made links in $scratch: ToGame, LoopSelf/data/self, LoopUp/data/up, Shared/version.id," \
    "Through{Folder,File,Nothing,Name}"
