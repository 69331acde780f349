#include "automatic_level.h"

#include <algorithm>
#include <cmath>

#include "chain/entry_sample.h"

namespace varnolt::lv2 {
namespace {

// A chosen volume fit for the chain, else 0 (the port's value): the choice keeps to the slider's
// limits, but nothing non-finite may reach the chain's state whatever the analysis returned.
double chain_volume(double volume) {
    return std::isfinite(volume) && volume >= k_lowest_volume && volume <= k_highest_volume ? volume
                                                                                            : 0.0;
}

// The standard decoder's volume for a held level: the level's exactly, as long as it is one the
// chain can work at (a level from a broken analysis keeps the ports' volume).
constexpr double k_largest_exact_volume = 1000.0;
double exact_volume(double level_dbfs) {
    const double volume = volume_for_dolby_level(level_dbfs);
    return std::isfinite(volume) && volume >= k_lowest_volume && volume <= k_largest_exact_volume
               ? volume
               : 0.0;
}

// The sample the chain takes in, at full scale 1.0 (the entry's faults are the chain's to count).
double entered(float x) {
    EntryFaults not_counted;
    return entry_sample(x, not_counted);
}

}  // namespace

AutomaticLevel::AutomaticLevel(double sample_rate, int channels)
    : channels_(std::clamp(channels, 1, k_most_level_channels)),
      measure_frames_(std::max(1LL, std::llround(k_lv2_level_measure_seconds * sample_rate))),
      sound_level_(std::pow(10.0, k_lv2_level_sound_dbfs / 20.0)),
      analyses_{ChannelLevelAnalysis(sample_rate), ChannelLevelAnalysis(sample_rate)},
      blank_(sample_rate) {}

void AutomaticLevel::start_measuring() {
    for (ChannelLevelAnalysis& analysis : analyses_) analysis = blank_;
    measured_ = 0;
    choice_ = DolbyLevelChoice{};
    state_ = State::waiting;
}

void AutomaticLevel::set_switch(bool on) {
    if (!on) {
        state_ = State::off;
        choice_ = DolbyLevelChoice{};
    } else if (state_ == State::off) {
        start_measuring();
    }
}

void AutomaticLevel::restart() {
    if (state_ != State::off) start_measuring();
}

unsigned AutomaticLevel::frames_before_choice(unsigned frames) const {
    // While waiting, the sound starts at the stretch's first frame at the earliest.
    const long long left = state_ == State::waiting     ? measure_frames_
                           : state_ == State::measuring ? measure_frames_ - measured_
                                                        : frames;
    return static_cast<unsigned>(std::min<long long>(frames, left));
}

unsigned AutomaticLevel::first_sound(const float* const* inputs, unsigned offset,
                                     unsigned frames) const {
    for (unsigned i = 0; i < frames; ++i)
        for (int c = 0; c < channels_; ++c)
            if (std::fabs(entered(inputs[c][offset + i])) >= sound_level_) return i;
    return frames;
}

void AutomaticLevel::measure(const float* const* inputs, unsigned offset, unsigned frames) {
    if (state_ == State::waiting) {
        const unsigned silent = first_sound(inputs, offset, frames);
        if (silent == frames) return;
        state_ = State::measuring;
        offset += silent;
        frames -= silent;
    }
    if (state_ != State::measuring) return;
    for (int c = 0; c < channels_; ++c) {
        const float* in = inputs[c] + offset;
        for (unsigned i = 0; i < frames; ++i) analyses_[c].add(entered(in[i]));
    }
    measured_ += frames;
    if (measured_ < measure_frames_) return;
    choice_ = choose_dolby_level(analyses_, channels_);
    state_ = State::held;
}

bool AutomaticLevel::holds_a_level() const {
    return state_ == State::held && choice_.basis != DolbyLevelBasis::silence;
}

void AutomaticLevel::apply(Instance& instance, bool dolby_port_on, double port_volume) const {
    const bool held = holds_a_level();
    // A mono stream goes through both sides of the chain: both take its one value.
    double side_volume[2] = {port_volume, port_volume};
    // The table remover takes the slider's steps, the standard decoder the level exactly.
    const bool exact = instance.live.values.standard_decoder != 0;
    if (held)
        for (int side = 0; side < 2; ++side) {
            const int channel = std::min(side, channels_ - 1);
            const double chosen = exact ? exact_volume(channel_dolby_level(choice_, channel))
                                        : chain_volume(channel_volume(choice_, channel));
            if (chosen > 0.0) side_volume[side] = chosen;
        }
    set_channel_pc_volumes(instance, side_volume[0], side_volume[1]);
    instance.live.values.dolby_enabled = (held && choice_.remover_on) || dolby_port_on ? 1 : 0;
}

double AutomaticLevel::value(bool exact) const {
    if (!holds_a_level()) return 0.0;
    return exact ? exact_volume(measured_dolby_level(choice_.basis, choice_.measured_dbfs))
                 : chain_volume(choice_.volume);
}

int AutomaticLevel::basis() const {
    if (state_ != State::held) return k_level_basis_none;
    switch (choice_.basis) {
        case DolbyLevelBasis::tone:
            return k_level_basis_tone;
        case DolbyLevelBasis::programme:
            return k_level_basis_programme;
        case DolbyLevelBasis::silence:
            break;
    }
    return k_level_basis_silence;
}

}  // namespace varnolt::lv2
