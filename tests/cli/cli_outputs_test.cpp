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
    // has been running `after`, and returns its exit status. `launcher` goes before the tool on
    // its command line (nohup).
    int run_and_signal(const std::string& args, int signal_number, std::chrono::milliseconds after,
                       const std::string& launcher = "") {
        fs::create_directories(dir.file("tmp"));
        const std::string command = "cd '" + dir.path() + "' && exec " + launcher +
                                    " env TMPDIR='" + dir.file("tmp") + "' '" + VARNOLT_CLI + "' " +
                                    args + " >/dev/null 2>'" + dir.file("stderr") + "'";
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

// nohup leaves SIGHUP ignored for the tool: the user asked for the run to outlive the terminal.
// The tool put its own handler over that, and a hangup stopped it and deleted its work.
TEST_F(CliOutputs, UnderNohupAHangupLetsTheRunFinish) {
    write_sound("long.wav", tone(30 * 44100));
    const int status =
        run_and_signal("long.wav out.wav", SIGHUP, std::chrono::milliseconds(300), "nohup");
    EXPECT_EQ(status, 0) << read_text(dir.file("stderr"));
    EXPECT_EQ(read_sound("out.wav").frames(), 30 * 44100);
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

// "varnolt -j 2 -o out ... | head -c1": once head has gone, the next summary line meets a closed
// pipe. The tool died of SIGPIPE and left the unfinished file's hidden temporary behind; with
// SIGPIPE ignored (as some shells and services start programs) it went on writing into the void.
// Either way the run now stops as for Ctrl-C: nothing unfinished stays, exit status 141.
TEST_F(CliOutputs, AClosedOutputStopsTheBatchAndLeavesNoPartialFile) {
    write_sound("a.wav", tone(4410));
    write_sound("b.wav", tone(10 * 44100));
    write_sound("long.wav", tone(90 * 44100));
    for (const char* shell_setup : {"", "trap '' PIPE; "}) {
        fs::remove_all(dir.file("out"));
        const Result r = run_script(std::string(shell_setup) + quoted(VARNOLT_CLI) +
                                    " -j 2 -o out a.wav b.wav long.wav 2>stderr | head -c1 "
                                    ">/dev/null; echo ${PIPESTATUS[0]}");
        EXPECT_EQ(r.out, "141\n") << shell_setup << read_text(dir.file("stderr"));
        EXPECT_FALSE(tool_still_running(dir.path())) << shell_setup;
        for (const std::string& name : names_in(dir.file("out")))
            EXPECT_EQ(name.find(".partial"), std::string::npos) << shell_setup << name;
        EXPECT_FALSE(file_exists(dir.file("out/long.wav"))) << shell_setup;
    }
}

// Rewriting an output kept neither its permissions nor its owner, and put a plain file in the
// place of a symbolic link: a private 0600 file became readable by all, another user's file
// became root's, and a link into a music library stopped pointing there.
TEST_F(CliOutputs, RewritingAnOutputKeepsItsPermissionsOwnerAndLinks) {
    write_sound("in.wav", tone(4000));
    const struct {
        const char* output;
        const char* written;  // the file that gets the sound
        mode_t mode;
        bool other_owner;
    } cases[] = {
        {"private.wav", "private.wav", 0600, false},
        {"shared.wav", "shared.wav", 0664, false},
        {"theirs.wav", "theirs.wav", 0640, true},
        {"link.wav", "library/take.wav", 0640, false},
        {"relative/link.wav", "library/take.wav", 0600, false},
    };
    fs::create_directories(dir.file("library"));
    fs::create_directories(dir.file("relative"));
    fs::create_symlink(dir.file("library/take.wav"), dir.file("link.wav"));
    fs::create_symlink("../library/take.wav", dir.file("relative/link.wav"));
    const bool administrator = geteuid() == 0;
    for (const auto& c : cases) {
        if (c.other_owner && !administrator) continue;  // only root can give a file away
        write_text(dir.file(c.written), "old contents");
        ASSERT_EQ(chmod(dir.file(c.written).c_str(), c.mode), 0);
        if (c.other_owner) {
            ASSERT_EQ(chown(dir.file(c.written).c_str(), 65534, 65534), 0);
        }
        const Result r = run(std::string("in.wav ") + c.output);
        ASSERT_EQ(r.exit_code, 0) << c.output << ": " << r.err;
        struct stat info = {};
        ASSERT_EQ(stat(dir.file(c.written).c_str(), &info), 0) << c.output;
        EXPECT_EQ(info.st_mode & 07777, c.mode) << c.output;
        if (c.other_owner) {
            EXPECT_EQ(info.st_uid, 65534u) << c.output;
            EXPECT_EQ(info.st_gid, 65534u) << c.output;
        }
        EXPECT_EQ(read_sound(c.written).frames(), 4000) << c.output;
        if (std::string(c.output) != c.written) {
            EXPECT_TRUE(fs::is_symlink(dir.file(c.output))) << c.output;
        }
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().string().find(".partial"), std::string::npos) << entry.path();
    // A new output gets what the umask leaves of 0666, as any program's new file.
    const struct {
        const char* umask;
        mode_t mode;
    } masks[] = {{"022", 0644}, {"077", 0600}};
    for (const auto& m : masks) {
        const Result r = run("in.wav new.wav", "", std::string("umask ") + m.umask);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        struct stat info = {};
        ASSERT_EQ(stat(dir.file("new.wav").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, m.mode) << m.umask;
        fs::remove(dir.file("new.wav"));
    }
}

}  // namespace
}  // namespace varnolt::testing
