#pragma once
// What the end-to-end tests share: recordings written and read with libsndfile, and a fixture
// that runs the stand-in host with the DLL in a scratch profile folder.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

#include "test_support.h"
#include "wine_runner.h"

namespace varnolt::testing {

struct Recording {
    int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    int channels = 2;
    int rate = 44100;
    std::vector<int> samples;  // left-aligned 32-bit, interleaved
};

inline void write_recording(const std::string& path, const Recording& r) {
    SF_INFO info = {};
    info.format = r.format;
    info.channels = r.channels;
    info.samplerate = r.rate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_writef_int(file, r.samples.data(), static_cast<sf_count_t>(r.samples.size() / r.channels));
    sf_close(file);
}

inline bool read_recording(const std::string& path, Recording& r) {
    SF_INFO info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return false;
    r.format = info.format;
    r.channels = info.channels;
    r.rate = info.samplerate;
    r.samples.resize(static_cast<std::size_t>(info.frames) * info.channels);
    sf_readf_int(file, r.samples.data(), info.frames);
    sf_close(file);
    return true;
}

// A sine at a quarter of full scale, in left-aligned 32-bit units; later channels carry it a
// little quieter, in phase, so the azimuth correction has nothing to correct.
inline Recording tone(int format, int channels, int rate, int frames) {
    Recording r;
    r.format = format;
    r.channels = channels;
    r.rate = rate;
    for (int n = 0; n < frames; ++n)
        for (int c = 0; c < channels; ++c)
            r.samples.push_back(
                static_cast<int>((0.25 - 0.05 * c) * 2147483647.0 * std::sin(0.02 * n)));
    return r;
}

// Interleaved samples the stereo processor delays a stereo stream by.
inline constexpr std::size_t k_stereo_delay = 4096;

class HostUnderWine : public ::testing::Test {
  protected:
    std::string profile() const { return windows_path(dir.path()); }
    std::string ini() const { return dir.file("dsp_varnolt.ini"); }
    std::string win(const std::string& name) const { return windows_path(dir.file(name)); }

    HostRun play(const std::string& module, const std::string& in, const std::string& out,
                 std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--profile", profile()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(plugin_dll() + ":" + module);
        if (!in.empty()) {
            args.push_back(win(in));
            args.push_back(win(out));
        }
        return run_vhost(args);
    }

    // Writes `recording` as in.wav, plays it through the module into out.wav, and reads back
    // the input as stored (quantised to its format) and the output.
    ::testing::AssertionResult play_through(const Recording& recording, const std::string& module,
                                            Recording& input, Recording& output) {
        write_recording(dir.file("in.wav"), recording);
        if (!read_recording(dir.file("in.wav"), input))
            return ::testing::AssertionFailure() << "no in.wav";
        const HostRun run = play(module, "in.wav", "out.wav");
        if (run.exit_code != 0) return ::testing::AssertionFailure() << "vhost failed: " << run.err;
        if (!read_recording(dir.file("out.wav"), output))
            return ::testing::AssertionFailure() << "no out.wav";
        if (output.samples.size() != input.samples.size())
            return ::testing::AssertionFailure()
                   << output.samples.size() << " samples out for " << input.samples.size();
        return ::testing::AssertionSuccess();
    }

    ScratchDir dir;
};

}  // namespace varnolt::testing
