// The command-line tool's Windows build under wine: the same restoration, batches in processes
// of their own, WAV in and out.

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "host_fixture.h"

namespace varnolt::testing {
namespace {

long long loudest_frame(const Recording& r, int channel) {
    long long best = 0;
    const long long frames = static_cast<long long>(r.samples.size()) / r.channels;
    for (long long n = 0; n < frames; ++n)
        if (std::abs(static_cast<long long>(r.samples[n * r.channels + channel])) >
            std::abs(static_cast<long long>(r.samples[best * r.channels + channel])))
            best = n;
    return best;
}

TEST_F(HostUnderWine, VarnoltExeRestoresInTimeAndRunsABatch) {
    constexpr long long k = 20000;
    Recording impulse;
    impulse.samples.assign(2 * 44100, 0);
    impulse.samples[2 * k] = impulse.samples[2 * k + 1] = 1 << 30;
    write_recording(dir.file("a.wav"), impulse);
    const HostRun one = run_windows_program("varnolt.exe", {win("a.wav"), win("out.wav")});
    ASSERT_EQ(one.exit_code, 0) << one.err;
    EXPECT_NE(one.out.find("realtime"), std::string::npos) << one.out;
    Recording out;
    ASSERT_TRUE(read_recording(dir.file("out.wav"), out));
    ASSERT_EQ(out.samples.size(), impulse.samples.size());
    EXPECT_EQ(loudest_frame(out, 0), k);
    EXPECT_EQ(loudest_frame(out, 1), k);

    write_recording(dir.file("b.wav"), tone(SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 22050, 30000));
    write_text(dir.file("bad.wav"), "no audio");
    const HostRun batch = run_windows_program(
        "varnolt.exe",
        {"-j", "2", "-o", win("restored"), win("a.wav"), win("bad.wav"), win("b.wav")});
    EXPECT_EQ(batch.exit_code, 1) << batch.err;
    EXPECT_NE(batch.err.find("bad.wav"), std::string::npos) << batch.err;
    Recording b;
    ASSERT_TRUE(read_recording(dir.file("restored/b.wav"), b)) << batch.out << batch.err;
    EXPECT_EQ(b.format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_EQ(b.samples.size(), 30000u);
    EXPECT_TRUE(file_exists(dir.file("restored/a.wav")));
    EXPECT_FALSE(file_exists(dir.file("restored/bad.wav")));
}

// A WAV cut short (its header promises a second, it holds half) fails, and with --keep-damaged
// the half it holds is restored, whole frames to the end.
TEST_F(HostUnderWine, VarnoltExeSaysAWavFileIsCutShort) {
    Recording second;
    second.samples.assign(2 * 44100, 1000);
    write_recording(dir.file("cut.wav"), second);
    std::filesystem::resize_file(dir.file("cut.wav"), 44 + 2 * 2 * 22050 + 1);
    const HostRun refused = run_windows_program("varnolt.exe", {win("cut.wav"), win("out.wav")});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("cut.wav: damaged: only 0.5 s of 1.0 s could be read"),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(file_exists(dir.file("out.wav")));

    const HostRun kept =
        run_windows_program("varnolt.exe", {"--keep-damaged", win("cut.wav"), win("out.wav")});
    ASSERT_EQ(kept.exit_code, 0) << kept.err;
    Recording out;
    ASSERT_TRUE(read_recording(dir.file("out.wav"), out));
    EXPECT_EQ(out.samples.size(), 2u * 22050);
}

// The Windows build draws no report (it has no PNG support): asked for one, it says so and
// restores nothing, rather than finish without the report.
TEST_F(HostUnderWine, VarnoltExeRefusesAReportItCannotDraw) {
    write_recording(dir.file("a.wav"), tone(SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 4410));
    const HostRun run = run_windows_program(
        "varnolt.exe", {"--report", win("a.png"), win("a.wav"), win("out.wav")});
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find("built without PNG support and draws no reports"), std::string::npos)
        << run.err;
    EXPECT_FALSE(file_exists(dir.file("out.wav")));
    EXPECT_FALSE(file_exists(dir.file("a.png")));
}

}  // namespace
}  // namespace varnolt::testing
