#include <gtest/gtest.h>

#include "ui/colour_ramps.h"
#include "ui/plugin_state.h"

namespace varnolt {
namespace {

TEST(ColourRamps, ReferenceValues) {
    std::uint32_t table[k_colour_ramp_rows * k_colour_ramp_entries];
    std::fill(std::begin(table), std::end(table), 0xDEADBEEFu);
    fill_colour_ramps(table);
    auto at = [&](int row, int entry) { return table[row * k_colour_ramp_entries + entry]; };
    const struct {
        int row, entry;
        std::uint32_t value;
    } cases[] = {
        {0, 0, 0x3DDC61},   {0, 127, 0xDCAF54}, {0, 254, 0xF35581}, {1, 254, 0xF35481},
        {2, 1, 0x3DF3F7},   {2, 254, 0x3D11F7}, {3, 0, 0xFFFF00},   {3, 128, 0xFFBF00},
        {3, 254, 0xFF0200}, {4, 0, 0xFF00FF},   {4, 254, 0xFF7FFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(at(c.row, c.entry), c.value) << "row " << c.row << " entry " << c.entry;
}

TEST(ColourRamps, RowTwoEntryZeroIsNeverWrittenAndTopBytesStayZero) {
    std::uint32_t table[k_colour_ramp_rows * k_colour_ramp_entries] = {};
    fill_colour_ramps(table);
    EXPECT_EQ(table[2 * k_colour_ramp_entries], 0u);
    for (std::uint32_t entry : table) EXPECT_EQ(entry >> 24, 0u);
    // Rows 0 and 1 differ only in the green byte of the upper half.
    for (int i = 0; i < k_colour_ramp_entries; ++i) {
        const std::uint32_t a = table[i], b = table[k_colour_ramp_entries + i];
        EXPECT_EQ(a & 0xFF00FFu, b & 0xFF00FFu) << i;
        if (i < 128) {
            EXPECT_EQ(a, b) << i;
        }
    }
}

}  // namespace
}  // namespace varnolt
