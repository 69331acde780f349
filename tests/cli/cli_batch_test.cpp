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
}

// The files of a batch run on threads at once in one process, each through instances of its
// own: every output and every report is what the file gets alone.
TEST_F(Cli, FilesRestoredAtOnceOnThreadsComeOutAsEachAlone) {
    const std::vector<std::string> names = {"a.wav", "b.wav", "c.wav", "d.wav"};
    write_sound("a.wav", varied(30000, 2, 44100, 1));
    write_sound("b.wav", varied(20000, 1, 48000, 2));
    write_sound("c.wav", varied(25000, 2, 96000, 3, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
    write_sound("d.wav", varied(35000, 2, 44100, 4, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
    for (const std::string& name : names) {
        const Result alone = run(std::string(k_every_stage) + "--report -o alone " + name);
        ASSERT_EQ(alone.exit_code, 0) << alone.err;
    }
    const Result together =
        run(std::string(k_every_stage) + "--report -j 4 -o together a.wav b.wav c.wav d.wav");
    ASSERT_EQ(together.exit_code, 0) << together.err;
    EXPECT_EQ(line_count(together.out), 4) << together.out;
    for (const std::string& name : names) {
        // The samples, not the bytes: a float file's header carries the time it was written.
        const Sound a = read_sound("alone/" + name), t = read_sound("together/" + name);
        EXPECT_GT(a.frames(), 0) << name;
        EXPECT_TRUE(a.samples == t.samples) << name;
        const std::string report = name.substr(0, 1) + ".png";
        const std::string picture = read_text(dir.file("alone/" + report));
        EXPECT_GT(picture.size(), 1000u) << report;
        EXPECT_TRUE(read_text(dir.file("together/" + report)) == picture) << report;
    }
}

// The copies of the program that once ran a batch's files took two hidden options; there are
// no copies now, and no hidden options.
TEST_F(Cli, ThereAreNoHiddenBatchOptions) {
    write_sound("a.wav", tone(4410));
    for (const char* option : {"--batch-item=0", "--batch-status=status"}) {
        const Result r = run(std::string(option) + " a.wav out.wav");
        EXPECT_EQ(r.exit_code, 2) << option;
        EXPECT_TRUE(one_line(r.err)) << r.err;
        EXPECT_FALSE(file_exists(dir.file("out.wav"))) << option;
    }
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
