#pragma once
// A value that one thread writes and another reads, without a lock: the window thread moves a
// slider while the playback thread reads the parameter at its next sample, and the playback
// thread publishes a meter that the window thread draws. Every access is a relaxed atomic load
// or store: on x86 the same plain moves as for a plain value, but no data race in the C++ sense,
// so the compiler may neither tear the value nor assume that no other thread changes it.
//
// Relaxed order gives no ordering between different values: whoever reads two of them may see
// one from before and one after a change, exactly as the audio path always could. A value whose
// reader must see other data written before it (a hand-over) needs acquire and release instead.
//
// Copying a struct of these copies each value in turn (one load, one store), so the records that
// hold them keep their value semantics.

#include <atomic>

namespace varnolt {

template <class T>
class relaxed {
  public:
    static_assert(std::atomic<T>::is_always_lock_free,
                  "the audio path takes no lock, so a shared value must be lock-free");

    constexpr relaxed() noexcept : value_(T()) {}
    constexpr relaxed(T v) noexcept : value_(v) {}
    relaxed(const relaxed& other) noexcept : value_(other.load()) {}
    relaxed& operator=(const relaxed& other) noexcept {
        store(other.load());
        return *this;
    }
    relaxed& operator=(T v) noexcept {
        store(v);
        return *this;
    }

    operator T() const noexcept { return load(); }
    T load() const noexcept { return value_.load(std::memory_order_relaxed); }
    void store(T v) noexcept { value_.store(v, std::memory_order_relaxed); }
    T exchange(T v) noexcept { return value_.exchange(v, std::memory_order_relaxed); }

    // Replaces the value v by next(v) as one atomic step, for a value both threads change;
    // returns what it stored.
    template <class Next>
    T update(Next next) noexcept {
        T expected = load();
        T replacement = next(expected);
        while (!value_.compare_exchange_weak(expected, replacement, std::memory_order_relaxed))
            replacement = next(expected);
        return replacement;
    }

  private:
    std::atomic<T> value_;
};

}  // namespace varnolt
