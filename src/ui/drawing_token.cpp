#include "ui/drawing_token.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace varnolt {
namespace {

std::atomic<bool> drawing{false};

bool grab() {
    return !drawing.exchange(true, std::memory_order_acquire);
}

}  // namespace

DrawingToken DrawingToken::try_take() {
    return DrawingToken(grab());
}

DrawingToken DrawingToken::take() {
    const auto give_up =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(k_longest_wait_ms);
    while (!grab()) {
        if (std::chrono::steady_clock::now() >= give_up) return DrawingToken(false);
        std::this_thread::yield();
    }
    return DrawingToken(true);
}

DrawingToken::~DrawingToken() {
    if (held_) drawing.store(false, std::memory_order_release);
}

}  // namespace varnolt
