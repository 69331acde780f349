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

// The window's rising edge as the blocks see it.
class WindowedProcessor : public Processor {
  public:
    const double* window() { return window_edge(); }
};

TEST(ProcessorFramework, BaseConstructionValues) {
    Processor p;
    const BlockGeometry& g = p.geometry();
    EXPECT_EQ(g.frames, 2048);
    EXPECT_EQ(g.half, 1024);
    EXPECT_EQ(g.log2_frames, 11);
    EXPECT_EQ(p.latency(), 4096) << "2N, as at every quality";
    EXPECT_EQ(p.hop(), 3584);
    EXPECT_EQ(g.overlap, 256);
    EXPECT_EQ(g.ring_length, 3586);
    EXPECT_EQ(p.quality(), k_quality_low);
    EXPECT_EQ(p.filled(), 0);
    EXPECT_FALSE(p.output_ready());
}

TEST(ProcessorFramework, TheGeometryOfEachQuality) {
    for (int q = k_quality_high; q <= k_quality_low; ++q) {
        const BlockGeometry g = block_geometry(q);
        EXPECT_EQ(g.frames, k_block_frames) << q;
        EXPECT_EQ(1 << g.log2_frames, g.frames) << q;
        EXPECT_EQ(g.half, g.frames / 2) << q;
        EXPECT_EQ(g.overlap, (g.frames / 2) >> q) << q;
        EXPECT_EQ(g.hop, 2 * (g.frames - g.overlap)) << q;
        EXPECT_EQ(g.latency, 2 * g.frames) << q;
        EXPECT_EQ(g.ring_length, g.hop + 2) << q;
    }
    EXPECT_EQ(block_geometry(-3).overlap, 1024) << "limited to the highest quality";
    EXPECT_EQ(block_geometry(9).overlap, 256) << "limited to the lowest quality";
}

TEST(ProcessorFramework, QualityGeometry) {
    const struct {
        int q, overlap, hop, ring;
    } cases[] = {{0, 1024, 2048, 2050}, {1, 512, 3072, 3074}, {2, 256, 3584, 3586}};
    for (const auto& c : cases) {
        WindowedProcessor p;
        p.set_quality(c.q);
        EXPECT_EQ(p.quality(), c.q);
        EXPECT_EQ(p.geometry().overlap, c.overlap) << c.q;
        EXPECT_EQ(p.hop(), c.hop) << c.q;
        EXPECT_EQ(p.geometry().ring_length, c.ring) << c.q;
        EXPECT_EQ(p.latency(), 4096) << c.q;
        // The edge is 0 for the first twelfth, 1 for the last twelfth, rising in between.
        const int e = c.overlap;
        const double* window = p.window();
        for (int m = 0; m <= e / 12; ++m) EXPECT_EQ(window[m], 0.0) << m;
        for (int m = e - e / 12; m < e; ++m) EXPECT_EQ(window[m], 1.0) << m;
        for (int m = 1; m < e; ++m) EXPECT_GE(window[m], window[m - 1]) << m;
        EXPECT_NEAR(window[e / 2], 0.5, 1e-12);
    }
}

TEST(ProcessorFramework, QualityBeyondTheLowLevelKeepsTheBuffersSafe) {
    Processor p;
    p.set_quality(40);
    EXPECT_EQ(p.geometry().overlap, 256);
    EXPECT_LE(p.geometry().ring_length, k_ring_capacity);
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
    for (int n = 0; n < p.hop() - 1; ++n) {
        p.push_sample(1000.0, true);
        ASSERT_EQ(p.read_output(), 0.0) << n;
    }
    EXPECT_FALSE(p.output_ready());
    p.push_sample(1000.0, true);
    EXPECT_TRUE(p.output_ready());
}

TEST(ProcessorFramework, ActivityIsLatchedAtTheBlocksFirstSample) {
    CountingProcessor p;
    p.set_quality(0);
    p.push_sample(1.0, false);
    for (int n = 1; n < p.hop(); ++n) p.push_sample(1.0, true);
    EXPECT_EQ(p.blocks, 0) << "a block that started inactive stays inactive";
    p.push_sample(1.0, true);
    for (int n = 1; n < p.hop(); ++n) p.push_sample(1.0, false);
    EXPECT_EQ(p.blocks, 1) << "a block that started active is processed";
}

TEST(ProcessorFramework, NextBlockComesExactlyOneHopAfterSetQuality) {
    CountingProcessor p;
    p.set_quality(1);
    for (int n = 0; n < 1000; ++n) p.push_sample(0.0, true);
    p.set_quality(0);
    for (int n = 0; n < 2047; ++n) p.push_sample(n + 1.0, true);
    EXPECT_EQ(p.blocks, 0);
    p.push_sample(2048.0, true);
    EXPECT_EQ(p.blocks, 1);
    // The ring restarted too: the block's first sample was written at its start, the slot the
    // reading reaches right after the one it restarted behind.
    p.read_output();
    EXPECT_EQ(p.read_output(), 1.0);
}

}  // namespace
}  // namespace varnolt
