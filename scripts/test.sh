#!/usr/bin/env bash
# Sets up, builds every flavour (native; the 32-bit Windows DLL with its stand-in host, which is the
# plug-in; the same DLL and host as 64-bit programs) and runs every test: the native unit tests,
# the checks of both DLLs and the end-to-end tests of the DLL under wine; then the unit and tool
# tests again under the sanitizers, each fuzz target for VARNOLT_FUZZ_SECONDS (default 30) and
# the short versions of the long runs (scripts/sanitize.sh, scripts/long_run_*.sh); last the
# playback and the window thread at once under ThreadSanitizer (scripts/thread_sanitize.sh).
#
# The end-to-end tests run on the i686 build under wine where this machine can execute 32-bit
# programs, and on the x86_64 build under wine64 where it cannot. VARNOLT_WINE_ARCH=x86_64 (or
# i686) takes that path whatever the machine can do.
set -euo pipefail
cd "$(dirname "$0")/.."
# Each phase says how long it took, so that the run's time can be followed from its log.
phase_start=$SECONDS
phase_done() { echo "== $1: $((SECONDS - phase_start)) s"; phase_start=$SECONDS; }

bash scripts/setup_packages.sh windows
phase_done "packages"

for arch in i686 x86_64; do
  dir=build-windows; [ "$arch" = x86_64 ] && dir=build-windows64
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" >/dev/null
  cmake --build "$dir"
done
phase_done "Windows builds"

e2e_arch=$(bash scripts/wine_arch.sh)
case "$e2e_arch" in
  i686) note="the end-to-end tests ran on the i686 build (the plug-in) under wine" ;;
  x86_64)
    if [ "${VARNOLT_WINE_ARCH:-}" = x86_64 ]; then
      note="VARNOLT_WINE_ARCH=x86_64: the end-to-end tests ran on the x86_64 build under wine64"
    else
      if [ -x /usr/lib/wine/wine ]; then
        note="32-bit programs cannot run on this machine: the end-to-end tests ran on the x86_64 build"
      else
        note="wine32 could not be installed on this machine: the end-to-end tests ran on the x86_64 build"
      fi
    fi ;;
esac
echo "$note"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DVARNOLT_WINDOWS_BUILD_DIR="$PWD/build-windows" \
      -DVARNOLT_WINDOWS64_BUILD_DIR="$PWD/build-windows64" \
      -DVARNOLT_E2E_ARCH="$e2e_arch" >/dev/null
cmake --build build
phase_done "native build"
cd build
status=0
ctest --output-on-failure -j2 || status=$?
cd ..
phase_done "native and end-to-end tests"
bash scripts/sanitize.sh "${VARNOLT_FUZZ_SECONDS:-30}" || status=$?
phase_done "sanitizers and fuzzing"
bash scripts/thread_sanitize.sh || status=$?
phase_done "thread sanitizer"
echo "== all: $SECONDS s"
echo "$note"
exit $status
