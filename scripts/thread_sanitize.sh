#!/usr/bin/env bash
# Builds the test of the playback and the window thread at once (tests/threads) and the tool with
# clang under ThreadSanitizer in build-tsan/, runs the test, and has the tool restore a batch of
# three files on three threads with every stage on and a report each. A data race between the
# threads is reported and fails the run; nothing of the plug-in's own code is suppressed.
#   thread_sanitize.sh [RUNS]   runs the test RUNS times (default 1): a race shows only when the
#                               threads happen to meet on it, so a few runs find more
#
# OpenMP under the sanitizer: Debian's libomp (libomp-14-dev) is not built with it, so the
# sanitizer cannot see the runtime's own synchronisation and would report races between the
# threads of a parallel region that are not there. The same package ships LLVM's Archer tool
# (libarcher.so), which hands that synchronisation to the sanitizer through the runtime's tool
# interface; with it the parallel loops run on two threads as in the player, and
# ignore_noninstrumented_modules keeps the accesses inside the runtime itself out of the reports.
# Where Archer is missing the loops run on one thread (OMP_NUM_THREADS=1 keeps them outside any
# parallel region, see src/processors/parallel_loop.h) and this script says so.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1}
dir=build-tsan

flags="-fsanitize=thread -fno-omit-frame-pointer"
# RelWithDebInfo with its flags replaced: -O1 -g keeps the stacks of the reports exact.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
      -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build "$dir" -j2 --target thread_contract_tests varnolt

# Archer comes with the compiler's own LLVM (clang++ is /usr/lib/llvm-14/bin/clang++).
llvm_lib=$(dirname "$(readlink -f "$(command -v clang++)")")/../lib
archer=$(readlink -f "$llvm_lib/libarcher.so" 2>/dev/null || true)
if [ -n "$archer" ] && [ -f "$archer" ]; then
  export OMP_TOOL_LIBRARIES="$archer" OMP_NUM_THREADS=2
  openmp_options=":ignore_noninstrumented_modules=1"
else
  echo "no libarcher.so beside clang++: the OpenMP loops run on one thread (OMP_NUM_THREADS=1)"
  export OMP_NUM_THREADS=1
  openmp_options=""
fi
# A report ends the run with exit code 66; a longer history keeps the stack of the earlier of the
# two accesses in the report.
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:history_size=4$openmp_options"

# The window thread rewrites the settings file at every control change: on a memory file system
# where there is one, so that the window keeps up with the playback thread.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

# The sanitizer of clang 14 cannot map its shadow memory under the address randomisation of
# newer kernels ("unexpected memory mapping"): the test runs without it where that may be asked.
run=("$dir/tests/threads/thread_contract_tests")
if setarch "$(uname -m)" -R true 2>/dev/null; then run=(setarch "$(uname -m)" -R "${run[@]}"); fi

for ((i = 1; i <= runs; ++i)); do
  if [ "$runs" -gt 1 ]; then echo "thread sanitizer run $i of $runs"; fi
  "${run[@]}"
done

# A batch on threads: stereo, mono at another rate, and five channels (two pairs and a mono
# channel), each file through instances of its own while the others run.
batch=$(mktemp -d)
trap 'rm -rf "$batch"' EXIT
python3 - "$batch" <<'PY'
import math, random, struct, sys, wave
def write(name, channels, rate, seconds, seed):
    rnd = random.Random(seed)
    out = wave.open(f"{sys.argv[1]}/{name}", "wb")
    out.setnchannels(channels); out.setsampwidth(2); out.setframerate(rate)
    samples = []
    for i in range(int(rate * seconds)):
        t = i / rate
        swell = 0.3 + 0.2 * math.sin(2 * math.pi * 0.7 * t)
        for c in range(channels):
            v = swell * (0.6 * math.sin(2 * math.pi * (200 + 50 * seed) * t + c)
                         + 0.2 * math.sin(2 * math.pi * (3000 + 500 * seed) * t))
            samples.append(int((v + rnd.uniform(-0.005, 0.005)) * 32767))
    out.writeframes(struct.pack(f"<{len(samples)}h", *samples))
write("a.wav", 2, 44100, 3, 1); write("b.wav", 1, 48000, 3, 2); write("c.wav", 5, 44100, 2, 3)
PY
tool=("$dir/varnolt")
if setarch "$(uname -m)" -R true 2>/dev/null; then tool=(setarch "$(uname -m)" -R "${tool[@]}"); fi
"${tool[@]}" -q -j 3 --report --set "Dolby B Remover/Enabled=1" \
  --set "FM stereo noise filter/Enabled=1" --set "Singleband Compressor/Enabled=1" \
  -o "$batch/out" "$batch/a.wav" "$batch/b.wav" "$batch/c.wav"
echo "thread sanitizer: a batch of three files on three threads ran without a report"
