#include "console.h"

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "interruption.h"

namespace varnolt::cli {
namespace {

// Carriage return, the line, and erase to its end: each redraw covers the one before.
constexpr const char* k_return = "\r";
constexpr const char* k_erase_to_end = "\x1b[K";

struct ConsoleState {
    std::mutex lock;
    bool bar_drawn = false;
};

ConsoleState console;

// Writes and flushes at once, so the lines of several threads and the bar come in order. A
// reader that has gone (a pipe into `head`, a closed terminal) is the user ending the run.
void put(std::FILE* stream, const std::string& text) {
    errno = 0;
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
    if (std::ferror(stream)) {
        if (errno == EPIPE) interrupt_for_closed_output();
        std::clearerr(stream);
    }
}

// Called with the lock held.
void take_bar_off() {
    if (!console.bar_drawn) return;
    put(stderr, std::string(k_return) + k_erase_to_end);
    console.bar_drawn = false;
}

}  // namespace

void tell(const std::string& text) {
    const std::lock_guard<std::mutex> hold(console.lock);
    take_bar_off();
    put(stderr, "varnolt: " + text + "\n");
}

void print_line(const std::string& line) {
    print_text(line + "\n");
}

void print_text(const std::string& text) {
    const std::lock_guard<std::mutex> hold(console.lock);
    // Standard output is often the same terminal: a line there would land on the bar's too.
    take_bar_off();
    put(stdout, text);
}

void draw_bar_line(const std::string& line) {
    const std::lock_guard<std::mutex> hold(console.lock);
    put(stderr, k_return + line + k_erase_to_end);
    console.bar_drawn = true;
}

void clear_bar_line() {
    const std::lock_guard<std::mutex> hold(console.lock);
    take_bar_off();
}

}  // namespace varnolt::cli
