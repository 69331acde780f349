#!/usr/bin/env bash
# Both Dolby B decoders on the Dolby B corpus (scripts/make_dolby_corpus.sh), each item restored
# once at the Dolby level it was made with, with only the decoder on: the 1-16 kHz octave bands'
# error against the clean recording (varnolt_band_error), for the whole item and, for the quiet
# then loud item, for each passage. One Dolby level per tape, no search.
#
#   dolby_decoders_corpus.sh [--recorded] [CORPUS]        (default out/dolby-corpus)
#
# The digitised corpus has its Dolby level at -21 dBFS at a transfer level of 0 dB, moved by the
# transfer level; with --recorded (a corpus made with --recorded) it stays at -21 dBFS.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
recorded=0
if [ "${1:-}" = --recorded ]; then recorded=1; shift; fi
corpus=${1:-$repo/out/dolby-corpus}
build=${VARNOLT_BUILD:-$repo/build}
varnolt=$build/varnolt
band_error=$build/tools/dolby_encoder/varnolt_band_error
for tool in "$varnolt" "$band_error"; do
  [ -x "$tool" ] || { echo "dolby_decoders_corpus.sh: $tool is missing (ninja -C $build)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
started=$(date +%s)
# "PC Recording Volume" 1 stands for this Dolby level (src/level/dolby_level.h).
at_unity=$(sed -n 's/^constexpr double k_dolby_level_at_unity_dbfs = \(.*\);/\1/p' \
  "$repo/src/level/dolby_level.h")

restore() {  # encoded decoder(0 table, 1 standard) volume out
  "$varnolt" -q --azimuth off --set "Dolby B Remover/Enabled=1" --set "Bias/Enabled=0" \
    --set "Dolby B Remover/Standard decoder=$2" --set "Dolby B Remover/PC Recording Volume=$3" \
    "$1" "$4" 2> "$work/stderr" || { cat "$work/stderr" >&2; exit 1; }
}

error_of() {  # clean restored passage-options...
  local clean=$1 restored=$2; shift 2
  "$band_error" --terse "$@" "$clean" "$restored" | awk '{ print $1 }'
}

echo "Band error of the 1-16 kHz octave bands against the clean recording, dB (lower is better)"
echo
echo "| item | Dolby level | undecoded | table remover | standard decoder |"
echo "|---|---|---|---|---|"
for kind in speech music tones bright quiet_loud; do
  for level in -12 -6 0 +6; do
    clean=$corpus/${kind}_${level}_clean.wav
    encoded=$corpus/${kind}_${level}_encoded.wav
    [ -r "$clean" ] && [ -r "$encoded" ] || continue
    if [ $recorded = 1 ]; then dolby=-21; else dolby=$((-21 + level)); fi
    volume=$(awk "BEGIN { printf \"%.6f\", 10 ^ (($dolby - ($at_unity)) / 20) }")
    restore "$encoded" 0 "$volume" "$work/table.wav"
    restore "$encoded" 1 "$volume" "$work/standard.wav"
    passages=("whole:")
    [ "$kind" = quiet_loud ] && passages+=("quiet passage:--to 10" "loud passage:--from 10")
    for passage in "${passages[@]}"; do
      name=${passage%%:*}
      read -r -a options <<< "${passage#*:}"
      label="$kind $level dB"
      [ "$name" != whole ] && label="  $name"
      printf '| %s | %s dBFS | %s | %s | %s |\n' "$label" "$dolby" \
        "$(error_of "$clean" "$encoded" "${options[@]}")" \
        "$(error_of "$clean" "$work/table.wav" "${options[@]}")" \
        "$(error_of "$clean" "$work/standard.wav" "${options[@]}")"
    done
  done
done
echo
echo "($(( $(date +%s) - started )) s)"
