#!/usr/bin/env bash
# Sets up, builds, makes the demo "tape" and restores it with the command-line tool: writes the
# restored file and its report beside it and says how much closer to the clean version it is.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup_packages.sh native
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target varnolt varnolt_demo_tape varnolt_demo_compare
mkdir -p out
./build/varnolt_demo_tape out/demo-clean.wav out/demo-tape.wav
# The tape was recorded with the noise reduction and is played without it, loud: the Dolby B
# remover at a recording volume of 5 suits it; the FM hiss filter with a roughness limit that
# lets it work under the drums; the azimuth correction is on at every start.
./build/varnolt --settings scripts/demo-settings.vnt out/demo-tape.wav out/demo-restored.wav \
  --report
echo
echo "clean version:  out/demo-clean.wav"
echo "tape:           out/demo-tape.wav"
echo "restored:       out/demo-restored.wav"
echo "report:         out/demo-restored.png"
echo
./build/varnolt_demo_compare out/demo-clean.wav out/demo-tape.wav out/demo-restored.wav
