#!/usr/bin/env bash
# The demo as the README runs it, in a scratch folder: the restored file must be closer to the
# clean version than the tape on every measure.
#   restored_is_closer.sh VARNOLT DEMO_TAPE DEMO_COMPARE SETTINGS
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$2" "$dir/clean.wav" "$dir/tape.wav"
"$1" -q --settings "$4" "$dir/tape.wav" "$dir/restored.wav"
"$3" "$dir/clean.wav" "$dir/tape.wav" "$dir/restored.wav" --check
