// The progress bar as a user sees it on a terminal: run on a pseudo-terminal of a given width,
// interrupted with Ctrl-C's signal, and read back byte for byte.

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_fixture.h"

namespace varnolt::testing {
namespace {

struct TerminalRun {
    std::string text;  // everything written to the terminal
    int exit_code = -1;
};

// Runs the tool on a terminal `columns` wide; after `interrupt_after` bar redraws (0: never)
// sends SIGINT, as Ctrl-C would.
TerminalRun run_on_terminal(const std::string& folder, const std::vector<std::string>& args,
                            int columns, int interrupt_after) {
    winsize size = {};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        std::vector<char*> argv{const_cast<char*>(VARNOLT_CLI)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(VARNOLT_CLI, argv.data());
        _exit(127);
    }
    TerminalRun run;
    if (child < 0) return run;
    bool interrupted = false;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < give_up) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;  // the tool has ended and closed the terminal
        run.text.append(buffer, static_cast<std::size_t>(n));
        int redraws = 0;
        for (char c : run.text) redraws += c == '%';
        if (interrupt_after > 0 && !interrupted && redraws >= interrupt_after) {
            kill(child, SIGINT);
            interrupted = true;
        }
    }
    close(master);
    int status = 0;
    if (waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.exit_code = WEXITSTATUS(status);
    return run;
}

// The pieces of terminal text between carriage returns and new lines, with the erase-to-end
// sequence taken out: what each redraw leaves on one line.
std::vector<std::string> drawn_lines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "\x1b[K") == 0) {
            i += 2;
        } else if (text[i] == '\r' || text[i] == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += text[i];
        }
    }
    return lines;
}

int columns_of(const std::string& line) {
    int width = 0;
    for (unsigned char c : line) width += (c & 0xC0) != 0x80;
    return width;
}

class CliProgress : public Cli {
  protected:
    void SetUp() override { write_sound("tape-side-a.wav", tone(30 * 44100)); }
};

// A bar wider than the terminal wraps, and each redraw then starts a new line: at 40 and at 100
// columns every redraw fits in one line short of the width; the wide one names the file.
TEST_F(CliProgress, TheBarFitsTheTerminalsWidth) {
    for (const int columns : {40, 100}) {
        const TerminalRun run =
            run_on_terminal(dir.path(), {"tape-side-a.wav", "out.wav"}, columns, 0);
        ASSERT_EQ(run.exit_code, 0) << run.text;
        int bars = 0;
        bool named = false;
        for (const std::string& line : drawn_lines(run.text)) {
            if (line.find('%') == std::string::npos) continue;
            ++bars;
            EXPECT_LT(columns_of(line), columns) << columns << " columns: \"" << line << "\"";
            named = named || line.find("tape-side-a.wav") != std::string::npos;
        }
        EXPECT_GT(bars, 1) << run.text;
        EXPECT_EQ(named, columns == 100) << run.text;
    }
}

// Interrupted, the tool takes its bar off the terminal before it says so: the line after the
// last redraw is empty, and the message stands on a line of its own.
TEST_F(CliProgress, AnInterruptedRunLeavesNoBarBehind) {
    const TerminalRun run = run_on_terminal(dir.path(), {"tape-side-a.wav", "out.wav"}, 40, 3);
    EXPECT_EQ(run.exit_code, 130) << run.text;
    const std::size_t last_bar = run.text.rfind('%');
    const std::size_t message = run.text.find("varnolt: tape-side-a.wav: interrupted");
    ASSERT_NE(last_bar, std::string::npos) << run.text;
    ASSERT_NE(message, std::string::npos) << run.text;
    EXPECT_LT(last_bar, message);
    EXPECT_NE(run.text.substr(last_bar, message - last_bar).find("\r\x1b[K"), std::string::npos)
        << run.text.substr(last_bar);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.wav")));
}

}  // namespace
}  // namespace varnolt::testing
