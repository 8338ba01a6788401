#!/usr/bin/env bash
# Creates a sample game installation to duplicate: the "version.id" marker, the three
# shortcut files (marked as the installation's originals), binary data files, a file
# and a folder with awkward names, an empty file and an empty folder (logs).
# The result is the same byte for byte, file times included, on every run.
#
# usage: make-sample-installation.sh [--force] DEST
#   --force  write into DEST even if it exists and is not empty
set -euo pipefail
export LC_ALL=C

usage() {
    echo "usage: $0 [--force] DEST" >&2
    exit 2
}

force=0
dest=""
for arg in "$@"; do
    case "$arg" in
        --force) force=1 ;;
        -h | --help) usage ;;
        -*) echo "unknown option: $arg" >&2; usage ;;
        *) [[ -z "$dest" ]] || usage; dest="$arg" ;;
    esac
done
[[ -n "$dest" ]] || usage

if [[ -e "$dest" && ! -d "$dest" ]]; then
    echo "$dest exists and is not a folder" >&2
    exit 1
fi
if [[ -d "$dest" && -n "$(ls -A "$dest")" && $force -eq 0 ]]; then
    echo "$dest is not empty (use --force to write into it anyway)" >&2
    exit 1
fi

# Writes SIZE pseudo-random bytes (all 256 values, zero included) from SEED to FILE.
# A Park-Miller generator in awk is exact in double arithmetic, so every awk gives the
# same bytes; awk writes octal escapes, which printf %b turns into bytes.
random_file() {
    local file=$1 size=$2 seed=$3
    mkdir -p "$(dirname "$dest/$file")"
    printf '%b' "$(awk -v n="$size" -v x="$seed" 'BEGIN {
        for (i = 0; i < n; i++) {
            x = (x * 16807) % 2147483647
            printf "\\0%03o", int(x / 8192) % 256
        }
    }')" >"$dest/$file"
}

# Writes text to FILE, turning LF line ends into CR LF.
text_file() {
    local file=$1 text=$2
    mkdir -p "$(dirname "$dest/$file")"
    printf '%s' "$text" | sed 's/$/\r/' >"$dest/$file"
}

mkdir -p "$dest"

text_file version.id "1.4.2
"
text_file readme.txt "Quorvane 1.4.2 - sample installation

This folder stands in for an installed game. It is generated test data:
the programs in bin are not real programs and the data files are noise.
"

shortcut() {
    text_file "$1" "[InternetShortcut]
URL=http://live.quorvane.example/$2
; original, from the installation
"
}
shortcut cd_image/data/launcher/QuorvaneLauncher.url launcher
shortcut cd_image/data/launcher/DozidavuvUvurez.url dozidavuv-uvurez
shortcut cd_image/data/patcher/QuorvanePatcher.url patcher
text_file cd_image/data/patcher/patcher.ini "[Patcher]
Channel=live
Retries=3
"

# Stand-ins for programs: a DOS header signature, then noise.
for program in bin/game.exe:65536:11 bin/engine.dll:131072:12 cd_image/setup.exe:32768:13; do
    IFS=: read -r file size seed <<<"$program"
    random_file "$file" "$size" "$seed"
    printf 'MZ' | dd of="$dest/$file" bs=1 conv=notrunc status=none
done

random_file data/maps/harbour.dat 307200 101
random_file data/maps/highlands.dat 262144 102
random_file data/maps/caverns.dat 358400 103
random_file data/sound/ambient.bank 204800 201
random_file "data/save games/slot 1.sav" 4096 301
text_file "data/texts/Übersicht.txt" "Karten: harbour, highlands, caverns
"
: >"$dest/data/empty.cfg"
mkdir -p "$dest/logs"

# Fixed file times, so repeated runs give identical trees.
find "$dest" -exec touch -h -d '2024-01-15 12:00:00 UTC' {} +

echo "sample installation in $dest: $(find "$dest" -type f | wc -l) files, $(du -sk "$dest" | cut -f1) KB"
