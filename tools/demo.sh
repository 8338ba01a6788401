#!/usr/bin/env bash
# Shows Tessaloom at work on the demo catalogue: installs what it needs, builds, makes a sample
# installation and serves demo/catalogue on 127.0.0.1, then
#   - with a display: runs Tessaloom.exe under Wine for you to use;
#   - without one: walks through a duplication under Xvfb, saves a screenshot of each step
#     and checks the copy.
# Everything it makes is under BUILD/demo (BUILD: $TESSALOOM_BUILD_DIR, default build/).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALOOM_BUILD_DIR:-$root/build}
demo=$build/demo
catalogue=$root/demo/catalogue
server_name="Borealis Staging"  # the server the walkthrough duplicates for

fail() {
    echo "demo: $*" >&2
    exit 1
}

bash "$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja
cmake --build "$build" -j 2 --target catalogue-server tessaloom-windows
build=$(cd "$build" && pwd)
demo=$build/demo

app=$build/windows/Tessaloom.exe
[[ -f $app && -x $build/catalogue-server ]] ||
    fail "$app or $build/catalogue-server is missing (configured with -DTESSALOOM_E2E=OFF?)"

# The catalogue URL compiled into the program decides where the demo catalogue is served.
url=$(sed -n 's/^TESSALOOM_CATALOGUE_URL:[A-Z]*=//p' "$build/CMakeCache.txt")
[[ $url =~ ^http://127\.0\.0\.1:([0-9]+)/Tessaloom/$ ]] ||
    fail "the demo needs the program built for http://127.0.0.1:PORT/Tessaloom/ (this build: $url)"
port=${BASH_REMATCH[1]}

# --- Wine ---------------------------------------------------------------------------------------

if [[ -x /usr/lib/wine/wine64 ]]; then WINE=/usr/lib/wine/wine64; else WINE=wine; fi
if [[ -x /usr/lib/wine/wineserver64 ]]; then
    WINESERVER=/usr/lib/wine/wineserver64
else
    WINESERVER=wineserver
fi
export WINE WINESERVER WINEPREFIX=$demo/wineprefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8

# Windows path of a Unix path, through Wine's Z: drive.
winpath() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}

# --- Sample installation, destination, server -----------------------------------------------------

# Only what an earlier run made goes; the Wine prefix stays for the next run.
rm -rf "$demo/Quorvane" "$demo/Copies" "$demo/shots" "$demo/e2e" "$demo/server.log" \
    "$demo/server.out"
mkdir -p "$demo/Copies"
bash "$root/demo/make-sample-installation.sh" "$demo/Quorvane"
bash "$root/tests/e2e/setup-wineprefix.sh"
# Wine's own fonts (package fonts-wine) count only in the prefix's font folder with this Wine;
# without them, dialogs fall back to other fonts and caption buttons show letters.
if compgen -G "/usr/share/wine/fonts/*.ttf" >/dev/null; then
    cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi

server_pid=""
cleanup() {
    local code=$?
    trap - EXIT INT TERM
    if [[ -n $server_pid ]]; then
        kill "$server_pid" 2>/dev/null
        wait "$server_pid" 2>/dev/null
    fi
    # Every Wine process of the demo prefix: the program, the file manager it opened.
    if "$WINESERVER" -k 2>/dev/null; then "$WINESERVER" -w; fi
    exit "$code"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    fail "port $port on 127.0.0.1 is busy (another demo or an end-to-end test?); stop that first"
fi
"$build/catalogue-server" --root "$catalogue" --port "$port" --log "$demo/server.log" \
    >"$demo/server.out" 2>&1 &
server_pid=$!
for ((i = 0; i < 100; i++)); do
    grep -qs "listening on" "$demo/server.out" && break
    if ! kill -0 "$server_pid" 2>/dev/null; then
        server_pid=""
        cat "$demo/server.out" >&2
        fail "the catalogue server did not start (is port $port busy?)"
    fi
    sleep 0.1
done
grep -qs "listening on" "$demo/server.out" || fail "the catalogue server is not listening after 10 s"
echo "demo catalogue $catalogue served at $url"

# Wine's own window frames without a window manager (Xvfb); the desktop's frames otherwise.
set_managed() {
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$1" /f >/dev/null ||
        fail "cannot set up the Wine prefix's window handling"
}

# --- With a display: the program, for you to use --------------------------------------------------

if [[ -n ${DISPLAY-} ]] && xdpyinfo >/dev/null 2>&1; then
    set_managed Y
    cat <<EOF

Tessaloom is starting. In its dialog, pick
  the Quorvane installation folder: $(winpath "$demo/Quorvane")
  a parent folder for the copy:     $(winpath "$demo/Copies")
(Z: is the Unix root, shown as "/" in the folder picker). The copy appears in
$demo/Copies/<server name>. Close the dialog to end the demo.

EOF
    set +e
    (cd "$demo" && "$WINE" "$app")
    code=$?
    set -e
    echo "Tessaloom.exe ended with exit code $code"
    exit 0
fi

# --- Without a display: a scripted walkthrough under Xvfb ----------------------------------------

echo "no display: walking through a duplication under Xvfb"
set_managed N
value=$(sed -n "s/^$server_name=//p" "$catalogue/Tessaloom/TestServers.txt" | tr -d '\r')
[[ -n $value ]] || fail "the demo catalogue has no server \"$server_name\""
copy=$demo/Copies/$server_name
mkdir -p "$demo/shots"
set +e
E2E_SHOTS=$demo/shots xvfb-run -a -s "-screen 0 1280x1024x24" \
    bash "$root/tests/e2e/run-scenario.sh" --build-dir "$demo" --windows-dir "$build/windows" \
    --url "$url" --no-server --timeout 240 demo -- \
    --source "$(winpath "$demo/Quorvane")" --parent "$(winpath "$demo/Copies")" \
    --server "$server_name"
code=$?
set -e
echo
echo "screenshots of each step: $demo/shots"
for shot in "$demo"/shots/*.png; do
    [[ -e $shot ]] || continue
    echo "  ${shot##*/}"
done
((code == 0)) || fail "the walkthrough failed (exit code $code)"
echo "the copy: $copy"

# The copy: the installation, except for the three connection files of the chosen server.
status=0
for file in cd_image/data/launcher/QuorvaneLauncher.url cd_image/data/launcher/DozidavuvUvurez.url \
    cd_image/data/patcher/QuorvanePatcher.url; do
    if ! cmp "$catalogue/Tessaloom/$value/${file##*/}" "$copy/$file"; then
        echo "  $file is not the catalogue's $value/${file##*/}" >&2
        status=1
    fi
done
changed=$(diff -rq "$demo/Quorvane" "$copy" | sort || true)
expected=$(for file in launcher/DozidavuvUvurez.url launcher/QuorvaneLauncher.url \
    patcher/QuorvanePatcher.url; do
    echo "Files $demo/Quorvane/cd_image/data/$file and $copy/cd_image/data/$file differ"
done)
if [[ $changed != "$expected" ]]; then
    echo "  the copy differs from the installation in more than the connection files:" >&2
    echo "$changed" | sed 's/^/    /' >&2
    status=1
fi
((status == 0)) || fail "the copy is not as expected"
echo "OK: \"$server_name\" copy of $(find "$copy" -type f | wc -l) files:" \
    "the 3 connection files are the catalogue's $value/ files, everything else matches the installation"
