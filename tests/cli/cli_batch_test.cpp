// Several files at once, the summary lines and the progress bar.

#include <filesystem>

#include "cli_fixture.h"

namespace varnolt::testing {
namespace {

bool any_partial_file(const std::string& folder) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.path().string().find(".partial") != std::string::npos) return true;
    return false;
}

TEST_F(Cli, ABatchWithOneBadFileRestoresTheOthers) {
    const Sound input = tone(9000);
    write_sound("a.wav", input);
    write_text(dir.file("bad.wav"), "RIFF but not really");
    write_sound("c.flac", [&] {
        Sound s = input;
        s.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        return s;
    }());
    Result r = run("-j 2 -o restored a.wav bad.wav c.flac missing.wav");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(read_sound("restored/a.wav").frames(), input.frames());
    EXPECT_EQ(read_sound("restored/c.flac").frames(), input.frames());
    EXPECT_FALSE(file_exists(dir.file("restored/bad.wav")));
    EXPECT_FALSE(file_exists(dir.file("restored/missing.wav")));
    EXPECT_FALSE(any_partial_file(dir.path()));
    EXPECT_EQ(line_count(r.err), 2) << r.err;
    EXPECT_NE(r.err.find("varnolt: bad.wav: cannot read"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("varnolt: missing.wav: cannot read"), std::string::npos) << r.err;
    EXPECT_EQ(line_count(r.out), 2) << r.out;
}

// "--" is how a name starting with "-" is given. The batch's workers got their own options
// after it, took them for files and each started a batch of its own, without end.
TEST_F(Cli, ABatchAfterADoubleDashRestoresEachFileOnce) {
    write_sound("a.wav", tone(4410));
    write_sound("-b.wav", tone(4410));
    const Result r = run("-o out -j 2 -- a.wav -b.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(line_count(r.out), 2) << r.out;
    EXPECT_EQ(read_sound("out/a.wav").frames(), 4410);
    EXPECT_EQ(read_sound("out/-b.wav").frames(), 4410);
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("out"))) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 2u) << "nothing but the two outputs";

    // A worker is never a batch, whatever its command line says.
    const Result worker = run("-o again -- a.wav -b.wav", "VARNOLT_BATCH_WORKER=1");
    EXPECT_EQ(worker.exit_code, 2);
    EXPECT_TRUE(one_line(worker.err)) << worker.err;
    EXPECT_NE(worker.err.find("starts no batch"), std::string::npos) << worker.err;
    EXPECT_FALSE(file_exists(dir.file("again/a.wav")));
}

TEST_F(Cli, EveryFileGetsOneSummaryLineAndNoProgressOffATerminal) {
    write_sound("a.wav", tone(44100));
    write_sound("b.wav", tone(22050, 1));
    Result r = run("-o out a.wav b.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "") << "no progress bar when the output is not a terminal";
    ASSERT_EQ(line_count(r.out), 2) << r.out;
    for (const char* name : {"a.wav -> out/a.wav: 1.0 s", "b.wav -> out/b.wav: 0.5 s"})
        EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
    for (const char* part : {"x realtime", "peak in -", "dBFS, out -", " \u00b5m at the end"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << " in " << r.out;
    Result off = run("--azimuth off a.wav off.wav");
    EXPECT_NE(off.out.find("azimuth correction off"), std::string::npos) << off.out;
    Result quiet = run("-q -o out2 a.wav b.wav");
    EXPECT_EQ(quiet.exit_code, 0);
    EXPECT_EQ(quiet.out + quiet.err, "");
}

TEST_F(Cli, OutputsThatWouldCollideAreRefused) {
    std::filesystem::create_directories(dir.file("x"));
    write_sound("a.wav", tone(3000));
    write_sound("x/a.wav", tone(3000));
    Result r = run("-o out a.wav x/a.wav");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("already the output of a.wav"), std::string::npos) << r.err;
    EXPECT_TRUE(file_exists(dir.file("out/a.wav")));
}

TEST_F(Cli, AProgressBarOnATerminal) {
    if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1)";
    write_sound("a.wav", tone(44100 * 20));
    // script(1) gives the tool a terminal and keeps what it drew.
    Result r = run("a.wav out.wav 2>&1 | cat; script -qec \"" + std::string(VARNOLT_CLI) +
                   " a.wav tty.wav\" /dev/null");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("% "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("x realtime"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" left "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("a.wav -> tty.wav"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace varnolt::testing
