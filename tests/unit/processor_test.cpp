#include <gtest/gtest.h>

#include <vector>

#include "processors/processor.h"

namespace varnolt {
namespace {

// Counts its blocks and otherwise behaves as the base.
class CountingProcessor : public Processor {
  public:
    void process_block() override {
        ++blocks;
        Processor::process_block();
    }
    int blocks = 0;
};

TEST(ProcessorFramework, BaseConstructionValues) {
    Processor p;
    EXPECT_EQ(p.frame_count, 2048);
    EXPECT_EQ(p.half_count, 1024);
    EXPECT_EQ(p.latency, 3584);
    EXPECT_EQ(p.hop, 3584);
    EXPECT_EQ(p.overlap, 256);
    EXPECT_EQ(p.out_ring_length, 3586);
    EXPECT_EQ(p.out_read, 3585);
    EXPECT_EQ(p.out_write, 0);
    EXPECT_EQ(p.output_ready, 0);
    EXPECT_FALSE(p.block_active);
}

TEST(ProcessorFramework, QualityGeometry) {
    const struct {
        int q, overlap, hop, ring;
    } cases[] = {{0, 1024, 2048, 2050}, {1, 512, 3072, 3074}, {2, 256, 3584, 3586}};
    for (const auto& c : cases) {
        Processor p;
        p.set_quality(c.q);
        EXPECT_EQ(p.overlap, c.overlap) << c.q;
        EXPECT_EQ(p.hop, c.hop) << c.q;
        EXPECT_EQ(p.out_ring_length, c.ring) << c.q;
        EXPECT_EQ(p.latency, 4096) << c.q;
        EXPECT_EQ(p.out_read, c.ring - 1) << c.q;
        // The edge is 0 for the first twelfth, 1 for the last twelfth, rising in between.
        const int e = c.overlap;
        for (int m = 0; m <= e / 12; ++m) EXPECT_EQ(p.window[m], 0.0) << m;
        for (int m = e - e / 12; m < e; ++m) EXPECT_EQ(p.window[m], 1.0) << m;
        for (int m = 1; m < e; ++m) EXPECT_GE(p.window[m], p.window[m - 1]) << m;
        EXPECT_NEAR(p.window[e / 2], 0.5, 1e-12);
    }
}

TEST(ProcessorFramework, QualityBeyondTheLowLevelKeepsTheBuffersSafe) {
    Processor p;
    p.set_quality(40);
    EXPECT_EQ(p.overlap, 256);
    EXPECT_LE(p.out_ring_length, k_ring_capacity);
}

TEST(ProcessorFramework, InactiveBlocksDelayByExactly4096SamplesAtEveryQuality) {
    for (int q = 0; q <= 2; ++q) {
        Processor p;
        p.set_quality(q);
        std::vector<double> out;
        for (int n = 0; n < 20000; ++n) {
            p.push_sample(n + 1.0, false);
            out.push_back(p.read_output());
        }
        for (int n = 0; n < 20000; ++n) {
            const double expected = n >= 4096 ? n - 4096 + 1.0 : 0.0;
            ASSERT_EQ(out[n], expected) << "quality " << q << " sample " << n;
        }
    }
}

TEST(ProcessorFramework, OutputIsZeroBeforeTheFirstHop) {
    Processor p;
    p.set_quality(1);
    for (int n = 0; n < p.hop - 1; ++n) {
        p.push_sample(1000.0, true);
        ASSERT_EQ(p.read_output(), 0.0) << n;
    }
    EXPECT_EQ(p.output_ready, 0);
    p.push_sample(1000.0, true);
    EXPECT_EQ(p.output_ready, 1);
}

TEST(ProcessorFramework, ActivityIsLatchedAtTheBlocksFirstSample) {
    CountingProcessor p;
    p.set_quality(0);
    p.push_sample(1.0, false);
    for (int n = 1; n < p.hop; ++n) p.push_sample(1.0, true);
    EXPECT_EQ(p.blocks, 0) << "a block that started inactive stays inactive";
    p.push_sample(1.0, true);
    for (int n = 1; n < p.hop; ++n) p.push_sample(1.0, false);
    EXPECT_EQ(p.blocks, 1) << "a block that started active is processed";
}

TEST(ProcessorFramework, NextBlockComesExactlyOneHopAfterSetQuality) {
    CountingProcessor p;
    p.set_quality(1);
    for (int n = 0; n < 1000; ++n) p.push_sample(0.0, true);
    p.set_quality(0);
    for (int n = 0; n < 2047; ++n) p.push_sample(0.0, true);
    EXPECT_EQ(p.blocks, 0);
    p.push_sample(0.0, true);
    EXPECT_EQ(p.blocks, 1);
    EXPECT_EQ(p.out_write, 2048 % p.out_ring_length);
}

}  // namespace
}  // namespace varnolt
