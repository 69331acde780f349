#!/usr/bin/env bash
# Sets up, builds both flavours (native, and the 32-bit Windows DLL with its stand-in host) and
# runs every test: the native unit tests and the end-to-end tests of the DLL under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup_packages.sh windows
cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build-windows
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DVARNOLT_WINDOWS_BUILD_DIR="$PWD/build-windows" >/dev/null
cmake --build build
cd build
ctest --output-on-failure -j2
