// The progress bar as a user sees it on a terminal: run on a pseudo-terminal of a given width,
// interrupted with Ctrl-C's signal, and read back byte for byte.

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
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

// How the run is interrupted after the redraws asked for.
enum class Interrupt {
    signal,  // SIGINT sent to the tool, as kill -INT does
    key,     // Ctrl-C typed on the terminal: it echoes "^C" and sends SIGINT
};

// Runs the tool on a terminal `columns` wide, with `environment` (NAME=value) added; after
// `interrupt_after` bar redraws (0: never) interrupts it.
TerminalRun run_on_terminal(const std::string& folder, const std::vector<std::string>& args,
                            int columns, int interrupt_after, Interrupt how = Interrupt::signal,
                            const std::vector<std::string>& environment = {}) {
    winsize size = {};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        for (const std::string& e : environment) putenv(const_cast<char*>(e.c_str()));
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
            if (how == Interrupt::key) {
                const char ctrl_c = 0x03;
                if (write(master, &ctrl_c, 1) != 1) kill(child, SIGINT);
            } else {
                kill(child, SIGINT);
            }
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

// Columns of text made of ASCII and of characters from the CJK block (two columns each), the
// only kinds these tests write.
int columns_of(const std::string& line) {
    int width = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if ((c & 0xC0) == 0x80) continue;
        width += c >= 0xE0 ? 2 : 1;
    }
    return width;
}

// The lines a terminal `columns` wide shows once `text` is written to it: carriage return, new
// line, erase to the end of the line, and the wrap at the right edge (as xterm: a character
// written into the last column waits there until the next one comes, which starts a new line).
std::vector<std::string> screen_after(const std::string& text, int columns) {
    std::vector<std::vector<std::string>> screen(1, std::vector<std::string>(columns, " "));
    std::size_t row = 0;
    int column = 0;
    bool pending_wrap = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "\x1b[K") == 0) {
            for (int c = column; c < columns; ++c) screen[row][c] = " ";
            pending_wrap = false;
            i += 2;
            continue;
        }
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\n' && ++row == screen.size()) screen.emplace_back(columns, " ");
            column = 0;
            pending_wrap = false;
            continue;
        }
        std::size_t length = 1;
        while (i + length < text.size() && (text[i + length] & 0xC0) == 0x80) ++length;
        const std::string character = text.substr(i, length);
        const int width = columns_of(character);
        i += length - 1;
        if (pending_wrap || column + width > columns) {
            if (++row == screen.size()) screen.emplace_back(columns, " ");
            column = 0;
            pending_wrap = false;
        }
        screen[row][column] = character;
        for (int c = 1; c < width; ++c) screen[row][column + c] = "";
        column += width;
        if (column == columns) {
            column = columns - 1;
            pending_wrap = true;
        }
    }
    std::vector<std::string> lines;
    for (const auto& cells : screen) {
        std::string line;
        for (const std::string& cell : cells) line += cell;
        lines.push_back(line.substr(0, line.find_last_not_of(' ') + 1));
    }
    return lines;
}

class CliProgress : public Cli {
  protected:
    void SetUp() override { write_sound("tape-side-a.wav", tone(30 * 44100)); }
};

// A bar wider than the terminal wraps, and each redraw then starts a new line: at 40 and at 100
// columns every redraw fits in one line short of the width; the wide one names the file. A name
// in Chinese characters takes two columns a character: counted as one, the bar ran past the
// edge. So with a UTF-8 locale and without one (the width then comes from the East Asian
// blocks).
TEST_F(CliProgress, TheBarFitsTheTerminalsWidth) {
    const std::string wide_name = "磁带录音第一面磁带录音第一面磁带录音第一面.wav";
    write_sound(wide_name, tone(12 * 44100));
    const struct {
        std::string input;
        int columns;
        std::vector<std::string> environment;
        const char* shown;  // the end of the name the bar shows, or null for none
    } cases[] = {
        {"tape-side-a.wav", 40, {}, nullptr},
        {"tape-side-a.wav", 100, {}, "tape-side-a.wav"},
        {wide_name, 100, {"LC_ALL=C.UTF-8"}, "第一面.wav"},
        {wide_name, 100, {"LC_ALL=C"}, "第一面.wav"},
    };
    for (const auto& c : cases) {
        const std::string where = c.input + " at " + std::to_string(c.columns) + " columns";
        const TerminalRun run = run_on_terminal(dir.path(), {c.input, "out.wav"}, c.columns, 0,
                                                Interrupt::signal, c.environment);
        ASSERT_EQ(run.exit_code, 0) << run.text;
        int bars = 0;
        bool named = false;
        for (const std::string& line : drawn_lines(run.text)) {
            if (line.find('%') == std::string::npos) continue;
            ++bars;
            EXPECT_LT(columns_of(line), c.columns) << where << ": \"" << line << "\"";
            named = named || (c.shown && line.find(c.shown) != std::string::npos);
        }
        EXPECT_GT(bars, 1) << run.text;
        EXPECT_EQ(named, c.shown != nullptr) << where << ": " << run.text;
        // A redraw that wrapped would leave its first part standing above the summary.
        for (const std::string& line : screen_after(run.text, c.columns))
            EXPECT_EQ(line.find('%'), std::string::npos) << where << ": " << line;
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

// Ctrl-C typed on a terminal 40 columns wide: the bar filled all but the last column, the
// terminal's "^C" echo wrapped onto the next line, and the tool's clearing reached only that one:
// the bar stayed on the screen above the message.
TEST_F(CliProgress, CtrlCTypedOnANarrowTerminalLeavesNoBarOnTheScreen) {
    for (const int columns : {40, 60}) {
        const TerminalRun run =
            run_on_terminal(dir.path(), {"tape-side-a.wav", "out.wav"}, columns, 3, Interrupt::key);
        EXPECT_EQ(run.exit_code, 130) << run.text;
        ASSERT_NE(run.text.find("^C"), std::string::npos) << "the terminal echoes Ctrl-C";
        for (const std::string& line : screen_after(run.text, columns))
            EXPECT_EQ(line.find('%'), std::string::npos) << columns << " columns: " << line;
    }
}

// A warning the file gives while it is restored (samples that are no audio, found once the input
// is read) was printed after the bar on the bar's own line.
TEST_F(CliProgress, AWarningStandsOnALineOfItsOwn) {
    Sound loud = tone(8 * 44100, 2, 0.5, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    for (std::size_t i = 0; i < loud.samples.size(); i += 44100) loud.samples[i] = INFINITY;
    write_sound("loud.wav", loud);
    const TerminalRun run = run_on_terminal(dir.path(), {"loud.wav", "out.wav"}, 100, 0);
    ASSERT_EQ(run.exit_code, 0) << run.text;
    bool warned = false;
    for (const std::string& line : screen_after(run.text, 100)) {
        if (line.find("infinite or beyond") == std::string::npos) continue;
        warned = true;
        EXPECT_EQ(line.find("varnolt: loud.wav: "), 0u) << line;
    }
    EXPECT_TRUE(warned) << run.text;
}

}  // namespace
}  // namespace varnolt::testing
