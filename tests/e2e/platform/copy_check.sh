#!/usr/bin/env bash
# End-to-end checks of the Win32 layer's file operations under Wine, through the portable walk
# and copy check: layout of a fresh and an existing destination (names beyond the system's code
# page, names the file system takes as one), the shell's confirmations, copies the shell
# reports as done although they are not (read-only or full target, locked source file, paths
# too long), folders past the path limit, writability and free space, files replaced through
# a new file moved over their names, and the file IDs listed.
# Usage: copy_check.sh COPY_CHECK_EXE WORK_DIR   (mounts tmpfs folders when run as root)
set -euo pipefail

if [[ -z "${DISPLAY:-}" ]]; then exec xvfb-run -a "$0" "$@"; fi
[[ $# -eq 2 ]] || { echo "usage: $0 COPY_CHECK_EXE WORK_DIR" >&2; exit 2; }

exe=$(realpath "$1")
work=$(realpath -m "$2")
run="$work/run"
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

mounts=()
cleanup() {
    for m in "${mounts[@]}"; do umount "$m" || true; done
    [[ -d "$run" ]] && chmod -R u+w "$run"
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi
rm -rf "$run"
mkdir -p "$run"
# Wine's shell writes a file it cannot copy past the path limit into the current folder.
cd "$run"

failures=0
win() { local p="Z:$1"; printf '%s' "${p//\//\\}"; }
check() { wine "$exe" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
pass() { echo "PASS: $1"; }
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }
expect() {  # expect NAME COMMAND...: the command must succeed
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}
mount_tmpfs() {  # mount_tmpfs DIR OPTIONS
    mkdir -p "$1"
    mount -t tmpfs -o "$2" tmpfs "$1"
    mounts+=("$1")
}

src="$run/Quorvane"
check make-tree "$(win "$src")" >/dev/null

# Fresh destination, with and without the final separator, parents missing: contents directly
# in it, nothing nested.
expect "fresh destination copied" check copy "$(win "$src")" "$(win "$run/Tests/Alpha")\\" ok
expect "fresh destination layout" check check-tree "$(win "$run/Tests/Alpha")"
expect "fresh destination not nested" test ! -e "$run/Tests/Alpha/Quorvane"
expect "no separator copied" check copy "$(win "$src")" "$(win "$run/New/Deeper/Beta")" ok
expect "no separator layout" check check-tree "$(win "$run/New/Deeper/Beta")"

# Existing destinations: the contents merge into it.
mkdir -p "$run/Tests/Empty"
expect "existing empty destination copied" \
    check copy "$(win "$src")" "$(win "$run/Tests/Empty")\\" ok
expect "existing empty destination layout" check check-tree "$(win "$run/Tests/Empty")"
expect "existing empty destination not nested" test ! -e "$run/Tests/Empty/Quorvane"

prepare_existing() {  # its version.id in other letters: the same file to Windows
    mkdir -p "$1/cd_image/data"
    echo "old version" >"$1/VERSION.ID"
    echo keep >"$1/keep.txt"
    echo other >"$1/cd_image/data/other.txt"
}
prepare_existing "$run/Tests/Gamma"
expect "merge answered Yes to all" \
    check copy "$(win "$src")" "$(win "$run/Tests/Gamma")\\" ok --answer yesall
expect "merge layout, files replaced" check check-tree "$(win "$run/Tests/Gamma")"
expect "merge keeps other files" \
    test -f "$run/Tests/Gamma/keep.txt" -a -f "$run/Tests/Gamma/cd_image/data/other.txt"
expect "merge not nested" test ! -e "$run/Tests/Gamma/Quorvane"

prepare_existing "$run/Tests/Delta"
expect "merge answered No is aborted" \
    check copy "$(win "$src")" "$(win "$run/Tests/Delta")" aborted --answer no
expect "merge answered No keeps the file" grep -q "old version" "$run/Tests/Delta/VERSION.ID"
prepare_existing "$run/Tests/Epsilon"
expect "merge answered Cancel is aborted" \
    check copy "$(win "$src")" "$(win "$run/Tests/Epsilon")" aborted --answer cancel

# The check itself: a size differing from the source's fails unless the file was there
# before; anything missing fails.
cp -a "$src" "$run/Verify"
echo "a different size" >"$run/Verify/version.id"
expect "check: new file of another size fails" check verify "$(win "$src")" "$(win "$run/Verify")" fail
expect "check: existing file of another size passes" \
    check verify "$(win "$src")" "$(win "$run/Verify")" ok --keep-existing
rm -f "$run/Verify/hidden.dat"
expect "check: missing hidden file fails" \
    check verify "$(win "$src")" "$(win "$run/Verify")" fail --keep-existing
cp -a "$src/hidden.dat" "$run/Verify/"
rm -rf "$run/Verify/empty" && touch "$run/Verify/empty"
expect "check: file in place of a folder fails" \
    check verify "$(win "$src")" "$(win "$run/Verify")" fail --keep-existing

# Copies the shell reports as done although nothing or only part was copied, and what the
# layer tells of such targets beforehand.
if [[ $(id -u) -eq 0 ]]; then
    mount_tmpfs "$run/ReadOnly" ro,size=1m
    expect "read-only target fails" check copy "$(win "$src")" "$(win "$run/ReadOnly/Zeta")\\" fail
    mount_tmpfs "$run/Full" size=1m
    check make-tree "$(win "$run/Big")" --big-mb 3 >/dev/null
    expect "full disk fails" check copy "$(win "$run/Big")" "$(win "$run/Full/Eta")\\" fail
    expect "free space is the target volume's" check space "$(win "$run/Full")" 1048576
else
    mkdir -p "$run/ReadOnly" && chmod a-w "$run/ReadOnly"
    expect "read-only target fails" check copy "$(win "$src")" "$(win "$run/ReadOnly/Zeta")\\" fail
    echo "SKIP: full disk (needs root to mount a tmpfs)"
fi
expect "read-only target refuses a file and a folder" check can-create "$(win "$run/ReadOnly")" no
expect "writable target takes a file and a folder, then has neither" \
    check can-create "$(win "$run/Tests")" yes
# A file written whole replaces what stands at its name: a link itself, never its target.
rep="$run/Replace"
mkdir -p "$rep/sub" && echo target >"$rep/target.txt" && ln "$rep/target.txt" "$rep/hard.url"
ln -s target.txt "$rep/link.url" && echo old >"$rep/readonly.url" && chmod a-w "$rep/readonly.url"
ln -s nowhere "$rep/dangling.url~new"
expect "entries are listed with their identities" check list-ids "$(win "$rep")"
expect "replace: over a link" check replace "$(win "$rep/link.url")" 5 ok
expect "replace: the link's target unchanged" grep -qx target "$rep/target.txt"
expect "replace: a plain file in the link's place" test ! -L "$rep/link.url" -a -s "$rep/link.url"
expect "replace: over a hard link" check replace "$(win "$rep/hard.url")" 5 ok
expect "replace: the other name unchanged" grep -qx target "$rep/target.txt"
expect "replace: over a read-only file" check replace "$(win "$rep/readonly.url")" 5 ok
expect "replace: a link to nowhere counts as taken" \
    check replace "$(win "$rep/dangling.url")" 5 taken
if [[ $(id -u) -eq 0 ]]; then
    mount_tmpfs "$rep/Small" size=64k
    echo old >"$rep/Small/part.url"
    expect "replace: written in part fails" check replace "$(win "$rep/Small/part.url")" 1000000 fail
    expect "replace: written in part never takes the name" grep -qx old "$rep/Small/part.url"
    expect "replace: written in part leaves nothing" test "$(ls -A "$rep/Small")" = part.url
else
    echo "SKIP: a file written in part (needs root to mount a tmpfs)"
fi
expect "locked source file fails" check copy "$(win "$src")" "$(win "$run/Tests/Theta")\\" fail \
    --lock "$(win "$src/cd_image/data/patcher/blob.bin")"

# Paths near the limit of 260 characters. The source past it is walked in the long form
# (which Wine does not need: path-forms checks the forms themselves), and refused for the
# shell.
expect "paths past the limit in the long form" check path-forms
long="$run/$(printf 'x%.0s' {1..250})"
mkdir -p "$long/data" && echo long >"$long/data/file.txt"
out=$(check copy "$(win "$long")" "$(win "$run/Tests/Iota")\\" fail) || true
expect "source past the limit is walked" grep -q "survey: 2 folders" <<<"$out"
expect "source too long is refused" grep -q "code=206 " <<<"$out"
expect "source too long copies nothing" test ! -e "$run/Tests/Iota"
deep="$run/Deep/src/$(printf 'd%.0s' {1..60})/$(printf 'e%.0s' {1..60})/$(printf 'f%.0s' {1..60})"
mkdir -p "$deep" && echo deep >"$deep/file.txt"
target="$run/Deep/a-destination-folder-whose-name-makes-the-copied-paths-too-long/Kappa"
expect "copy beyond the path limit fails" \
    check copy "$(win "$run/Deep/src")" "$(win "$target")\\" fail
expect "check beyond the path limit fails" \
    check verify "$(win "$run/Deep/src")" "$(win "$target")" fail

echo "$failures failure(s)"
[[ $failures -eq 0 ]]
