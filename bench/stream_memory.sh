#!/usr/bin/env bash
# Peak memory of the command-line tool against the length of the recording: stereo 24-bit
# recordings at 96 kHz of each length given (minutes; default 1 and 120) restored with the
# default stages, with and without --report, measured by /usr/bin/time -v. The tool streams, so
# the peak must not grow with the length.
#   bench/stream_memory.sh [BUILD_DIR] [MINUTES...]
# The files go to $TMPDIR (a two-hour pair takes about 8.3 GB) and are removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
lengths=("$@")
[ ${#lengths[@]} -gt 0 ] || lengths=(1 120)
tool=$build/varnolt
make=$build/bench/varnolt_long_recording
[ -x "$tool" ] && [ -x "$make" ] || {
  echo "build $tool and $make first (cmake --build $build --target varnolt varnolt_long_recording)" >&2
  exit 2
}
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-8s %-10s %-9s %-16s %-16s\n' minutes input run "peak RSS (MB)" "wall (s)"
for minutes in "${lengths[@]}"; do
  "$make" "$work/in.wav" "$minutes" 96000 24
  size=$(du -m "$work/in.wav" | cut -f1)
  for mode in plain report; do
    extra=()
    [ "$mode" = report ] && extra=(--report "$work/report.png")
    /usr/bin/time -v -o "$work/time.txt" "$tool" -q "${extra[@]}" "$work/in.wav" "$work/out.wav"
    peak=$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2 / 1024}' "$work/time.txt")
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); s = 0;
           for (i = 1; i <= n; ++i) s = s * 60 + t[i]; printf "%.0f", s}' "$work/time.txt")
    printf '%-8s %-10s %-9s %-16s %-16s\n' "$minutes" "${size} MB" "$mode" "$peak" "$wall"
    rm -f "$work/out.wav" "$work/report.png"
  done
  rm -f "$work/in.wav"
done
