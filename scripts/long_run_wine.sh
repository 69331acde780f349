#!/usr/bin/env bash
# The long runs of the DLL under wine, at full length (run by hand; every test run has them
# short). Needs the builds of scripts/test.sh.
#   long_run_wine.sh window [SECONDS]   an hour (3600 s) of audio while the window is scripted
#   long_run_wine.sh cycles [CYCLES]    200 Init/Quit cycles of each module, with and without
#                                       Config
# The figures come out on the lines starting with "long run:".
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:?window or cycles}
arch=$(bash scripts/wine_arch.sh)
loader=/usr/lib/wine/wine; build=build-windows
if [ "$arch" = x86_64 ]; then loader=/usr/lib/wine/wine64; build=build-windows64; fi

env_dir="$PWD/build/long-run-wine"
bash tests/wine/wine_env.sh up "$env_dir" "$loader"
trap 'bash tests/wine/wine_env.sh down "$env_dir" >/dev/null' EXIT
export VARNOLT_WINE_ENV="$env_dir" VARNOLT_WINDOWS_BUILD_DIR="$PWD/$build" VARNOLT_WINE_LOADER="$loader"
case "$what" in
  window)
    export VARNOLT_LONG_RUN_SECONDS=${2:-3600}
    filter='LongRun.TheWindowScripted*' ;;
  cycles)
    export VARNOLT_LONG_RUN_CYCLES=${2:-200}
    filter='LongRun.InitAndQuitCycles*' ;;
  *) echo "window or cycles, not '$what'" >&2; exit 2 ;;
esac
echo "the $arch build under $loader"
build/tests/wine_tests --gtest_filter="$filter"
