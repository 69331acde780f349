#!/usr/bin/env bash
# Whole-process realtime factors: 60 s of 16-bit stereo pink noise at 44.1 kHz (and 96 kHz)
# restored with every stage on (the compressor too) at High quality, natively through the
# command-line tool and through the DLL in the stand-in host under wine, at one and two
# OpenMP threads, with and without a busy loop on another core. Prints seconds of audio per
# second of wall time and per second of CPU time.
#   bench/realtime.sh [BUILD_DIR] [WINDOWS_BUILD_DIR] [WINE_LOADER]
# Defaults: build, the x86_64 build under wine64 where 32-bit programs cannot run, else the
# i686 build under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ -n "${2:-}" ]; then windows=$2; loader=${3:?wine loader}
elif [ "$(bash scripts/wine_arch.sh 2>/dev/null || true)" = i686 ]; then
  windows=build-windows; loader=/usr/lib/wine/wine
else
  windows=build-windows64; loader=/usr/lib/wine/wine64
fi
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import math, random, struct, sys, wave
for rate in (44100, 96000):
    random.seed(1)
    w = wave.open(f"{sys.argv[1]}/pink{rate}.wav", "wb")
    w.setnchannels(2); w.setsampwidth(2); w.setframerate(rate)
    b = [[0.0] * 7 for _ in range(2)]
    frames = bytearray()
    for n in range(60 * rate):
        for c in range(2):
            x, s = random.gauss(0, 1), b[c]
            s[0] = 0.99886 * s[0] + x * 0.0555179; s[1] = 0.99332 * s[1] + x * 0.0750759
            s[2] = 0.96900 * s[2] + x * 0.1538520; s[3] = 0.86650 * s[3] + x * 0.3104856
            s[4] = 0.55000 * s[4] + x * 0.5329522; s[5] = -0.7616 * s[5] - x * 0.0168980
            p = sum(s[:6]) + s[6] + x * 0.5362; s[6] = x * 0.115926
            frames += struct.pack("<h", max(-32768, min(32767, int(p * 1200))))
    w.writeframes(bytes(frames)); w.close()
PY
printf '[Plugin Configuration]\r\nCPU usage - Quality=0\r\n[Singleband Compressor]\r\nEnabled=1\r\n[Dolby B Remover]\r\nEnabled=1\r\n[FM stereo noise filter]\r\nEnabled=1\r\n' >"$work/every-stage.ini"

measure() {  # label command...
  local label=$1; shift
  /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>&1
  read -r wall user sys <"$work/time"
  python3 -c "import sys; w,u,s=map(float,sys.argv[1:4]); print(f'{sys.argv[4]:<44} wall {60/w:6.1f}x   cpu {60/(u+s):6.1f}x')" \
    "$wall" "$user" "$sys" "$label"
}

busy_loop() { while :; do :; done; }

for rate in 44100 96000; do
  for busy in 0 1; do
    load=""
    if [ "$busy" = 1 ]; then busy_loop & busy_pid=$!; load=", other core busy"; fi
    for threads in 1 2; do
      label="native $rate Hz, $threads thread(s)$load"
      OMP_NUM_THREADS=$threads measure "$label" "$build/varnolt" --quiet --settings "$work/every-stage.ini" \
        --quality high --azimuth on "$work/pink$rate.wav" "$work/out.wav"
    done
    if [ "$busy" = 1 ]; then kill "$busy_pid"; wait "$busy_pid" 2>/dev/null || true; fi
  done
done

if [ -x "$loader" ] && [ -f "$windows/vhost.exe" ]; then
  windows=$(cd "$windows" && pwd)  # the DLL's path is handed to wine whole, given as either
  export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  case "$loader" in *64) export WINELOADER=$loader ;; esac
  timeout 170 "$loader" wineboot -i >/dev/null 2>&1
  mkdir -p "$work/profile"
  win() { echo "Z:${1//\//\\}"; }
  for threads in 1 2; do
    cp "$work/every-stage.ini" "$work/profile/dsp_varnolt.ini"
    OMP_NUM_THREADS=$threads measure "DLL ($(basename "$windows")) under wine, $threads thread(s)" \
      timeout 300 "$loader" "$windows/vhost.exe" --profile "$(win "$work/profile")" \
      "$(win "$windows/dsp_varnolt.dll"):1" "$(win "$work/pink44100.wav")" "$(win "$work/out.wav")"
  done
  timeout 30 wineserver -k 2>/dev/null || true
fi
