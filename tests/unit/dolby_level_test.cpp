// The Dolby level chosen from a transfer: a line-up tone sets it exactly, the programme's treble
// estimates it, each channel on its own, and twice the setting for every 6 dB of transfer gain.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "level/dolby_level.h"

namespace varnolt {
namespace {

constexpr double k_two_pi = 6.283185307179586;
constexpr double k_rate = 44100.0;

double gain(double db) {
    return std::pow(10.0, db / 20.0);
}

// Per channel, the samples of a transfer (full scale 1.0).
struct Transfer {
    std::vector<std::vector<double>> channels = std::vector<std::vector<double>>(2);

    void tone(double seconds, double left_dbfs, double right_dbfs) {
        const double levels[2] = {left_dbfs, right_dbfs};
        for (int c = 0; c < 2; ++c) {
            const std::size_t start = channels[c].size();
            for (long long n = 0; n < static_cast<long long>(seconds * k_rate); ++n)
                channels[c].push_back(gain(levels[c]) *
                                      std::sin(k_two_pi * 400.0 * (start + n) / k_rate));
        }
    }
    // Programme: a bass line under white noise, whose loudness wanders by a few dB a second.
    void programme(double seconds, double left_gain_db, double right_gain_db, unsigned seed = 7) {
        const double gains[2] = {gain(left_gain_db), gain(right_gain_db)};
        std::mt19937 rng(seed);
        std::normal_distribution<double> noise(0.0, 0.01);
        for (long long n = 0; n < static_cast<long long>(seconds * k_rate); ++n) {
            const double t = n / k_rate;
            const double swell = 1.0 + 0.5 * std::sin(k_two_pi * 0.3 * t);
            const double x = swell * (0.1 * std::sin(k_two_pi * 110.0 * t) + noise(rng));
            for (int c = 0; c < 2; ++c) channels[c].push_back(gains[c] * x);
        }
    }
    void silence(double seconds) {
        for (auto& channel : channels)
            channel.insert(channel.end(), static_cast<std::size_t>(seconds * k_rate), 0.0);
    }

