#!/usr/bin/env bash
# Sets up, builds, makes the built-in demo recording and restores it with the command-line tool.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup_packages.sh native
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target varnolt
mkdir -p out
python3 scripts/make_demo_recording.py out/demo.wav
./build/varnolt out/demo.wav out/demo-restored.wav --settings scripts/demo-settings.vnt
echo "restored recording: out/demo-restored.wav"
