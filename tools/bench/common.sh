# Sourced by the benchmark scripts.

# Reads --build-dir DIR into $build (default: build) and the options listed in $1, each with a
# value, into the array bench_args; anything else ends the script with a usage line ending in $2.
read_bench_args() {
    local options=" $1 " usage="usage: $0 [--build-dir DIR] $2"
    shift 2
    build=build
    bench_args=()
    while (($#)); do
        if [[ $1 == --build-dir ]]; then
            build=${2:?}
        elif [[ $options == *" $1 "* ]]; then
            bench_args+=("$1" "${2:?}")
        else
            echo "$usage" >&2
            exit 2
        fi
        shift 2
    done
}

# Exports a Wine prefix of the benchmarks' own under $build/bench (made on first use) and sets
# $bench, $WINE and $WINESERVER. The script ends the prefix's Wine server when it is done.
use_bench_wine_prefix() {
    bench=$(realpath -m "$build/bench")
    export WINEPREFIX=$bench/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export LC_ALL=C.UTF-8
    WINE=${WINE:-wine}
    WINESERVER=${WINESERVER:-wineserver}
    if [[ ! -f $WINEPREFIX/system.reg ]]; then
        echo "creating Wine prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        env -u DISPLAY "$WINE" wineboot -i >/dev/null 2>&1
        "$WINESERVER" -w
    fi
}
