// The command-line tool as a user runs it: files in, files out, one-line errors.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"

namespace varnolt::testing {
namespace {

struct Result {
    int exit_code;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

class Cli : public ::testing::Test {
  protected:
    Result run(const std::string& args) {
        const std::string out = dir.file("stdout"), err = dir.file("stderr");
        const std::string command =
            "cd " + quoted(dir.path()) + " && env USERPROFILE=" + quoted(dir.path()) + " " +
            quoted(VARNOLT_CLI) + " " + args + " >" + quoted(out) + " 2>" + quoted(err);
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(out), read_text(err)};
    }

    void write_wav(const std::string& name, int format, const std::vector<short>& samples,
                   int channels = 2) {
        SF_INFO info = {};
        info.format = format;
        info.channels = channels;
        info.samplerate = 44100;
        SNDFILE* f = sf_open(dir.file(name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        sf_write_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(f);
    }

    std::vector<short> read_wav(const std::string& name, SF_INFO& info) {
        info = {};
        SNDFILE* f = sf_open(dir.file(name).c_str(), SFM_READ, &info);
        if (!f) return {};
        std::vector<short> samples(static_cast<std::size_t>(info.frames) * info.channels);
        sf_read_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(f);
        return samples;
    }

    static std::vector<short> ramp(int count) {
        std::vector<short> s;
        for (int n = 0; n < count; ++n) s.push_back(static_cast<short>(8000 * std::sin(n * 0.013)));
        return s;
    }

    static bool one_line(const std::string& text) {
        return !text.empty() && text.find('\n') == text.size() - 1;
    }

    ScratchDir dir;
};

TEST_F(Cli, RestoresAFileInItsOwnFormatWithoutWritingSettings) {
    const std::vector<short> input = ramp(2 * 12000);
    write_wav("in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, input);
    write_text(dir.file("quiet.vnt"), "[Common]\nPost amplifier=0.5\n[Bias]\nEnabled=0\n");
    Result r = run("in.wav out.wav --settings quiet.vnt");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    SF_INFO info;
    const std::vector<short> output = read_wav("out.wav", info);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.channels, 2);
    ASSERT_EQ(output.size(), input.size());
    // With "Bias" off only the stereo processor runs (its azimuth correction is on at every
    // start); the tool takes its delay out, so the output lines up with the input at half level.
    // (The last few frames meet the silence the tool appends, where the signal is cut off.)
    for (std::size_t i = 2 * 2048; i + 256 < input.size(); ++i)
        ASSERT_LE(std::abs(output[i] - input[i] * 0.5), 0.01 * 8000) << i;
    Result kept = run("in.wav late.wav --settings quiet.vnt --keep-latency");
    ASSERT_EQ(kept.exit_code, 0) << kept.err;
    const std::vector<short> late = read_wav("late.wav", info);
    ASSERT_EQ(late.size(), input.size());
    for (std::size_t i = 4 * 2048; i < input.size(); ++i)
        ASSERT_LE(std::abs(late[i] - input[i - 2 * 2048] * 0.5), 0.01 * 8000) << i;
    EXPECT_FALSE(file_exists(dir.file("dsp_varnolt.ini"))) << "the hidden module saves nothing";
}

TEST_F(Cli, FilesWithMoreThanTwoChannelsLineUpWithTheirInput) {
    // A burst at frame 20000 in channel 0 comes out at frame 20000 in channel 0 whatever the
    // channel count: the chain takes the samples in file order, left and right in turn.
    constexpr int k_frames = 40000, k_burst = 20000;
    for (int channels : {3, 4, 8}) {
        std::vector<short> input(static_cast<std::size_t>(k_frames) * channels, 0);
        for (int n = k_burst; n < k_burst + 400; ++n)
            input[static_cast<std::size_t>(n) * channels] =
                static_cast<short>(10000 * std::sin(2 * M_PI * 1000.0 * (n - k_burst) / 44100));
        const std::string in = "in" + std::to_string(channels) + ".wav";
        const std::string out = "out" + std::to_string(channels) + ".wav";
        write_wav(in, SF_FORMAT_WAV | SF_FORMAT_PCM_16, input, channels);
        Result r = run(in + " " + out);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        SF_INFO info;
        const std::vector<short> output = read_wav(out, info);
        ASSERT_EQ(output.size(), input.size()) << channels;
        int onset = -1;
        double elsewhere = 0.0;
        for (int n = 0; n < k_frames; ++n)
            for (int c = 0; c < channels; ++c) {
                const short v = output[static_cast<std::size_t>(n) * channels + c];
                if (c == 0 && onset < 0 && std::abs(v) > 2000) onset = n;
                if (c != 0) elsewhere = std::max(elsewhere, std::fabs(v));
            }
        EXPECT_NEAR(onset, k_burst, 10) << channels << " channels";
        // With an odd count a channel is the chain's left side in one frame and its right side
        // in the next, so the processing mixes a little into the others; with an even count
        // each channel keeps its side.
        if (channels % 2 == 0) {
            EXPECT_LT(elsewhere, 200.0) << channels << " channels: the burst stays in its channel";
        }
    }
}

TEST_F(Cli, TheEndOfAFileWithAnOddChannelCountIsRestoredToo) {
    // The delay is no whole number of frames with three channels: the last samples must still
    // be played through, not left as the silence appended for the delay. (Where the recording
    // stops the processing meets that silence, so the last samples are near, not equal to,
    // the input.)
    const double step = 2 * M_PI * 1000.0 / 44100;
    int frames = 20000;
    while (std::fabs(std::sin(step * (frames - 1))) < 0.95) ++frames;
    std::vector<short> input;
    for (int n = 0; n < frames; ++n)
        for (int c = 0; c < 3; ++c) input.push_back(static_cast<short>(8000 * std::sin(step * n)));
    write_wav("odd.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, input, 3);
    Result r = run("odd.wav restored.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    SF_INFO info;
    const std::vector<short> output = read_wav("restored.wav", info);
    ASSERT_EQ(output.size(), input.size());
    for (std::size_t i = output.size() - 3; i < output.size(); ++i)
        EXPECT_GT(output[i] * (input[i] > 0 ? 1 : -1), 0.5 * std::abs(input[i])) << i;
}

TEST_F(Cli, NeverOverwritesItsInput) {
    write_wav("in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, ramp(200));
    const std::string before = read_text(dir.file("in.wav"));
    for (const char* out : {"in.wav", "./in.wav"}) {
        Result r = run(std::string("in.wav ") + out);
        EXPECT_NE(r.exit_code, 0) << out;
        EXPECT_TRUE(one_line(r.err)) << r.err;
        EXPECT_NE(r.err.find("overwrite"), std::string::npos) << r.err;
    }
    EXPECT_EQ(read_text(dir.file("in.wav")), before);
}

TEST_F(Cli, BadInputGetsAOneLineErrorAndNoOutput) {
    write_wav("float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, ramp(200));
    write_text(dir.file("text.wav"), "not audio at all");
    const struct {
        const char* args;
        const char* says;
    } cases[] = {
        {"missing.wav out.wav", "cannot read"},
        {"float.wav out.wav", "integer PCM"},
        {"text.wav out.wav", "cannot read"},
        {"float.wav out.wav --settings none.vnt", "settings"},
    };
    for (const auto& c : cases) {
        Result r = run(c.args);
        EXPECT_NE(r.exit_code, 0) << c.args;
        EXPECT_TRUE(one_line(r.err)) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
        EXPECT_FALSE(file_exists(dir.file("out.wav"))) << c.args;
    }
}

TEST_F(Cli, MonoAndEightBitFilesKeepTheirLayout) {
    write_wav("mono8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, ramp(3000), 1);
    Result r = run("mono8.wav out8.wav --block 100");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    SF_INFO info;
    EXPECT_EQ(read_wav("out8.wav", info).size(), 3000u);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
    EXPECT_EQ(info.channels, 1);
}

}  // namespace
}  // namespace varnolt::testing
