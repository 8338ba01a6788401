#!/usr/bin/env bash
# Makes the release archive with the Windows build's package target and checks it as a user
# would get it: Tessaloom-VERSION-win64.zip holds exactly Tessaloom.exe (the one built, with
# VERSION in its version strings), README.txt (the README's part for users) and LICENSE, both
# with Windows line ends, and the .sha256 beside it passes `sha256sum -c` in another folder.
#
# usage: package-check.sh SOURCE-DIR WINDOWS-BUILD-DIR VERSION WORK-DIR [WINDRES]
set -euo pipefail

source_dir=${1:?usage: package-check.sh SOURCE-DIR WINDOWS-BUILD-DIR VERSION WORK-DIR [WINDRES]}
build_dir=${2:?}
version=${3:?}
work=${4:?}
windres=${5:-x86_64-w64-mingw32-windres}

status=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        status=1
    fi
}

archive=Tessaloom-$version-win64.zip
rm -f "$build_dir"/Tessaloom-*.zip "$build_dir"/Tessaloom-*.zip.sha256
rm -rf "$work"
mkdir -p "$work/download" "$work/unpacked"
if ! cmake --build "$build_dir" --target package >"$work/package.log" 2>&1; then
    cat "$work/package.log"
    echo "FAILED: the package target failed"
    exit 1
fi
made=$(
    cd "$build_dir"
    shopt -s nullglob
    files=(Tessaloom-*.zip Tessaloom-*.zip.sha256)
    echo "${files[*]}"
)
if [[ $made != "$archive $archive.sha256" ]]; then
    echo "FAILED: the package target made \"$made\", not $archive and $archive.sha256"
    exit 1
fi

# The checksum, as a user checks it in their download folder.
download=$work/download
cp "$build_dir/$archive" "$build_dir/$archive.sha256" "$download/"
check "$archive.sha256 reads as sha256sum writes it" \
    cmp -s "$download/$archive.sha256" <(cd "$download" && sha256sum "$archive")
checksum_accepted() { (cd "$download" && sha256sum --check --strict --quiet "$archive.sha256"); }
check "sha256sum -c accepts $archive.sha256" checksum_accepted

# The contents.
entries=$(cmake -E tar tf "$build_dir/$archive" | LC_ALL=C sort | tr '\n' ' ')
check "$archive holds exactly LICENSE README.txt Tessaloom.exe (it holds: $entries)" \
    test "$entries" = "LICENSE README.txt Tessaloom.exe "
(cd "$work/unpacked" && cmake -E tar xf "$build_dir/$archive")
unpacked=$work/unpacked

check "Tessaloom.exe is the one built" cmp -s "$unpacked/Tessaloom.exe" "$build_dir/Tessaloom.exe"
version_text=${version//./, }
resources=$("$windres" -i "$unpacked/Tessaloom.exe" -O rc || true)
for key in FileVersion ProductVersion; do
    check "Tessaloom.exe's $key string is \"$version_text\"" \
        grep -q -F -e "VALUE \"$key\", \"$version_text\"" <<<"$resources"
done

check "LICENSE is the licence with Windows line ends" \
    cmp -s "$unpacked/LICENSE" <(sed 's/$/\r/' "$source_dir/LICENSE")

# README.txt: lines that Notepad shows as lines, the users' sections and no developers' ones.
readme=$unpacked/README.txt
windows_lines() { [[ -s $1 ]] && ! grep -q -v $'\r$' "$1"; }
plain_users_text() { ! grep -q -E '^(Building|How it fits together)|^#|^!\[|\*\*|`' "$1"; }
check "every line of README.txt ends with CR LF" windows_lines "$readme"
for heading in "Download and run" "What the messages mean"; do
    check "README.txt has \"$heading\"" grep -q -x -F -e "$heading"$'\r' "$readme"
done
for notice in "0x80190194" "Operation aborted by user." "Windows sockets initialization failed."; do
    check "README.txt explains \"$notice\"" grep -q -F -e "$notice" "$readme"
done
check "README.txt leaves out the developers' sections and Markdown marks" \
    plain_users_text "$readme"

exit "$status"
