#include "dolby_level_words.h"

#include <cmath>
#include <cstdio>

#include "text_format.h"

namespace varnolt::cli {
namespace {

std::string fit_words() {
    return formatted("fitted to the published Dolby B points (RMS %.1f dB, worst %.1f dB)",
                     k_table_fit_rms_db, k_table_fit_worst_db);
}

bool beyond_slider(double volume) {
    return !(volume >= k_lowest_volume && volume <= k_highest_volume);
}

// What the decoder makes of the volumes after their value: the table remover's are fitted (and
// may have been held at the slider's end); the standard decoder's follow from the level, and only
// the window's slider may not reach them.
std::string volume_note(const DolbyLevelUse& use, bool beyond, bool limited) {
    if (!use.standard_decoder)
        return ", " + fit_words() + (limited ? "; beyond the slider's range, held at its end" : "");
    if (beyond)
        return formatted(", beyond the window's slider (%.2f to %.0f)", k_lowest_volume,
                         k_highest_volume);
    return "";
}

const ChannelDolbyLevel& tone_channel(const DolbyLevelChoice& lane) {
    for (int c = 0; c < lane.channels; ++c)
        if (lane.channel[c].basis == DolbyLevelBasis::tone) return lane.channel[c];
    return lane.channel[0];
}

bool any_limited(const DolbyLevelChoice& lane) {
    for (int c = 0; c < lane.channels; ++c)
        if (lane.channel[c].limited) return true;
    return false;
}

bool any_measured(const DolbyLevelUse& use) {
    for (const DolbyLevelChoice& lane : use.lanes)
        if (lane.remover_on) return true;
    return false;
}

// The decoder and the level it works at: the head of every statement of a level.
std::string level_head(const DolbyLevelUse& use, double level_dbfs) {
    return decoder_name(use.standard_decoder) + formatted(", Dolby level %.1f dBFS", level_dbfs);
}

std::string setting_words(const DolbyLevelUse& use) {
    return level_head(use, dolby_level_for_volume(use.setting_volume)) +
           formatted(", from PC Recording Volume %.2f", use.setting_volume) +
           (use.standard_decoder ? "" : ", " + fit_words());
}

std::string given_words(const DolbyLevelUse& use) {
    bool limited = false;
    const double volume = decoder_volume(use, use.given_dbfs, limited);
    return level_head(use, use.given_dbfs) +
           formatted(", from --dolby-level; PC Recording Volume %.2f", volume) +
           volume_note(use, beyond_slider(volume), limited);
}

// The channels of a pair whose line-up tones differ: each one's level and volume.
std::string per_channel_words(const DolbyLevelUse& use, const DolbyLevelChoice& lane,
                              int first_channel) {
    std::string levels, volumes;
    bool beyond = false;
    for (int c = 0; c < lane.channels; ++c) {
        const std::string name = level_channel_name(first_channel + c, use.channels);
        const double volume = lane_channel_volume(use, lane, c);
        beyond |= beyond_slider(volume);
        levels += formatted(c == 0 ? "%s %.1f dBFS" : ", %s %.1f dBFS", name.c_str(),
                            lane_channel_dolby_level(use, lane, c));
        volumes += formatted(" %s %.2f", name.c_str(), volume);
    }
    return decoder_name(use.standard_decoder) + ", Dolby level " + levels +
           ", from the 400 Hz line-up tones, which differ between the channels, so each was "
           "worked on at its own; PC Recording Volume" +
           volumes + formatted(" (the window's one slider takes %.2f)", lane.volume) +
           volume_note(use, beyond, any_limited(lane));
}

std::string measured_words(const DolbyLevelUse& use, const DolbyLevelChoice& lane,
                           int first_channel) {
    if (!lane.remover_on) {
        if (any_measured(use))
            return "too little programme to measure; worked on as set: " + setting_words(use);
        return "too little programme to measure; the Dolby B remover is left as set" +
               (use.decodes ? ": " + setting_words(use) : "");
    }
    if (lane.basis == DolbyLevelBasis::tone && lane.per_channel)
        return per_channel_words(use, lane, first_channel);
    const double level = lane_dolby_level(use, lane);
    std::string text;
    if (lane.basis == DolbyLevelBasis::tone) {
        const ChannelDolbyLevel& tone = tone_channel(lane);
        text = formatted(", from the 400 Hz line-up tone at %.1f dBFS (%.1f s from %.1f s)",
                         lane.measured_dbfs, tone.tone_length_seconds, tone.tone_start_seconds);
    } else {
        text = formatted(", estimated from the programme's treble, \u00b1%.0f dB",
                         k_programme_uncertainty_db);
    }
    const double volume = lane_channel_volume(use, lane, 0);
    return level_head(use, level) + text + formatted("; PC Recording Volume %.2f", volume) +
           volume_note(use, beyond_slider(volume), any_limited(lane));
}

// Said when the remover is on but the processing mode passes it by.
std::string mode_words(const DolbyLevelUse& use) {
    return use.remover_on && !use.decodes
               ? "; the processing mode leaves the Dolby B stage out, so nothing was decoded"
               : "";
}

}  // namespace

std::string decoder_name(bool standard_decoder) {
    return standard_decoder ? "standard decoder" : "table remover";
}

std::string dolby_level_words(const DolbyLevelUse& use, const DolbyLevelChoice* lane,
                              int first_channel) {
    switch (use.origin) {
        case DolbyLevelOrigin::setting:
            return setting_words(use);
        case DolbyLevelOrigin::given:
            return given_words(use);
        case DolbyLevelOrigin::measured:
            break;
    }
    if (lane == nullptr) return "no channels; the Dolby B remover is left as set";
    return measured_words(use, *lane, first_channel);
}

std::string lane_title(int first_channel, int channels) {
    if (channels == 1) return "channel " + std::to_string(first_channel + 1) + ": ";
    return "channels " + std::to_string(first_channel + 1) + "-" +
           std::to_string(first_channel + channels) + ": ";
}

std::string first_dolby_level_text(const DolbyLevelUse& use) {
    const DolbyLevelChoice* first = use.lanes.empty() ? nullptr : &use.lanes.front();
    return dolby_level_words(use, first, 0) + mode_words(use);
}

std::string dolby_level_use_text(const DolbyLevelUse& use) {
    const DolbyLevelChoice* first = use.lanes.empty() ? nullptr : &use.lanes.front();
    std::string text = dolby_level_words(use, first, 0);
    int first_channel = first ? first->channels : 0;
    for (std::size_t i = 1; i < use.lanes.size(); ++i) {
        const DolbyLevelChoice& lane = use.lanes[i];
        text += "; " + lane_title(first_channel, lane.channels) +
                dolby_level_words(use, &lane, first_channel);
        first_channel += lane.channels;
    }
    return text + mode_words(use);
}

}  // namespace varnolt::cli
