#!/usr/bin/env bash
# How well the Dolby B remover undoes our test encoder at each "PC Recording Volume", on the corpus
# of scripts/make_dolby_corpus.sh: every NAME_LEVEL_encoded.wav is restored with only the remover
# on (bias equaliser and azimuth correction off) at each value below, and its 1-16 kHz octave
# bands are compared with NAME_LEVEL_clean.wav (varnolt_band_error; the measures are defined in
# tools/dolby_encoder/octave_bands.h). For quiet_loud the quiet (0-10 s) and the loud (10-20 s)
# passage get rows of their own, measured on the same restorations.
#
#   dolby_level_sweep.sh [CORPUS]        (default out/dolby-corpus)
#
# Each cell is "band error dB / mean band level difference dB"; the best value is the one of
# least band error. The tools come from $VARNOLT_BUILD (default build).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:-$repo/out/dolby-corpus}
build=${VARNOLT_BUILD:-$repo/build}
varnolt=$build/varnolt
band_error=$build/tools/dolby_encoder/varnolt_band_error
values=(0.25 0.35 0.5 0.7 1 1.4 2 2.8 4 5)  # 5 is the slider's maximum
for tool in "$varnolt" "$band_error"; do
  [ -x "$tool" ] || { echo "dolby_level_sweep.sh: $tool is missing (ninja -C $build)" >&2; exit 1; }
done
shopt -s nullglob
cleans=("$corpus"/*_clean.wav)
[ ${#cleans[@]} -gt 0 ] || { echo "dolby_level_sweep.sh: no *_clean.wav in $corpus" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
started=$(date +%s)

restore() {  # encoded value out
  if ! "$varnolt" -q --azimuth off --set "Dolby B Remover/Enabled=1" --set "Bias/Enabled=0" \
       --set "Dolby B Remover/PC Recording Volume=$2" "$1" "$3" 2> "$work/stderr"; then
    echo "dolby_level_sweep.sh: varnolt failed on $1 at $2:" >&2
    cat "$work/stderr" >&2
    exit 1
  fi
}

# One row: item, the undecoded error, the error at 1 and the best value's; from "error level"
# pairs in files named by value.
row() {  # item passage-options...
  local item=$1; shift
  local undecoded at_default best_v="" best_e="" best_cell="" e cell
  read -r e l <<< "$("$band_error" --terse "$@" "$clean" "$encoded")"
  undecoded="$e / $l"
  for v in "${values[@]}"; do
    read -r e l <<< "$("$band_error" --terse "$@" "$clean" "$work/restored_$v.wav")"
    cell="$e / $l"
    [ "$v" = 1 ] && at_default=$cell
    if [ -z "$best_e" ] || awk "BEGIN { exit !($e < $best_e) }"; then
      best_e=$e; best_v=$v; best_cell=$cell
    fi
  done
  printf '| %-24s | %-15s | %-15s | %-15s | %-4s |\n' "$item" "$undecoded" "$at_default" \
    "$best_cell" "$best_v"
}

echo "Band error of the 1-16 kHz octave bands against the clean recording, dB / mean level difference, dB"
printf '| %-24s | %-15s | %-15s | %-15s | %-4s |\n' item undecoded "at 1 (default)" "at the best" best
printf '|%s|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..26})" "$(printf -- '-%.0s' {1..17})" \
  "$(printf -- '-%.0s' {1..17})" "$(printf -- '-%.0s' {1..17})" "$(printf -- '-%.0s' {1..6})"
for kind in speech music tones bright quiet_loud; do
  for level in -12 -6 0 +6; do
    clean=$corpus/${kind}_${level}_clean.wav
    encoded=$corpus/${kind}_${level}_encoded.wav
    [ -r "$clean" ] && [ -r "$encoded" ] || continue
    for v in "${values[@]}"; do restore "$encoded" "$v" "$work/restored_$v.wav"; done
    row "${kind} ${level} dB"
    if [ "$kind" = quiet_loud ]; then
      row "  quiet passage 0-10 s" --to 10
      row "  loud passage 10-20 s" --from 10
    fi
  done
done
echo "values swept: ${values[*]}; $(($(date +%s) - started)) s"
