#!/usr/bin/env bash
# Builds the Dolby B corpus: five kinds of material, each at the transfer levels -12, -6, 0 and
# +6 dB, as NAME_LEVEL_clean.wav and NAME_LEVEL_encoded.wav: 20 s, 44.1 kHz, stereo, 24-bit.
#
#   make_dolby_corpus.sh [--recorded] [OUTDIR]        (default out/dolby-corpus)
#
# The transfer level is the digitisation's gain: the tape is recorded once, its programme peaking
# 3 dB above Dolby level, and the gain is applied after the encoder, to the clean and the encoded
# file alike, so Dolby level moves with it (-21 dBFS at 0 dB, the peaks at -18 dBFS; at +6 dB the
# encoded file still fits in 24 bits). With --recorded the gain is applied before the encoder
# instead, as a louder or quieter recording on a tape whose Dolby level stays at -21 dBFS. The
# kinds:
#   speech      espeak-ng (Debian package espeak-ng), 22.05 kHz raised to 44.1 kHz
#   music       orchestral game music, "Frontiers" from Advanced Strategic Command (Debian package
#               asc-music, GPL-2+), an MP3 at 22.05 kHz read through libsndfile and raised
#   tones       a 400 Hz tone at Dolby level, a sweep and treble chords (scripts/dolby_corpus_material.py)
#   bright      cymbal-like noise over a quiet bass line (generated)
#   quiet_loud  a quiet acoustic passage for 10 s, then a loud, dense one (generated)
# It installs nothing: it says what is missing. The tools come from the build folder
# $VARNOLT_BUILD (default build): varnolt_corpus_excerpt and varnolt_dolby_encode.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
recorded=0
if [ "${1:-}" = --recorded ]; then recorded=1; shift; fi
out=${1:-$repo/out/dolby-corpus}
build=${VARNOLT_BUILD:-$repo/build}
excerpt=$build/tools/dolby_encoder/varnolt_corpus_excerpt
encode=$build/tools/dolby_encoder/varnolt_dolby_encode
soundtrack=/usr/share/games/asc/music/frontiers.mp3
levels=(-12 -6 0 +6)
seconds=20
peak_dbfs=-18
reference_dbfs=-21
# The tones are made at levels relative to Dolby level at -15 dBFS (dolby_corpus_material.py).
tones_gain_db=$((reference_dbfs + 15))

missing=()
command -v espeak-ng > /dev/null || missing+=("espeak-ng (apt-get install espeak-ng)")
command -v python3 > /dev/null || missing+=("python3 (apt-get install python3)")
[ -r "$soundtrack" ] || missing+=("$soundtrack (apt-get install asc-music)")
for tool in "$excerpt" "$encode"; do
  [ -x "$tool" ] || missing+=("$tool (ninja -C $build $(basename "$tool"))")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "make_dolby_corpus.sh: missing:" >&2
  printf '  %s\n' "${missing[@]}" >&2
  exit 1
fi

started=$(date +%s)
mkdir -p "$out"
material=$(mktemp -d)
trap 'rm -rf "$material"' EXIT

# The material at a transfer level of 0 dB, 32-bit floating point.
espeak-ng -v en-gb -s 155 -w "$material/speech_22k.wav" \
  "The tape had lain in a drawer for thirty years. When it was finally played again, the voices \
came back clear, but the hiss was there too, a soft wash of noise above everything. Restoring a \
cassette is a patient job. First the level has to be right, then the azimuth, then the noise \
reduction that the recorder used. A tape made with Dolby B sounds bright and thin when it is \
played without the decoder: the quiet treble was lifted on the way in, and nothing takes it down \
again on the way out. Set the decoder too high and the sound turns dull; set it too low and it \
stays bright. Seven, eight, nine, ten."
"$excerpt" --rate 44100 --start 0.3 --length $seconds --peak $peak_dbfs \
  "$material/speech_22k.wav" "$material/speech.wav"
"$excerpt" --rate 44100 --start 40 --length $seconds --peak $peak_dbfs \
  "$soundtrack" "$material/music.wav"
python3 "$repo/scripts/dolby_corpus_material.py" tones "$material/tones_raw.wav"
"$excerpt" --gain $tones_gain_db --bits 32 "$material/tones_raw.wav" "$material/tones.wav"
for kind in bright quiet_loud; do
  python3 "$repo/scripts/dolby_corpus_material.py" $kind "$material/${kind}_raw.wav"
  "$excerpt" --peak $peak_dbfs "$material/${kind}_raw.wav" "$material/$kind.wav"
done

how=$([ $recorded = 1 ] && echo "recorded at" || echo "digitised at")
echo "Dolby B corpus in $out ($seconds s, 44.1 kHz, stereo, 24-bit; Dolby level $reference_dbfs dBFS at 0 dB; $how each level):"
for kind in speech music tones bright quiet_loud; do
  if [ $recorded = 0 ]; then
    "$encode" --reference-level $reference_dbfs --bits 32 "$material/$kind.wav" \
      "$material/${kind}_encoded.wav"
  fi
  for level in "${levels[@]}"; do
    clean=$out/${kind}_${level}_clean.wav
    encoded=$out/${kind}_${level}_encoded.wav
    "$excerpt" --gain "$level" --bits 24 "$material/$kind.wav" "$clean"
    if [ $recorded = 1 ]; then
      "$encode" --reference-level $reference_dbfs --bits 24 "$clean" "$encoded"
    else
      "$excerpt" --gain "$level" --bits 24 "$material/${kind}_encoded.wav" "$encoded"
    fi
  done
  echo "  $kind at ${levels[*]} dB: ${kind}_LEVEL_clean.wav, ${kind}_LEVEL_encoded.wav"
done
echo "$(find "$out" -name '*.wav' | wc -l) files, $(du -sh "$out" | cut -f1), $(($(date +%s) - started)) s"
