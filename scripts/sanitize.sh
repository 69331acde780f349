#!/usr/bin/env bash
# Builds the native tree with clang under AddressSanitizer and UndefinedBehaviorSanitizer (with
# float-cast-overflow, which -fsanitize=undefined leaves out: a NaN or an overflow converted to
# an int is exactly what a bad settings value causes), runs the unit and tool tests there, and
# runs each libFuzzer target for a while.
#   sanitize.sh [SECONDS]   seconds per fuzz target (default 60; 0 skips fuzzing)
# Every sanitizer report ends the program with an error, so a report fails the run.
#
# OpenMP under clang comes from libomp (libomp-14-dev): the loops stay parallel as in the
# player, so the sanitizers see the same code the DLL runs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=build-sanitize

flags="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all"
flags="$flags -fsanitize=fuzzer-no-link -fno-omit-frame-pointer"
# The benchmarks are not run here: they are not built either.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
      -DVARNOLT_FUZZ=ON -DVARNOLT_BENCH=OFF >/dev/null
cmake --build "$dir" -j2

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# What the sanitizers look for (memory and undefined behaviour) one case of each equivalence table
# finds as well as all of them: the others run the same code with other numbers, and are held bit
# for bit to the reference in the native run. The other tests left out here repeat the native run
# without reaching code of their own: the stream's memory measured under AddressSanitizer's
# allocator says nothing, and the kill-during-saves run checks the files a process leaves, not
# its memory. Under the sanitizers these took over half of the run's time.
repeats='Equivalence|ALongFileTakesNoMoreMemoryThanAShortOne|long_run\.kill_during_saves'
# The golden output's bits are the GCC build's; this build is clang's.
gcc_only='GoldenOutput'
(cd "$dir" && ctest --output-on-failure -j2 -E "$repeats|$gcc_only" &&
   ctest --output-on-failure -j2 -R 'TapeEquivalence.*/EveryStage$|StereoEquivalence.*/AzimuthAndFm$')

[ "$seconds" -gt 0 ] || exit 0
# The settings target writes two files per execution: on a memory file system where there is one.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
for target in settings_loader sample_path; do
  # New inputs go to the build folder; the seeds in the repository stay as they are.
  work="$dir/fuzz-corpus/$target"
  log="$dir/fuzz-corpus/$target.log"
  mkdir -p "$work"
  echo "fuzzing $target for $seconds s"
  rc=0
  "$dir/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
      -timeout=60 -rss_limit_mb=2048 -artifact_prefix="$dir/fuzz-corpus/$target-" \
      "$work" "fuzz/corpus/$target" >"$log" 2>&1 || rc=$?
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::|ERROR|runtime error|after the' "$log" || true
  if [ "$rc" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzzing $target found a failure (log: $log)"
    exit 1
  fi
done
