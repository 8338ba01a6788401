#!/usr/bin/env bash
# Installs what building, running and testing Tessaloom needs on Debian 12 (as root), and
# the glibc locales of the end-to-end scenarios run with a Japanese system locale. nginx (with
# its gzip_static module) serves the catalogue of one scenario, which starts it itself: its
# system service is neither started by the install nor enabled.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config python3
  libgtest-dev libcpp-httplib-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 fonts-wine xvfb xauth x11-utils imagemagick
  clang-format locales nginx
)
# Wine takes the system code page from LC_CTYPE (ja_JP.UTF-8 gives code page 932) and the
# language of its windows from LC_MESSAGES (en_US.UTF-8: English).
locales=(ja_JP en_US)

has_locale() {
  # `locale -a` spells the code set in its own way ("ja_JP.utf8").
  locale -a 2>/dev/null | grep -qix "$1\.utf-\?8"
}
missing_locales=()
for name in "${locales[@]}"; do
  has_locale "$name" || missing_locales+=("$name")
done

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_locales[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then exec sudo "$0" "$@"; fi
  echo "install-deps: run as root to install: ${missing[*]} ${missing_locales[*]/%/.UTF-8}" >&2
  exit 1
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # Debian's nginx starts its service (on port 80) once installed, unless a policy denies it:
  # one that denies every start, for the install alone, where the machine has none.
  policy=/usr/sbin/policy-rc.d
  if [ ! -e "$policy" ]; then
    trap 'rm -f "$policy"' EXIT
    printf '#!/bin/sh\nexit 101\n' >"$policy"
    chmod 755 "$policy"
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
  if [[ " ${missing[*]} " == *" nginx "* ]]; then
    update-rc.d nginx disable >/dev/null 2>&1 || true  # nor at boot
  fi
fi
for name in "${missing_locales[@]}"; do
  echo "install-deps: generating the locale $name.UTF-8"
  # -c: the definitions' harmless warnings would otherwise end it with status 1.
  localedef -i "$name" -c -f UTF-8 "$name.UTF-8"
  has_locale "$name" || { echo "install-deps: the locale $name.UTF-8 is still missing" >&2; exit 1; }
done
