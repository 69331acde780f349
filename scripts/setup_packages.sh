#!/usr/bin/env bash
# Installs what building and testing need on Debian 12.
#   setup_packages.sh native    compilers, libraries and test frameworks for the native build,
#                               and clang with its sanitizer and fuzzer runtimes and libomp for
#                               the sanitizer build and the fuzz targets; the LV2 headers, lilv,
#                               lv2apply and sord_validate for the LV2 plug-in and its tests;
#                               the locale sources a test compiles a decimal-comma locale from
#   setup_packages.sh windows   additionally mingw-w64 for the DLL (i686, and x86_64 for the
#                               64-bit build), wine and wine64 and Xvfb to run them
set -euo pipefail
want=${1:-native}

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

native=(build-essential cmake ninja-build pkg-config python3 libsndfile1-dev libflac-dev
        libmpg123-dev libcli11-dev
        libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libfftw3-dev libfreetype-dev
        fonts-dejavu-core clang libclang-rt-14-dev libomp-14-dev
        lv2-dev liblilv-dev lilv-utils sordi locales)
windows=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
         g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
         wine wine32:i386 wine64 xvfb xauth)

packages=("${native[@]}")
if [ "$want" = windows ]; then
  packages+=("${windows[@]}")
  # wine32 is an i386 package: the architecture must be known before the package lists are read.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
fi

# A mirror being synced serves an index whose size does not match its Release file ("Mirror sync in
# progress?"): apt-get update then fails although every other index is fresh. Try a few times, and
# go on with what was fetched; the install below says what is still missing.
update_indexes() {
  local attempt
  for attempt in 1 2 3; do
    if as_root apt-get update -qq; then return 0; fi
    echo "apt-get update failed (attempt $attempt of 3)" >&2
    [ "$attempt" -lt 3 ] && sleep $((attempt * 5))
  done
  echo "some package indexes could not be updated; going on with those that were" >&2
}

install() {
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  update_indexes
  if ! install "${missing[@]}"; then
    # wine32 comes from the i386 indexes, which can lag behind the amd64 ones (or be missing): the
    # end-to-end tests then take the x86_64 build under wine64 (scripts/wine_arch.sh says so).
    rest=()
    for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
    [ ${#rest[@]} -lt ${#missing[@]} ] || exit 1
    echo "wine32:i386 could not be installed together with the rest; installing without it" >&2
    install "${rest[@]}"
    echo "wine32 is not installed: the end-to-end tests will run on the x86_64 build" >&2
  fi
fi
