#!/usr/bin/env bash
# Runs one end-to-end scenario: a fresh scratch folder with an empty catalogue, the catalogue
# server on the address of the program's catalogue URL, then the driver (or, with
# --no-display, the program alone) under Wine. Whatever happens, the server and every Wine
# process of the prefix are ended before the script exits with the scenario's result.
#
# usage: run-scenario.sh OPTIONS SCENARIO [-- DRIVER-ARGS...]
#   --build-dir DIR    native build tree; the scratch folder is DIR/e2e/SCENARIO
#   --windows-dir DIR  tree holding Tessaloom.exe and e2e-driver.exe
#   --url URL          catalogue URL compiled into the program (http://127.0.0.1:PORT/...)
#   --server EXE       the catalogue server
#   --no-server        start no server (nothing answers at the catalogue URL)
#   --support TEXT     support contact compiled into the program (checked in messages)
#   --timeout SECONDS  limit for the driver or program (default 160)
#   --no-display       run Tessaloom.exe without a display; passes when it exits non-zero
#   --setup SCRIPT     runs `bash SCRIPT setup SCRATCH URL` before the scenario and
#                      `bash SCRIPT teardown SCRATCH URL` after it (and before the scratch
#                      folder is emptied), URL being --url; a setup exiting with 77 skips the
#                      scenario (exit code 77)
#   --locale LOCALE    the system locale Wine runs with (a glibc locale such as ja_JP.UTF-8):
#                      its code page becomes the system's ANSI code page, while Wine's own
#                      windows keep English labels
#
# Environment: WINEPREFIX (required), WINE, WINESERVER; E2E_SHOTS: a folder where the
# screenshots the driver asks for are stored (needs a display and ImageMagick's import).
set -u

usage() {
    echo "run-scenario: $*" >&2
    exit 2
}

build_dir="" windows_dir="" url="" server="" no_server=0 support="" timeout_s=160 no_display=0
setup_script="" locale=""
scenario=""
driver_args=()
while (($#)); do
    case $1 in
        --build-dir) build_dir=${2:?}; shift 2 ;;
        --windows-dir) windows_dir=${2:?}; shift 2 ;;
        --url) url=${2:?}; shift 2 ;;
        --server) server=${2:?}; shift 2 ;;
        --no-server) no_server=1; shift ;;
        --support) support=${2-}; shift 2 ;;
        --timeout) timeout_s=${2:?}; shift 2 ;;
        --no-display) no_display=1; shift ;;
        --setup) setup_script=${2:?}; shift 2 ;;
        --locale) locale=${2:?}; shift 2 ;;
        --) shift; driver_args=("$@"); break ;;
        -*) usage "unknown option $1" ;;
        *) [[ -z $scenario ]] || usage "two scenarios given"; scenario=$1; shift ;;
    esac
done
[[ -n $scenario && -n $build_dir && -n $windows_dir && -n $url ]] ||
    usage "SCENARIO, --build-dir, --windows-dir and --url are required"
((no_server)) || [[ -n $server ]] || usage "--server or --no-server is required"
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
WINE=${WINE:-wine}
WINESERVER=${WINESERVER:-wineserver}
export WINEPREFIX WINESERVER
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [[ -n $locale ]]; then
    # Wine takes the system locale, and with it the ANSI code page, from LC_CTYPE and the
    # user's, which names its windows' labels, from LC_MESSAGES. A locale glibc lacks would
    # leave Wine in the C locale; LC_MESSAGES=C.UTF-8 would make the user's locale the system's.
    locale_known() {
        local name=${1,,}
        name=${name/.utf-8/.utf8}
        locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]' | grep -qxF "$name"
    }
    for needed in "$locale" en_US.UTF-8; do
        locale_known "$needed" || {
            echo "FAILED: $scenario: the locale $needed is missing (tools/install-deps.sh makes it)"
            exit 1
        }
    done
    unset LC_ALL LANGUAGE
    export LANG=C.UTF-8 LC_MESSAGES=en_US.UTF-8 LC_CTYPE=$locale
    echo "system locale $LC_CTYPE, user locale $LC_MESSAGES"
fi

