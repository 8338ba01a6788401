#!/usr/bin/env bash
# Runs COMMAND as a user that file permissions bind (root ignores them, and so does Wine run
# as root): run as root, it runs it as the system user tessaloom-e2e, made when missing, with
# a home folder and a Wine prefix of its own; run as anyone else, as that user.
#
# usage: unprivileged.sh HOME-DIR COMMAND...
#   HOME-DIR  folder handed to the user: its home, its Wine prefix (HOME-DIR/wineprefix) and
#             whatever COMMAND writes
# Environment: WINE, WINESERVER.
set -u
home=${1:?usage: unprivileged.sh HOME-DIR COMMAND...}
shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if (($(id -u) != 0)); then
    mkdir -p "$home" || exit 1
    exec "$@"
fi

user=tessaloom-e2e
if ! id -u "$user" >/dev/null 2>&1; then
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" ||
        exit 1
fi
mkdir -p "$home" && chown "$user:" "$home" || exit 1
# The user may read and search any folder (CAP_DAC_READ_SEARCH), so that a checkout in a folder
# only root may enter (/root) stays reachable; what it may write, permissions still decide.
exec setpriv --reuid="$user" --regid="$user" --clear-groups \
    --inh-caps=+dac_read_search --ambient-caps=+dac_read_search \
    env HOME="$home" WINEPREFIX="$home/wineprefix" \
    bash -c 'bash "$1/setup-wineprefix.sh" && shift && exec "$@"' unprivileged "$here" "$@"
