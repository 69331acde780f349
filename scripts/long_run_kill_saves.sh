#!/usr/bin/env bash
# Kills a process in the middle of saving the settings file, again and again, and checks the
# file after every kill: never truncated or empty, every key holding a value one of the saves
# wrote.
#   long_run_kill_saves.sh [KILLS] [SAVER]   (1000 kills; build/tests/settings_saver)
set -euo pipefail
cd "$(dirname "$0")/.."
kills=${1:-1000}
saver=${2:-build/tests/settings_saver}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
ini="$dir/dsp_varnolt.ini"

"$saver" save-once "$ini"
damaged=0 smallest=999999 largest=0 leftovers=0
for ((i = 1; i <= kills; i++)); do
  "$saver" save-loop "$ini" &
  pid=$!
  # Somewhere between a few saves and a few dozen.
  sleep "0.$(printf '%03d' $((RANDOM % 60 + 5)))"
  kill -9 "$pid"
  wait "$pid" 2>/dev/null || true
  size=$(stat -c %s "$ini" 2>/dev/null || echo 0)
  ((size < smallest)) && smallest=$size
  ((size > largest)) && largest=$size
  [ -e "$ini.tmp" ] && leftovers=$((leftovers + 1))
  if ! "$saver" check "$ini" >"$dir/check.txt"; then
    damaged=$((damaged + 1))
    echo "after kill $i: $(cat "$dir/check.txt") (size $size)"
  fi
done
echo "long run: $kills kills during saves, $damaged damaged files, sizes $smallest..$largest bytes, a temporary copy left behind after $leftovers kills"
[ "$damaged" -eq 0 ]