    DolbyLevelChoice choose(int count = 2) const {
        std::vector<ChannelLevelAnalysis> analyses(count, ChannelLevelAnalysis(k_rate));
        for (int c = 0; c < count; ++c)
            for (double x : channels[c]) analyses[c].add(x);
        return choose_dolby_level(analyses.data(), count);
    }
};

TEST(DolbyLevel, ALineUpToneSetsTheValueExactly) {
    // A tone at the calibration level calls for 1, and every 6.02 dB louder for twice that.
    for (double offset_db : {-12.0, -6.0, 0.0, 6.0}) {
        SCOPED_TRACE(offset_db);
        Transfer transfer;
        transfer.tone(3.0, k_dolby_tone_at_unity_dbfs + offset_db,
                      k_dolby_tone_at_unity_dbfs + offset_db);
        transfer.programme(10.0, 0.0, 0.0);
        const DolbyLevelChoice choice = transfer.choose();
        EXPECT_EQ(choice.basis, DolbyLevelBasis::tone);
        EXPECT_TRUE(choice.remover_on);
        EXPECT_FALSE(choice.per_channel);
        EXPECT_NEAR(choice.volume, gain(offset_db), 0.005 + 0.005 * gain(offset_db));
        EXPECT_NEAR(choice.channel[0].measured_dbfs, k_dolby_tone_at_unity_dbfs + offset_db, 0.05);
    }
}

TEST(DolbyLevel, WithoutAToneTheProgrammeSetsAValueThatDoublesEverySixDecibels) {
    double previous = 0.0;
    for (double transfer_db : {-12.0, -6.0, 0.0, 6.0}) {
        SCOPED_TRACE(transfer_db);
        Transfer transfer;
        transfer.programme(20.0, transfer_db, transfer_db);
        const DolbyLevelChoice choice = transfer.choose();
        EXPECT_EQ(choice.basis, DolbyLevelBasis::programme);
        EXPECT_TRUE(choice.remover_on);
        EXPECT_FALSE(choice.channel[0].limited);
        // The percentile is read off 0.1 dB steps and the value rounded to 0.01: each rounding
        // moves the ratio by up to 0.005 of either value.
        if (previous > 0.0) {
            EXPECT_NEAR(choice.volume / previous, 2.0, 0.03 + 0.005 * 3 / previous);
        }
        previous = choice.volume;
    }
}

TEST(DolbyLevel, ChannelsLinedUpAtDifferentLevelsGetAValueEach) {
    Transfer apart;
    apart.tone(3.0, k_dolby_tone_at_unity_dbfs, k_dolby_tone_at_unity_dbfs - 6.0);
    apart.programme(20.0, 0.0, -6.0);
    const DolbyLevelChoice choice = apart.choose();
    ASSERT_TRUE(choice.per_channel);
    EXPECT_NEAR(choice.channel[0].volume / choice.channel[1].volume, 2.0, 0.05);
    EXPECT_DOUBLE_EQ(channel_volume(choice, 0), choice.channel[0].volume);
    EXPECT_DOUBLE_EQ(channel_volume(choice, 1), choice.channel[1].volume);
    // The window's one value lies between them, at their geometric mean.
    EXPECT_NEAR(choice.volume, std::sqrt(choice.channel[0].volume * choice.channel[1].volume),
                0.01);

    Transfer close;  // a quarter of a decibel is no reason for two values
    close.tone(3.0, k_dolby_tone_at_unity_dbfs, k_dolby_tone_at_unity_dbfs - 0.25);
    close.programme(20.0, 0.0, -0.25);
    const DolbyLevelChoice one = close.choose();
    EXPECT_FALSE(one.per_channel);
    EXPECT_DOUBLE_EQ(channel_volume(one, 0), one.volume);
    EXPECT_DOUBLE_EQ(channel_volume(one, 1), one.volume);

    // Without a tone a difference of treble may be the mix's: one value, between the two.
    Transfer untoned;
    untoned.programme(20.0, 0.0, -6.0);
    const DolbyLevelChoice mean = untoned.choose();
    EXPECT_FALSE(mean.per_channel);
    EXPECT_NEAR(mean.channel[0].volume / mean.channel[1].volume, 2.0, 0.05);
    EXPECT_NEAR(mean.volume, std::sqrt(mean.channel[0].volume * mean.channel[1].volume), 0.01);
    EXPECT_DOUBLE_EQ(channel_volume(mean, 1), mean.volume);
}

TEST(DolbyLevel, SilenceLeavesTheRemoverOffAndASilentChannelTakesTheOthersValue) {
    Transfer silent;
    silent.silence(20.0);
    const DolbyLevelChoice none = silent.choose();
    EXPECT_EQ(none.basis, DolbyLevelBasis::silence);
    EXPECT_FALSE(none.remover_on);

    Transfer one_sided;  // a mono recording on the left track only
    one_sided.programme(20.0, 0.0, -200.0);
    const DolbyLevelChoice choice = one_sided.choose();
    EXPECT_TRUE(choice.remover_on);
    EXPECT_EQ(choice.channel[1].basis, DolbyLevelBasis::silence);
    EXPECT_FALSE(choice.per_channel);
    EXPECT_DOUBLE_EQ(choice.volume, choice.channel[0].volume);
}

TEST(DolbyLevel, AToneOnOneTrackLinesUpBothAndIsNotAveragedWithTheOthersTreble) {
    Transfer transfer;
    transfer.tone(3.0, k_dolby_tone_at_unity_dbfs + 6.0206, -200.0);
    transfer.programme(20.0, 0.0, 0.0);
    const DolbyLevelChoice choice = transfer.choose();
    EXPECT_EQ(choice.basis, DolbyLevelBasis::tone);
    EXPECT_EQ(choice.channel[1].basis, DolbyLevelBasis::programme);
    EXPECT_FALSE(choice.per_channel);
    EXPECT_DOUBLE_EQ(choice.volume, 2.0);
    EXPECT_NEAR(choice.measured_dbfs, k_dolby_tone_at_unity_dbfs + 6.0206, 0.05);
    EXPECT_DOUBLE_EQ(choice.channel[1].volume, 2.0);

    Transfer left_only;  // a mono recording on the left track, tone and all
    left_only.tone(3.0, k_dolby_tone_at_unity_dbfs, -200.0);
    left_only.silence(20.0);
    const DolbyLevelChoice mono = left_only.choose();
    EXPECT_EQ(mono.basis, DolbyLevelBasis::tone);
    EXPECT_DOUBLE_EQ(mono.volume, 1.0);
}

TEST(DolbyLevel, BrokenSamplesAndLevelsBeyondTheSliderStayWithinIt) {
    ChannelLevelAnalysis analysis(k_rate);
    const double hostile[] = {std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(), 1e300, -1e300};
    for (int n = 0; n < 20 * 44100; ++n) analysis.add(hostile[n % 4]);
    const ChannelDolbyLevel level = analysis.result();
    EXPECT_TRUE(std::isfinite(level.volume));
    EXPECT_GE(level.volume, k_lowest_volume);
    EXPECT_LE(level.volume, k_highest_volume);

    bool limited = false;
    EXPECT_DOUBLE_EQ(volume_for_level(60.0, 0.0, limited), k_highest_volume);
    EXPECT_TRUE(limited);
    EXPECT_DOUBLE_EQ(volume_for_level(-90.0, 0.0, limited), k_lowest_volume);
    EXPECT_TRUE(limited);
    EXPECT_DOUBLE_EQ(volume_for_level(std::numeric_limits<double>::quiet_NaN(), 0.0, limited), 1.0);
    EXPECT_TRUE(limited);
    EXPECT_DOUBLE_EQ(volume_for_level(-6.0, 0.0, limited), 0.5);
    EXPECT_FALSE(limited);
    // A bad sample rate from a host falls back to a working one.
    ChannelLevelAnalysis odd(std::numeric_limits<double>::quiet_NaN());
    for (int n = 0; n < 1000; ++n) odd.add(0.1);
    EXPECT_EQ(odd.result().basis, DolbyLevelBasis::silence);
}

// A measure names a Dolby level whose setting, unrounded, is the one the measure calls for: a
// tone's level is the Dolby level itself, the programme's treble is as far from it as from the
// treble level that calls for 1.
TEST(DolbyLevel, AMeasureNamesTheDolbyLevelItsSettingStandsFor) {
    // A line-up tone comes through the encoder a little louder than the Dolby level it stands for.
    EXPECT_DOUBLE_EQ(measured_dolby_level(DolbyLevelBasis::tone, -20.0),
                     -20.0 - k_line_up_tone_lift_db);
    const double treble = k_treble_at_unity_dbfs + 7.5;
    EXPECT_DOUBLE_EQ(measured_dolby_level(DolbyLevelBasis::programme, treble),
                     k_dolby_level_at_unity_dbfs + 7.5);
    EXPECT_NEAR(volume_for_dolby_level(measured_dolby_level(DolbyLevelBasis::programme, treble)),
                gain(7.5), 1e-12);
}

}  // namespace
}  // namespace varnolt
