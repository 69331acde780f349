// What the tool leaves beside its outputs, and what an interrupted run leaves behind: nothing
// of its own, and every other file as it was.

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli_fixture.h"

extern char** environ;

namespace varnolt::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Whether any process still runs the tool with `marker` on its command line.
bool tool_still_running(const std::string& marker) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream in(entry.path() / "cmdline", std::ios::binary);
        std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (line.find(VARNOLT_CLI) != std::string::npos && line.find(marker) != std::string::npos)
            return true;
    }
    return false;
}

class CliOutputs : public Cli {
  protected:
    // Starts the tool in the scratch folder with TMPDIR there too, sends `signal_number` once it
    // has been running `after`, and returns its exit status.
    int run_and_signal(const std::string& args, int signal_number,
                       std::chrono::milliseconds after) {
        fs::create_directories(dir.file("tmp"));
        const std::string command = "cd '" + dir.path() + "' && exec env TMPDIR='" +
                                    dir.file("tmp") + "' '" + VARNOLT_CLI + "' " + args +
                                    " >/dev/null 2>'" + dir.file("stderr") + "'";
        const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            return -1;
        std::this_thread::sleep_for(after);
        kill(pid, signal_number);
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

TEST_F(CliOutputs, AFileBesideTheOutputIsNeverTouched) {
    write_sound("in.wav", tone(4000));
    // What an earlier tool's temporary name was: someone's file now.
    write_text(dir.file("out.wav.partial"), "keep me");
    const Result r = run("in.wav out.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(read_text(dir.file("out.wav.partial")), "keep me");
    EXPECT_EQ(read_sound("out.wav").frames(), 4000);
    EXPECT_EQ(
        names_in(dir.path()),
        (std::vector<std::string>{"in.wav", "out.wav", "out.wav.partial", "stderr", "stdout"}));
}

TEST_F(CliOutputs, AReadOnlyOutputIsRefusedAndKept) {
    write_sound("in.wav", tone(4000));
    write_text(dir.file("out.wav"), "the only copy");
    chmod(dir.file("out.wav").c_str(), 0444);
    const Result r = run("in.wav out.wav");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_NE(r.err.find("out.wav: cannot write: the file is read-only"), std::string::npos)
        << r.err;
    EXPECT_EQ(read_text(dir.file("out.wav")), "the only copy");
}

// Ctrl-C, SIGTERM or SIGHUP in the middle of a file: nothing half-made stays behind, and the
// exit status is the shell's 128 + the signal.
TEST_F(CliOutputs, AnInterruptedFileLeavesNothingAndExitsWithTheSignalsStatus) {
    write_sound("long.wav", tone(180 * 44100));  // three minutes: seconds of work
    const struct {
        int signal_number;
        int status;
    } cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
    for (const auto& c : cases) {
        const int status =
            run_and_signal("long.wav out.wav", c.signal_number, std::chrono::milliseconds(400));
        EXPECT_EQ(status, c.status) << c.signal_number;
        EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"long.wav", "stderr", "tmp"}))
            << c.signal_number;
        EXPECT_NE(read_text(dir.file("stderr")).find("long.wav: interrupted"), std::string::npos)
            << read_text(dir.file("stderr"));
    }
}

TEST_F(CliOutputs, AnInterruptedBatchStopsItsWorkersAndLeavesNothing) {
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) write_sound(name, tone(90 * 44100));
    const int status =
        run_and_signal("-j 2 -o out a.wav b.wav c.wav", SIGTERM, std::chrono::milliseconds(700));
    EXPECT_EQ(status, 143);
    EXPECT_FALSE(tool_still_running(dir.path())) << "a worker outlived its batch";
    EXPECT_TRUE(names_in(dir.file("out")).empty());
    EXPECT_TRUE(names_in(dir.file("tmp")).empty()) << "the batch's status folder";
    // Nothing arrives later from a worker that went on.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(names_in(dir.file("out")).empty());
}

}  // namespace
}  // namespace varnolt::testing
