#include "progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace varnolt::cli {
namespace {

constexpr int k_bar_cells = 30;
constexpr auto k_redraw_interval = std::chrono::milliseconds(100);

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

std::string clock_text(double seconds) {
    const long long s = static_cast<long long>(std::max(0.0, std::round(seconds)));
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

ProgressBar::ProgressBar(bool enabled)
    : enabled_(enabled), start_(std::chrono::steady_clock::now()), last_(start_) {}

ProgressBar::~ProgressBar() {
    clear();
}

void ProgressBar::update(double fraction, double audio_seconds, const std::string& label) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < k_redraw_interval && fraction < 1.0) return;
    last_ = now;
    fraction = std::clamp(fraction, 0.0, 1.0);
    const double elapsed = seconds_since(start_);
    const int cells = static_cast<int>(fraction * k_bar_cells);
    std::string bar(cells, '#');
    bar.append(k_bar_cells - cells, '-');
    std::string speed = "   -  x realtime";
    std::string left = "--:--";
    if (elapsed > 0.05 && fraction > 0.0) {
        char text[48];
        std::snprintf(text, sizeof text, "%6.1fx realtime", audio_seconds / elapsed);
        speed = text;
        left = clock_text(elapsed * (1.0 - fraction) / fraction);
    }
    std::fprintf(stderr, "\r[%s] %3d%%  %s  %s left  %s\x1b[K", bar.c_str(),
                 static_cast<int>(fraction * 100), speed.c_str(), left.c_str(), label.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::clear() {
    if (!drawn_) return;
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace varnolt::cli
