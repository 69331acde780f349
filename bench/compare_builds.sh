#!/usr/bin/env bash
# Before and after on a shared machine: runs two builds' benchmark programs in alternation,
# run for run, so that a slow quarter of an hour weighs on both alike, and prints each
# benchmark's median CPU time for each build and their ratio.
#   bench/compare_builds.sh BEFORE_BENCH AFTER_BENCH [FILTER] [ROUNDS]
# FILTER is a --benchmark_filter regular expression (default: the whole-chain benchmarks);
# ROUNDS the number of runs of each (default 5).
set -euo pipefail
before=${1:?benchmark program before}
after=${2:?benchmark program after}
filter=${3:-'chain_path|modify_samples_16_bit_stereo|every_stage_on_stream/threads:1/rate:44100/busy:0'}
rounds=${4:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for round in $(seq 1 "$rounds"); do
  for side in before after; do
    program=$before; [ "$side" = after ] && program=$after
    "$program" --benchmark_filter="$filter" --benchmark_format=json \
      >"$work/$side.$round.json" 2>/dev/null
  done
done
python3 - "$work" "$rounds" <<'PY'
import json, statistics, sys
work, rounds = sys.argv[1], int(sys.argv[2])
times = {"before": {}, "after": {}}
for side in times:
    for r in range(1, rounds + 1):
        for b in json.load(open(f"{work}/{side}.{r}.json"))["benchmarks"]:
            if b.get("run_type", "iteration") != "iteration": continue
            times[side].setdefault(b["name"], []).append(b["cpu_time"])
unit = "us"
print(f"{'benchmark':60s} {'before':>12s} {'after':>12s} {'after/before':>13s}")
for name in times["before"]:
    if name not in times["after"]: continue
    b = statistics.median(times["before"][name]); a = statistics.median(times["after"][name])
    print(f"{name:60s} {b:12.1f} {a:12.1f} {a / b:13.3f}")
print(f"(medians of {rounds} alternated runs each, CPU time in the benchmarks' own units)")
PY
