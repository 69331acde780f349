#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "instance_names.h"
#include "processors/tone_analyzer.h"
#include "test_support.h"

namespace varnolt {
namespace {

class ToneAnalyzerTest : public ::testing::Test, public testing::OwnInstance {
  protected:
    void SetUp() override {
        reset_all();
        analyzer = std::make_unique<ToneAnalyzer>(tone_state);
    }
    void TearDown() override { reset_all(); }

    template <class Signal>
    void push_frames(int frames, Signal signal) {
        for (int n = 0; n < frames; ++n) {
            analyzer->push_sample(signal(n, 0), true);
            analyzer->push_sample(signal(n, 1), true);
        }
    }

    std::unique_ptr<ToneAnalyzer> analyzer;
};

TEST_F(ToneAnalyzerTest, WorksWithTheNormalGeometry) {
    EXPECT_EQ(analyzer->geometry().frames, 2048);
    EXPECT_EQ(k_tone_bins, 1024);
    EXPECT_EQ(analyzer->geometry().overlap, 512);
    EXPECT_EQ(analyzer->hop(), 3072);
}

TEST_F(ToneAnalyzerTest, SilenceGivesZerosAfterTwoBlocks) {
    push_frames(4000, [](int n, int) { return 5000.0 * std::sin(n * 0.3); });
    ASSERT_GT(tone_state.tone_spectrum[20].left, 0.0);
    push_frames(2 * 1536, [](int, int) { return 0.0; });
    for (int k = 0; k < 1024; ++k) {
        ASSERT_EQ(tone_state.tone_spectrum[k].left, 0.0) << k;
        ASSERT_EQ(tone_state.tone_spectrum[k].right, 0.0) << k;
    }
}

TEST_F(ToneAnalyzerTest, DirectCurrentShowsInBinZero) {
    const double d = 1000.0;
    push_frames(3 * 1536, [d](int, int) { return d; });
    // Each window edge counts about half: (N - E) / N of the value.
    EXPECT_NEAR(tone_state.tone_spectrum[0].left, d * (2048 - 512) / 2048, 0.01 * d);
    EXPECT_NEAR(tone_state.tone_spectrum[0].right, d * (2048 - 512) / 2048, 0.01 * d);
    // The window's edges leak a little of it into the next few bins only.
    for (int k = 20; k < 1024; ++k) ASSERT_LT(tone_state.tone_spectrum[k].left, 0.001 * d) << k;
}

TEST_F(ToneAnalyzerTest, ATwoKilohertzToneShowsBetweenBins92And93) {
    push_frames(3 * 1536, [](int n, int ch) {
        return (ch ? 3000.0 : 6000.0) * std::sin(2 * M_PI * 2000.0 * n / 44100.0);
    });
    const ToneBin* spectrum = tone_state.tone_spectrum;
    const auto peak =
        std::max_element(spectrum, spectrum + 1024,
                         [](const ToneBin& a, const ToneBin& b) { return a.left < b.left; });
    const int bin = static_cast<int>(peak - spectrum);
    EXPECT_TRUE(bin == 92 || bin == 93) << bin;
    EXPECT_NEAR(spectrum[bin].left / spectrum[bin].right, 2.0, 1e-6);
    EXPECT_GT(spectrum[92].left + spectrum[93].left, 0.3 * 6000.0);
}

}  // namespace
}  // namespace varnolt
