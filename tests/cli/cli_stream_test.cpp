// The tool streams: a recording of any length is read, restored and written a block at a time,
// so its memory does not grow with the file. Measured here on the tool as the user runs it.

#include <sys/resource.h>
#include <sys/types.h>
#include <unistd.h>

#include <cmath>
#include <vector>

#include "cli_fixture.h"

namespace varnolt::testing {
namespace {

constexpr int k_rate = 44100;

class CliStream : public Cli {
  protected:
    // A stereo 16-bit WAV of `seconds`, generated and written a piece at a time.
    void write_long_tone(const std::string& name, double seconds) {
        SF_INFO info = {};
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        info.channels = 2;
        info.samplerate = k_rate;
        SNDFILE* f = sf_open(dir.file(name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        const long long frames = static_cast<long long>(seconds * k_rate);
        std::vector<double> piece(2 * 4096);
        for (long long done = 0; done < frames;) {
            const long long n = std::min<long long>(4096, frames - done);
            for (long long i = 0; i < n; ++i) {
                piece[2 * i] = 0.3 * std::sin((done + i) * 0.031);
                piece[2 * i + 1] = 0.25 * std::sin((done + i) * 0.047);
            }
            sf_writef_double(f, piece.data(), n);
            done += n;
        }
        sf_close(f);
    }

    // Runs the tool on its own and returns its peak resident memory in kilobytes (-1 when it
    // failed).
    long peak_kilobytes(const std::vector<std::string>& args) {
        const pid_t child = fork();
        if (child == 0) {
            if (chdir(dir.path().c_str()) != 0) _exit(127);
            std::vector<char*> argv{const_cast<char*>(VARNOLT_CLI), const_cast<char*>("-q")};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(VARNOLT_CLI, argv.data());
            _exit(127);
        }
        int status = 0;
        rusage usage = {};
        if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            return -1;
        return usage.ru_maxrss;
    }
};

// Holding the file would take 14 bytes a sample, about 150 MB for these three minutes; a
// stream takes the same few megabytes for 5 seconds and for 3 minutes, report or not.
TEST_F(CliStream, ALongFileTakesNoMoreMemoryThanAShortOne) {
    write_long_tone("short.wav", 5.0);
    write_long_tone("long.wav", 180.0);
    for (const bool report : {false, true}) {
        std::vector<std::string> extra;
        if (report) extra = {"--report", "r.png"};
        auto with = [&](const char* in, const char* out) {
            std::vector<std::string> args = extra;
            args.push_back(in);
            args.push_back(out);
            return args;
        };
        const long short_peak = peak_kilobytes(with("short.wav", "short_out.wav"));
        const long long_peak = peak_kilobytes(with("long.wav", "long_out.wav"));
        ASSERT_GT(short_peak, 0);
        ASSERT_GT(long_peak, 0);
        EXPECT_LT(long_peak - short_peak, 4 * 1024)
            << "report " << report << ": " << short_peak << " kB for 5 s, " << long_peak
            << " kB for 3 min";
        // The whole of the long file came through.
        const Sound out = read_sound("long_out.wav");
        EXPECT_EQ(out.frames(), static_cast<long long>(180.0 * k_rate));
    }
}

}  // namespace
}  // namespace varnolt::testing
