#pragma once
// The command-line tool as a user runs it: a scratch folder that is both the current directory
// and the profile folder, files written and read with libsndfile, and the exit code, standard
// output and standard error of each run.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"

namespace varnolt::testing {

struct Result {
    int exit_code;
    std::string out;
    std::string err;
};

struct Sound {
    int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    int channels = 2;
    int rate = 44100;
    std::vector<double> samples;  // interleaved, full scale 1.0

    long long frames() const { return channels ? samples.size() / channels : 0; }
    double at(long long frame, int channel) const { return samples[frame * channels + channel]; }
};

inline std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

inline bool one_line(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

inline int line_count(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

constexpr double k_two_pi = 6.283185307179586;

// Every stage on, so that state one file left in another's processing would be heard.
inline const char* const k_every_stage =
    "--set \"Dolby B Remover/Enabled=1\" --set \"Dolby B Remover/PC Recording Volume=3\" "
    "--set \"FM stereo noise filter/Enabled=1\" --set \"Singleband Compressor/Enabled=1\" ";

class Cli : public ::testing::Test {
  protected:
    // `environment`: more NAME=value words for env(1); `before`: a shell command run first in
    // the same shell (umask 077).
    Result run(const std::string& args, const std::string& environment = "",
               const std::string& before = "") {
        const std::string out = dir.file("stdout"), err = dir.file("stderr");
        const std::string command =
            "cd " + quoted(dir.path()) + " && " + (before.empty() ? "" : before + " && ") +
            "env USERPROFILE=" + quoted(dir.path()) + " " + environment + " " +
            quoted(VARNOLT_CLI) + " " + args + " >" + quoted(out) + " 2>" + quoted(err);
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(out), read_text(err)};
    }

    // A bash script run in the scratch folder (pipelines, traps); its own output is returned.
    Result run_script(const std::string& script) {
        const std::string out = dir.file("script.out"), err = dir.file("script.err");
        write_text(dir.file("script.sh"), script + "\n");
        const std::string command = "cd " + quoted(dir.path()) +
                                    " && USERPROFILE=" + quoted(dir.path()) + " bash script.sh >" +
                                    quoted(out) + " 2>" + quoted(err);
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(out), read_text(err)};
    }

    void write_sound(const std::string& name, const Sound& s) {
        SF_INFO info = {};
        info.format = s.format;
        info.channels = s.channels;
        info.samplerate = s.rate;
        SNDFILE* f = sf_open(dir.file(name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << name << ": " << sf_strerror(nullptr);
        sf_writef_double(f, s.samples.data(), s.frames());
        sf_close(f);
    }

    // Empty samples when the file cannot be read.
    Sound read_sound(const std::string& name) {
        Sound s;
        SF_INFO info = {};
        SNDFILE* f = sf_open(dir.file(name).c_str(), SFM_READ, &info);
        if (!f) return Sound{0, 0, 0, {}};
        s.format = info.format;
        s.channels = info.channels;
        s.rate = info.samplerate;
        s.samples.resize(static_cast<std::size_t>(info.frames) * info.channels);
        sf_readf_double(f, s.samples.data(), info.frames);
        sf_close(f);
        return s;
    }

    // A sine of `level` at 0.013 radians per frame, each further channel a little quieter.
    static Sound tone(int frames, int channels = 2, double level = 0.25,
                      int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16) {
        Sound s;
        s.format = format;
        s.channels = channels;
        for (int n = 0; n < frames; ++n)
            for (int c = 0; c < channels; ++c)
                s.samples.push_back((level - 0.02 * c) * std::sin(n * 0.013));
        return s;
    }

    // Music-like material that differs from file to file: two partials whose pitch depends on
    // `seed`, a level that swells, and a little noise, each channel with its own mix.
    static Sound varied(int frames, int channels, int rate, unsigned seed,
                        int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16) {
        Sound s;
        s.format = format;
        s.channels = channels;
        s.rate = rate;
        unsigned noise = seed * 2654435761u + 1u;
        const double f1 = 180.0 + 37.0 * seed, f2 = 2300.0 + 410.0 * seed;
        for (int n = 0; n < frames; ++n) {
            const double t = static_cast<double>(n) / rate;
            const double swell = 0.3 + 0.2 * std::sin(k_two_pi * 0.7 * t);
            for (int c = 0; c < channels; ++c) {
                noise = noise * 1664525u + 1013904223u;
                const double hiss = ((noise >> 8) / 16777216.0 - 0.5) * 0.01;
                s.samples.push_back(swell * (0.6 * std::sin(k_two_pi * f1 * t + c) +
                                             0.2 * std::sin(k_two_pi * f2 * t * (1.0 + 0.01 * c))) +
                                    hiss);
            }
        }
        return s;
    }

    static double rms(const Sound& s, long long from, long long to, int channel) {
        double sum = 0.0;
        for (long long n = from; n < to; ++n) sum += s.at(n, channel) * s.at(n, channel);
        return std::sqrt(sum / static_cast<double>(to - from));
    }

    ScratchDir dir;
};

}  // namespace varnolt::testing
