#include "audio_file.h"
#include "text_format.h"

#include <cstdio>

namespace varnolt::cli {
namespace {

// The fewest decimals past the first are used; a tenth of a second is what a listener tells.
constexpr int k_most_decimals = 3;

std::string seconds(long long frames, int sample_rate, int decimals) {
    return decimal_text(static_cast<double>(frames) / sample_rate, decimals);
}

bool all_zero(const std::string& number) {
    return number.find_first_not_of("0.") == std::string::npos;
}

}  // namespace

std::string missing_text(long long read_frames, long long promised_frames, int sample_rate) {
    for (int decimals = 1; decimals <= k_most_decimals; ++decimals) {
        const std::string read = seconds(read_frames, sample_rate, decimals);
        const std::string promised = seconds(promised_frames, sample_rate, decimals);
        if (read != promised) return "only " + read + " s of " + promised + " s could be read";
    }
    return "the last " + std::to_string(promised_frames - read_frames) + " samples of " +
           seconds(promised_frames, sample_rate, 1) + " s could not be read";
}

std::string undecoded_text(long long lost_frames, long long all_frames, int sample_rate) {
    const std::string all = seconds(all_frames, sample_rate, 1) + " s could not be decoded";
    for (int decimals = 1; decimals <= k_most_decimals; ++decimals) {
        const std::string lost = seconds(lost_frames, sample_rate, decimals);
        if (!all_zero(lost)) return lost + " s of " + all;
    }
    return std::to_string(lost_frames) + " samples of " + all;
}

std::string too_many_channels_text(int channels) {
    return "cannot read: " + std::to_string(channels) + " channels; this tool restores at most " +
           std::to_string(k_most_channels);
}

}  // namespace varnolt::cli
