#pragma once
// Who draws. The displays are refreshed on two threads: paced by the playback thread as audio
// passes, forced by the window thread when the window is painted. Both compose into the same
// static pixel arrays and shift the same histories (display_state), with the colour ramps, so
// one thread at a time may draw: the one holding this token. The playback thread never waits
// for it (a refresh that finds it taken is skipped, and the next one comes a block later); the
// window thread waits for a refresh under way to end.
//
// Taking the token acquires and releasing it releases, so whoever takes it next sees every pixel
// and history entry the last holder wrote.

namespace varnolt {

class DrawingToken {
  public:
    // Playback thread: the token if it is free, else an empty one.
    static DrawingToken try_take();
    // Window thread: waits (yielding) while another thread draws, at most k_longest_wait_ms;
    // empty if that thread never let go.
    static DrawingToken take();

    DrawingToken(DrawingToken&& other) noexcept : held_(other.held_) { other.held_ = false; }
    DrawingToken(const DrawingToken&) = delete;
    DrawingToken& operator=(const DrawingToken&) = delete;
    DrawingToken& operator=(DrawingToken&&) = delete;
    ~DrawingToken();

    bool held() const { return held_; }

    // A refresh takes a few milliseconds; a holder that takes longer than this is stuck.
    static constexpr int k_longest_wait_ms = 2000;

  private:
    explicit DrawingToken(bool held) : held_(held) {}
    bool held_;
};

}  // namespace varnolt
