// Cost of loading a settings file through our own INI reader, as Init does: every key of the
// table from a file that holds the plug-in's sections and, before them, a large section of
// another program (argument: its size in megabytes).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/parameters.h"
#include "settings/presets.h"
#include "settings/profile_store.h"

namespace {

void load_large_settings_file(benchmark::State& state) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "varnolt-bench-large.ini").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << "[Other program]\r\n";
        const long long target = state.range(0) * 1000000LL;
        for (long long i = 0, size = 0; size < target; ++i) {
            const std::string line = "entry " + std::to_string(i) + "=some value\r\n";
            out << line;
            size += static_cast<long long>(line.size());
        }
        out << "[Common]\r\nPost amplifier=0.5\r\n[Bias]\r\nEnabled=1\r\n";
    }
    varnolt::LiveParameters live;
    for (auto _ : state) {
        varnolt::profile_flush(path.c_str());  // as read for the first time
        varnolt::load_preset(live, path.c_str());
    }
    std::remove(path.c_str());
}
BENCHMARK(load_large_settings_file)->Arg(1)->Arg(9)->Unit(benchmark::kMillisecond);

}  // namespace
