#!/usr/bin/env bash
# Creates the private Wine prefix of the end-to-end tests, unless a complete one exists.
#
# Environment: WINEPREFIX (required: never the user's own prefix), WINE, WINESERVER.
# A prefix counts as complete once the marker file written at the end of this script exists;
# an interrupted set-up is thrown away and done again.
set -u

: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
WINE=${WINE:-wine}
WINESERVER=${WINESERVER:-wineserver}
export WINEPREFIX WINESERVER
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
marker="$WINEPREFIX/.tessaloom-e2e-ready"

if [[ -f $marker ]]; then
    echo "Wine prefix $WINEPREFIX is ready"
    exit 0
fi

fail() {
    echo "setup-wineprefix: $*" >&2
    "$WINESERVER" -k >/dev/null 2>&1
    exit 1
}

echo "creating Wine prefix $WINEPREFIX"
"$WINESERVER" -k >/dev/null 2>&1
rm -rf "$WINEPREFIX"
mkdir -p "$(dirname "$WINEPREFIX")"
# No display: nothing of the set-up needs one, and none of its windows should appear.
env -u DISPLAY "$WINE" wineboot -i || fail "wineboot failed"
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f || fail "reg add failed"
"$WINESERVER" -w
[[ -f $WINEPREFIX/system.reg && -d $WINEPREFIX/drive_c/windows ]] || fail "the prefix is incomplete"
grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" || fail "the X11 driver setting was not stored"
touch "$marker"
echo "Wine prefix $WINEPREFIX created"