[[ $url =~ ^http://127\.0\.0\.1:([0-9]+)(/.*/)$ ]] ||
    usage "the catalogue URL must be http://127.0.0.1:PORT/.../ (got $url)"
port=${BASH_REMATCH[1]}
url_path=${BASH_REMATCH[2]}

app="$windows_dir/Tessaloom.exe"
driver="$windows_dir/e2e-driver.exe"
[[ -f $app ]] || usage "$app is missing: build the project first"
((no_display)) || [[ -f $driver ]] || usage "$driver is missing: build the project first"

# Windows path of a Unix path, through Wine's Z: drive.
winpath() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}

scratch="$build_dir/e2e/$scenario"
catalogue_root="$scratch/catalogue"
catalogue_dir="$catalogue_root${url_path%/}"
pid_file="$build_dir/e2e/catalogue-server.pid"
server_pid="" shot_pid="" driver_pid="" set_up=0

cleanup() {
    local code=$?
    trap - EXIT INT TERM
    [[ -n $driver_pid ]] && kill "$driver_pid" 2>/dev/null
    [[ -n $shot_pid ]] && kill "$shot_pid" 2>/dev/null && wait "$shot_pid" 2>/dev/null
    if [[ -n $server_pid ]]; then
        kill "$server_pid" 2>/dev/null
        wait "$server_pid" 2>/dev/null
        rm -f "$pid_file"
        if [[ -s $scratch/server.log ]]; then
            echo "catalogue server requests:"
            sed 's/^/  /' "$scratch/server.log"
        fi
    fi
    # Ends every process of the prefix (the program too, if the driver left it running).
    if "$WINESERVER" -k 2>/dev/null; then
        "$WINESERVER" -w
    fi
    if ((set_up)); then
        bash "$setup_script" teardown "$scratch" "$url" || code=1
    fi
    exit "$code"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# A server left behind by an earlier run that was killed outright.
if [[ -f $pid_file ]]; then
    old=$(cat "$pid_file")
    if [[ $old =~ ^[0-9]+$ ]] && grep -qs catalogue-server "/proc/$old/cmdline"; then
        echo "stopping catalogue server $old left by an earlier run"
        kill "$old" 2>/dev/null
    fi
    rm -f "$pid_file"
fi
"$WINESERVER" -k 2>/dev/null && "$WINESERVER" -w

if [[ -n $setup_script ]]; then
    # What an earlier run that was killed outright left set up.
    bash "$setup_script" teardown "$scratch" "$url" || exit 1
fi
rm -rf "$scratch"
mkdir -p "$catalogue_dir" || exit 1
if [[ -n $setup_script ]]; then
    set_up=1
    bash "$setup_script" setup "$scratch" "$url"
    code=$?
    if ((code == 77)); then
        echo "SKIPPED: $scenario: its set-up is not possible here"
        exit 77
    fi
    ((code == 0)) || { echo "FAILED: $scenario: set-up failed"; exit 1; }
fi

if ((!no_server)); then
    "$server" --root "$catalogue_root" --port "$port" --log "$scratch/server.log" \
        >"$scratch/server.out" 2>&1 &
    server_pid=$!
    echo "$server_pid" >"$pid_file"
    for ((i = 0; i < 100; i++)); do
        grep -qs "listening on" "$scratch/server.out" && break
        if ! kill -0 "$server_pid" 2>/dev/null; then
            echo "the catalogue server did not start:" >&2
            cat "$scratch/server.out" >&2
            if command -v ss >/dev/null; then
                echo "listening on port $port:" >&2
                ss -ltnp "sport = :$port" >&2
            fi
            server_pid=""
            exit 1
        fi
        sleep 0.1
    done
    grep -qs "listening on" "$scratch/server.out" || {
        echo "the catalogue server is not listening after 10 s" >&2
        exit 1
    }
    head -n 1 "$scratch/server.out"
fi

if ((no_display)); then
    # Without a display the dialog cannot be created: the program must say so in its exit
    # code instead of passing for a run that did nothing.
    printf 'Alpha=alpha\nBeta Server=beta\n' >"$catalogue_dir/TestServers.txt"
    unset DISPLAY WAYLAND_DISPLAY
    echo "running Tessaloom.exe without a display"
    (cd "$scratch" && exec timeout -k 5 "$timeout_s" "$WINE" "$app") &
    driver_pid=$!
    wait "$driver_pid"
    code=$?
    driver_pid=""
    if ((code == 124 || code == 137)); then
        echo "FAILED: Tessaloom.exe still ran after ${timeout_s} s without a display"
        exit 1
    fi
    if ((code == 0)); then
        echo "FAILED: Tessaloom.exe exited with code 0 without a display"
        exit 1
    fi
    echo "PASSED: Tessaloom.exe exited with code $code without a display"
    exit 0
fi

args=("$scenario" --app "$(winpath "$app")" --scratch "$(winpath "$scratch")"
    --catalogue-dir "$(winpath "$catalogue_dir")" --url "$url")
[[ -n $support ]] && args+=(--support "$support")

if [[ -n ${E2E_SHOTS-} ]]; then
    # The driver asks for a screenshot with NAME.request and waits for NAME.done.
    mkdir -p "$E2E_SHOTS" "$scratch/shots"
    args+=(--shots "$(winpath "$scratch/shots")")
    (
        while sleep 0.1; do
            for request in "$scratch"/shots/*.request; do
                [[ -e $request ]] || continue
                name=$(basename "$request" .request)
                import -window root "$E2E_SHOTS/$name.png" && echo "screenshot $E2E_SHOTS/$name.png"
                mv "$request" "$scratch/shots/$name.done"
            done
        done
    ) &
    shot_pid=$!
fi

(cd "$scratch" && exec timeout -k 5 "$timeout_s" "$WINE" "$driver" "${args[@]}" -- "${driver_args[@]}") &
driver_pid=$!
wait "$driver_pid"
code=$?
driver_pid=""
if ((code == 124 || code == 137)); then
    echo "FAILED: $scenario: the driver did not finish within ${timeout_s} s"
    exit 1
fi
exit "$code"
