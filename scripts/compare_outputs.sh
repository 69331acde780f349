#!/usr/bin/env bash
# Whether two builds restore alike: the tool's outputs (16- and 24-bit through the player's
# blocks, float in double precision, several channels, the standard decoder, the automatic
# Dolby level, the report's picture, the settings listing) and the LV2 plug-in's (stereo and
# mono, both decoders) on the demo tape, compared byte for byte. For a change that must not
# change what anyone hears or sees.
#   scripts/compare_outputs.sh BEFORE_BUILD AFTER_BUILD
# Each build directory holds varnolt, varnolt_demo_tape and lv2-bundles/ (the native build).
set -euo pipefail
cd "$(dirname "$0")/.."
before=$(cd "${1:?build before}" && pwd)
after=$(cd "${2:?build after}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$after/varnolt_demo_tape" "$work/clean.wav" "$work/tape.wav" >/dev/null
# Float programme, stereo at 44.1 kHz; 24-bit tones with hiss in three channels at 48 kHz.
"$after/tests/lv2/lv2_make_signal" "$work/float2.wav" 2 44100 6
"$after/tests/lv2/lv2_make_signal" "$work/float1.wav" 1 44100 6
python3 - "$work/three.wav" <<'PY'
import math, random, struct, sys, wave
random.seed(3)
w = wave.open(sys.argv[1], "wb")
w.setnchannels(3); w.setsampwidth(3); w.setframerate(48000)
frames = bytearray()
for n in range(4 * 48000):
    for c in range(3):
        x = 0.3 * math.sin(2 * math.pi * (300 + 200 * c) * n / 48000) + random.gauss(0, 0.02)
        frames += struct.pack("<i", int(x * 8388607))[:3]
w.writeframes(bytes(frames)); w.close()
PY
preset=$PWD/scripts/demo-settings.vnt
every=(--settings $preset --set "'Singleband Compressor/Enabled=1'"
       --set "'Bias/Auto-adjust left channel amplification=1'" --quality high)
cases=(
  "demo|tape|--settings $preset|wav"
  "every-stage-16|tape|${every[*]}|wav"
  "every-stage-24|tape|${every[*]} --bits 24|flac"
  "every-stage-float|float2|${every[*]}|wav"
  "three-channels|three|${every[*]}|wav"
  "standard-decoder|float2|${every[*]} --dolby-decoder standard --dolby-level -18|wav"
  "automatic-level|tape|--dolby-level auto --quality low --mono|flac"
  "bypass|tape|--mode bypass|wav"
  "report|tape|--settings $preset --report|wav"
)
differ=0
# Byte for byte, but for the time stamp libsndfile writes into a float WAV's PEAK chunk.
same_files() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
def content(path):
    data = bytearray(open(path, "rb").read())
    if data[:4] == b"RIFF" and data[8:12] == b"WAVE":
        i = 12
        while i + 8 <= len(data):
            kind, size = data[i:i + 4], struct.unpack("<I", data[i + 4:i + 8])[0]
            if kind == b"PEAK": data[i + 12:i + 16] = b"\0\0\0\0"
            i += 8 + size + (size & 1)
    return data
sys.exit(0 if content(sys.argv[1]) == content(sys.argv[2]) else 1)
PY
}
# Each build writes under the same names in a folder of its own, so that the names the report
# and the messages give are the same.
run_case() {  # build name input options extension side
  local build=$1 name=$2 input=$3 options=$4 extension=$5 side=$6
  mkdir -p "$work/$name/$side"
  (cd "$work/$name/$side" &&
    eval "\"$build/varnolt\" -q $options \"../../$input.wav\" out.$extension" 2>stderr)
}
for entry in "${cases[@]}"; do
  IFS='|' read -r name input options extension <<<"$entry"
  run_case "$before" "$name" "$input" "$options" "$extension" before
  run_case "$after" "$name" "$input" "$options" "$extension" after
  for f in "$work/$name"/before/*; do
    g=$work/$name/after/$(basename "$f")
    if same_files "$f" "$g"; then echo "same     tool $name $(basename "$f")"
    else echo "DIFFERS  tool $name $(basename "$f")"; differ=1; fi
  done
done
for build in before after; do
  dir=$before; [ $build = after ] && dir=$after
  "$dir/varnolt" --settings $preset --print-settings >"$work/listing.$build"
done
if cmp -s "$work/listing.before" "$work/listing.after"; then echo "same     tool --print-settings"
else echo "DIFFERS  tool --print-settings"; differ=1; fi

# The latency a build's LV2 plug-in reports (the latency port's maximum in its description).
reported_latency() {
  grep -A3 'lv2:symbol "latency"' "$1/lv2-bundles/varnolt.lv2/varnolt.ttl" |
    sed -n 's/.*lv2:maximum \([0-9]*\).*/\1/p' | head -1
}
latency_before=$(reported_latency "$before")
latency_after=$(reported_latency "$after")

