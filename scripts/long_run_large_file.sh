#!/usr/bin/env bash
# A recording past what a WAV's 32-bit lengths hold, restored to .wav: the output must come out as
# RF64 and read back whole, every frame where it was; to .aiff (32-bit lengths, no 64-bit form)
# it must be refused before anything is restored. Needs about 2 × SIZE of free disk.
#   long_run_large_file.sh [SECONDS] [TOOL] [MODE]
#     SECONDS  length of the 8-channel 32-bit 192 kHz input (740: 4.55 GB, the file whose header
#              wrapped; 60 is under 4 GiB and must stay a plain WAV)
#     TOOL     build/varnolt
#     MODE     --mode for the run (bypass: the container is what is tested, fast; full: every
#              frame through the first-start processing, about 4 minutes for 740 s)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-740}
tool=${2:-build/varnolt}
mode=${3:-bypass}
dir=$(mktemp -d "${TMPDIR:-/tmp}/varnolt-large.XXXXXX")
trap 'rm -rf "$dir"' EXIT

# The input as RF64, written a second at a time: a tone on each channel, a different one each,
# with the frame's number in the lowest bits of channel 0 so that any frame out of place shows.
python3 - "$dir/long.wav" "$seconds" <<'PY'
import math, struct, sys
path, seconds = sys.argv[1], int(sys.argv[2])
rate, channels, width = 192000, 8, 4
frames = rate * seconds
data_bytes = frames * channels * width
with open(path, "wb") as f:
    f.write(b"RF64" + struct.pack("<I", 0xFFFFFFFF) + b"WAVE")
    f.write(b"ds64" + struct.pack("<IQQQI", 28, 0, data_bytes, frames, 0))
    f.write(b"fmt " + struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * channels * width,
                                 channels * width, 32))
    f.write(b"data" + struct.pack("<I", 0xFFFFFFFF))
    second = []
    for n in range(rate):
        for c in range(channels):
            second.append(int(0.25 * 2**31 * math.sin(2 * math.pi * (100 + 50 * c) * n / rate)))
    for s in range(seconds):
        block = list(second)
        for n in range(rate):
            block[n * channels] = (block[n * channels] & ~0xFFFFFF) | ((s * rate + n) & 0xFFFFFF)
        f.write(struct.pack(f"<{len(block)}i", *block))
    riff = f.tell() - 8
    f.seek(20)
    f.write(struct.pack("<Q", riff))
PY
echo "input: $(stat -c %s "$dir/long.wav") bytes, $seconds s of 8 channels, 32-bit, 192 kHz"

# Refused before the run: a container that cannot grow past 4 GiB.
if [ "$seconds" -ge 700 ]; then
  start=$(date +%s)
  if "$tool" -q --mode "$mode" "$dir/long.wav" "$dir/out.aiff" 2>"$dir/aiff.err"; then
    echo "FAIL: the .aiff output was not refused"; exit 1
  fi
  grep -q 'files hold at most 4 GiB of samples' "$dir/aiff.err" || { cat "$dir/aiff.err"; exit 1; }
  [ ! -e "$dir/out.aiff" ] || { echo "FAIL: a refused .aiff was left"; exit 1; }
  echo "aiff: refused in $(( $(date +%s) - start )) s: $(cat "$dir/aiff.err")"
fi

start=$(date +%s)
"$tool" --mode "$mode" "$dir/long.wav" "$dir/out.wav"
echo "restored in $(( $(date +%s) - start )) s"
rm "$dir/long.wav"

# What the output's header says and what it holds, read as libsndfile, sox and ffmpeg would.
python3 - "$dir/out.wav" "$seconds" "$mode" <<'PY'
import struct, sys
path, seconds, mode = sys.argv[1], int(sys.argv[2]), sys.argv[3]
rate, channels = 192000, 8
with open(path, "rb") as f:
    head = f.read(12)
    kind = head[:4].decode()
    frames = None
    data_at = data_bytes = None
    pos = 12
    while True:
        f.seek(pos)
        chunk = f.read(8)
        if len(chunk) < 8: break
        cid, size = chunk[:4], struct.unpack("<I", chunk[4:])[0]
        if cid == b"ds64":
            _, data64, frames = struct.unpack("<QQQ", f.read(24))
        if cid == b"fmt ":
            fmt = f.read(size)
            width = struct.unpack("<H", fmt[14:16])[0] // 8
        if cid == b"data":
            data_at = pos + 8
            data_bytes = data64 if size == 0xFFFFFFFF else size
            break
        pos += 8 + size + (size & 1)
    held = data_bytes // (channels * width)
    want = rate * seconds
    print(f"output: {kind}, {held} frames in the data chunk, {want} wanted")
    if seconds >= 700 and kind != "RF64": sys.exit("FAIL: a long output must be RF64")
    if seconds < 700 and kind != "RIFF": sys.exit("FAIL: a short output must stay a plain WAV")
    if held != want: sys.exit("FAIL: the output holds the wrong number of frames")
    if mode == "bypass":
        # Bypassed, every frame is the input's: the frame numbers in channel 0 are in order.
        for s in range(0, seconds, max(1, seconds // 37)):
            f.seek(data_at + s * rate * channels * width)
            block = f.read(channels * width * 1000)
            for n in range(1000):
                v = struct.unpack_from("<i", block, n * channels * width)[0]
                if v & 0xFFFFFF != (s * rate + n) & 0xFFFFFF:
                    sys.exit(f"FAIL: frame {s * rate + n} is out of place")
        print("every sampled frame is in its place")
PY
echo "long run large file: passed"