# Whether the WAV `after` is `before` delayed by `shift` frames: the same bytes frame for frame
# (the frames before the shift are the plug-in's silence), over the frames both hold.
delayed_copy() {
  python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
def frames(path):
    # A RIFF WAVE file's frame width and data, whatever its sample format (float included).
    data = open(path, "rb").read()
    at, width, body = 12, None, None
    while at + 8 <= len(data):
        tag, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if tag == b"fmt ":
            channels, bits = struct.unpack("<H", data[at + 10:at + 12])[0], \
                struct.unpack("<H", data[at + 22:at + 24])[0]
            width = channels * bits // 8
        elif tag == b"data":
            body = data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    return width, body
(wa, a), (wb, b), shift = frames(sys.argv[1]), frames(sys.argv[2]), int(sys.argv[3])
n = min(len(a) // wa, len(b) // wb - shift) if wa == wb and wa else 0
ok = n > 0 and a[:n * wa] == b[shift * wb:(shift + n) * wb] and not any(b[:shift * wb])
sys.exit(0 if ok else 1)
PY
}

# The LV2 plug-in on the float programme, every stage on, each decoder. Where the builds report
# different latencies, the later output must be the earlier one delayed by the difference.
controls=(-c bias_enabled 1 -c dolby_b_remover_enabled 1 -c fm_stereo_noise_filter_enabled 1
          -c singleband_compressor_enabled 1 -c dolby_b_remover_pc_recording_volume 2
          -c plugin_configuration_cpu_usage_quality 0)
for uri in stereo mono; do
  input=$work/float2.wav; [ $uri = mono ] && input=$work/float1.wav
  for decoder in 0 1; do
    for build in before after; do
      dir=$before; [ $build = after ] && dir=$after
      LV2_PATH="$dir/lv2-bundles" lv2apply -i "$input" \
        -o "$work/lv2-$uri-$decoder.$build.wav" "${controls[@]}" -c dolby_b_decoder "$decoder" \
        "https://tolvane.example/varnolt/lv2/$uri" >/dev/null 2>&1 || echo "lv2apply failed ($build)"
    done
    if [ "$latency_before" = "$latency_after" ]; then
      if same_files "$work/lv2-$uri-$decoder.before.wav" "$work/lv2-$uri-$decoder.after.wav"; then
        echo "same     lv2 $uri decoder $decoder"
      else echo "DIFFERS  lv2 $uri decoder $decoder"; differ=1; fi
    elif [ "$latency_after" -gt "$latency_before" ] &&
         delayed_copy "$work/lv2-$uri-$decoder.before.wav" "$work/lv2-$uri-$decoder.after.wav" \
           $((latency_after - latency_before)); then
      echo "same     lv2 $uri decoder $decoder, $((latency_after - latency_before)) frames later" \
           "(latency $latency_before -> $latency_after)"
    else echo "DIFFERS  lv2 $uri decoder $decoder (latency $latency_before -> $latency_after)"
      differ=1; fi
  done
done
exit $differ
