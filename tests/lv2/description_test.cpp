// The plug-ins as a host describes them to a person (Audacity's effect dialog, jalv's controls,
// a plug-in manager), read through lilv from the bundle's Turtle: names as the window has them,
// switches as check boxes, who maintains it and under what licence; and the port symbols and
// indices that hosts store in saved sessions, unchanged.

#include <gtest/gtest.h>

#include <lilv/lilv.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "stream_player.h"

namespace varnolt::lv2_test {
namespace {

// Every port of the stereo plug-in, in index order, as earlier releases had them; ports are only
// ever added at the end.
const std::vector<std::string> k_stereo_symbols = {
    "in_left",
    "in_right",
    "out_left",
    "out_right",
    "plugin_configuration_cpu_usage_quality",
    "common_post_amplifier",
    "singleband_compressor_enabled",
    "dolby_b_remover_pc_recording_volume",
    "dolby_b_remover_enabled",
    "dolby_b_remover_difference",
    "bias_enabled",
    "bias_main_pre_amplifier_left",
    "bias_main_pre_amplifier_right",
    "bias_amplification_band_1_left",
    "bias_amplification_band_1_right",
    "bias_amplification_band_2_left",
    "bias_amplification_band_2_right",
    "bias_amplification_band_3_left",
    "bias_amplification_band_3_right",
    "bias_amplification_band_4_left",
    "bias_amplification_band_4_right",
    "bias_amplification_band_5_left",
    "bias_amplification_band_5_right",
    "bias_amplification_band_6_left",
    "bias_amplification_band_6_right",
    "bias_amplification_band_7_left",
    "bias_amplification_band_7_right",
    "bias_amplification_band_8_left",
    "bias_amplification_band_8_right",
    "bias_maximum_automatic_volume_adjustment",
    "bias_right_channel_amplification_relative_to_left_channel",
    "bias_left_channel_amplification_relative_to_right_channel",
    "bias_auto_adjust_left_channel_amplification",
    "bias_auto_adjust_right_channel_amplification",
    "bias_auto_adjust_clustered",
    "bias_auto_adjust_bias_only",
    "fm_stereo_noise_filter_enabled",
    "fm_stereo_noise_filter_difference",
    "fm_stereo_noise_filter_ignore_lowest_percentage",
    "fm_stereo_noise_filter_multiply_by",
    "fm_stereo_noise_filter_reduce_stereo_noise_by_percentage",
    "fm_stereo_noise_filter_delay_time",
    "fm_stereo_noise_filter_signal_roughness",
    "azimuth",
    "azimuth_limit",
    "azimuth_speed",
    "mono",
    "mode",
    "azimuth_correction",
    "dolby_sidechain_left",
    "dolby_sidechain_right",
    "compressor_gain",
    "latency",
    "automatic_level",
    "automatic_level_value",
    "automatic_level_basis",
    "input_samples_replaced",
    "dolby_b_decoder",
    "dolby_level",
    "dolby_level_in_use",
};

class Lv2Description : public ::testing::Test {
  protected:
    Lv2Description()
        : world_(bundle_world().world()), plugin_(bundle_world().plugin(k_stereo_uri)) {}

    const LilvPort* port(const std::string& symbol) const {
        LilvNode* node = lilv_new_string(world_, symbol.c_str());
        const LilvPort* found = lilv_plugin_get_port_by_symbol(plugin_, node);
        lilv_node_free(node);
        return found;
    }
    std::string name(const std::string& symbol) const {
        const LilvPort* p = port(symbol);
        if (p == nullptr) return "(no port " + symbol + ")";
        LilvNode* node = lilv_port_get_name(plugin_, p);
        const std::string text = node != nullptr ? lilv_node_as_string(node) : "";
        lilv_node_free(node);
        return text;
    }
    bool has_property(const std::string& symbol, const char* property) const {
        const LilvPort* p = port(symbol);
        LilvNode* node = lilv_new_uri(world_, property);
        const bool has = p != nullptr && lilv_port_has_property(plugin_, p, node);
        lilv_node_free(node);
        return has;
    }

    bool is_a(const LilvPort* p, const char* class_uri) const {
        LilvNode* node = lilv_new_uri(world_, class_uri);
        const bool is = lilv_port_is_a(plugin_, p, node);
        lilv_node_free(node);
        return is;
    }

    struct Range {
        float default_value, minimum, maximum;
        bool operator==(const Range& o) const {
            return default_value == o.default_value && minimum == o.minimum && maximum == o.maximum;
        }
    };
    Range range(const LilvPort* p) const {
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(plugin_, p, &def, &min, &max);
        const auto value = [](const LilvNode* n) {
            return n != nullptr ? lilv_node_as_float(n) : std::nanf("");
        };
        const Range r{value(def), value(min), value(max)};
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
        return r;
    }

    // The port's value of `property` as text ("" where it has none).
    std::string value_of(const LilvPort* p, const char* property) const {
        LilvNode* node = lilv_new_uri(world_, property);
        LilvNodes* values = lilv_port_get_value(plugin_, p, node);
        lilv_node_free(node);
        std::string text;
        if (values != nullptr && lilv_nodes_size(values) > 0)
            text = lilv_node_as_string(lilv_nodes_get_first(values));
        lilv_nodes_free(values);
        return text;
    }
    std::string unit(const LilvPort* p) const {
        return value_of(p, "http://lv2plug.in/ns/extensions/units#unit");
    }
    std::string comment(const LilvPort* p) const {
        return value_of(p, "http://www.w3.org/2000/01/rdf-schema#comment");
    }

    // The port's scale points, ordered by value.
    std::vector<std::pair<float, std::string>> scale_points(const LilvPort* p) const {
        std::vector<std::pair<float, std::string>> points;
        LilvScalePoints* all = lilv_port_get_scale_points(plugin_, p);
        LILV_FOREACH(scale_points, i, all) {
            const LilvScalePoint* point = lilv_scale_points_get(all, i);
            points.emplace_back(lilv_node_as_float(lilv_scale_point_get_value(point)),
                                lilv_node_as_string(lilv_scale_point_get_label(point)));
        }
        lilv_scale_points_free(all);
        std::sort(points.begin(), points.end());
        return points;
    }

    ::LilvWorld* world_;
    const LilvPlugin* plugin_;
};

TEST_F(Lv2Description, PortsKeepTheirSymbolsAndIndices) {
    ASSERT_NE(plugin_, nullptr);
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin_), k_stereo_symbols.size());
    for (std::size_t i = 0; i < k_stereo_symbols.size(); ++i) {
        const LilvPort* p = lilv_plugin_get_port_by_index(plugin_, static_cast<uint32_t>(i));
        EXPECT_EQ(lilv_node_as_string(lilv_port_get_symbol(plugin_, p)), k_stereo_symbols[i]) << i;
    }
}

TEST_F(Lv2Description, PortsAreNamedAsTheWindowNamesThem) {
    ASSERT_NE(plugin_, nullptr);
    const struct {
        const char* symbol;
        const char* name;
    } names[] = {
        {"azimuth", "Azimuth correction"},
        {"mono", "Mono"},
        {"mode", "Processing"},
        {"singleband_compressor_enabled", "Constant volume"},
        {"dolby_b_remover_enabled", "Dolby B remover"},
        {"bias_enabled", "Bias equaliser"},
        {"fm_stereo_noise_filter_enabled", "FM stereo hiss filter"},
        {"plugin_configuration_cpu_usage_quality", "Quality"},
        // The bands' centres at 44.1 kHz, where the band coordinate is f + 1.
        {"bias_amplification_band_1_left", "Band 1 (100 Hz) left"},
        {"bias_amplification_band_3_right", "Band 3 (470 Hz) right"},
        {"bias_amplification_band_4_left", "Band 4 (1 kHz) left"},
        {"bias_amplification_band_6_left", "Band 6 (4.7 kHz) left"},
        {"bias_amplification_band_8_right", "Band 8 (22 kHz) right"},
        {"azimuth_correction", "Azimuth correction applied"},
        {"input_samples_replaced", "Input samples replaced"},
        {"dolby_b_decoder", "Dolby B decoder"},
        {"dolby_level", "Dolby level"},
        {"dolby_level_in_use", "Dolby level in use"},
    };
    for (const auto& n : names) EXPECT_EQ(name(n.symbol), n.name) << n.symbol;
    // No name is an INI key or a command-line option.
    for (const std::string& symbol : k_stereo_symbols) {
        const std::string shown = name(symbol);
        EXPECT_EQ(shown.find('/'), std::string::npos) << symbol << ": " << shown;
        EXPECT_NE(shown.rfind("--", 0), 0u) << symbol << ": " << shown;
    }
}

TEST_F(Lv2Description, SwitchesAreToggles) {
    ASSERT_NE(plugin_, nullptr);
    for (const char* symbol :
         {"azimuth", "mono", "singleband_compressor_enabled", "dolby_b_remover_enabled",
          "dolby_b_remover_difference", "bias_enabled", "fm_stereo_noise_filter_enabled",
          "bias_auto_adjust_clustered", "automatic_level"}) {
        EXPECT_TRUE(has_property(symbol, LV2_CORE__toggled)) << symbol;
        EXPECT_FALSE(has_property(symbol, LV2_CORE__enumeration)) << symbol;
    }
    EXPECT_TRUE(has_property("mode", LV2_CORE__enumeration));
}

// The mono plug-in has the same ports after its one input and one output.
TEST_F(Lv2Description, MonoPortsKeepTheirSymbolsAndIndices) {
    const LilvPlugin* mono = bundle_world().plugin(k_mono_uri);
    ASSERT_NE(mono, nullptr);
    ASSERT_EQ(lilv_plugin_get_num_ports(mono), k_stereo_symbols.size() - 2);
    const auto symbol_at = [mono](std::size_t i) {
        const LilvPort* p = lilv_plugin_get_port_by_index(mono, static_cast<uint32_t>(i));
        return std::string(lilv_node_as_string(lilv_port_get_symbol(mono, p)));
    };
    EXPECT_EQ(symbol_at(0), "in");
    EXPECT_EQ(symbol_at(1), "out");
    for (std::size_t i = 4; i < k_stereo_symbols.size(); ++i)
        EXPECT_EQ(symbol_at(i - 2), k_stereo_symbols[i]) << i;
}

// The decoder's choice as a host shows it: a list of two named decoders, the table remover
// chosen, and the key of the settings file it stands for.
TEST_F(Lv2Description, TheDecoderIsAChoiceOfTwo) {
    ASSERT_NE(plugin_, nullptr);
    const LilvPort* p = port("dolby_b_decoder");
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(has_property("dolby_b_decoder", LV2_CORE__enumeration));
    EXPECT_TRUE(has_property("dolby_b_decoder", LV2_CORE__integer));
    EXPECT_FALSE(has_property("dolby_b_decoder", LV2_CORE__toggled));
    EXPECT_EQ(range(p), (Range{0.0f, 0.0f, 1.0f}));
    EXPECT_EQ(scale_points(p), (std::vector<std::pair<float, std::string>>{
                                   {0.0f, "table remover"}, {1.0f, "standard decoder"}}));
    EXPECT_NE(comment(p).find("Dolby B Remover/Standard decoder"), std::string::npos) << comment(p);
}

// The Dolby level in dB, whose default (its lowest value) is named as what it does: it takes the
// level from the "PC Recording Volume" port. The level in use is an output in dB.
TEST_F(Lv2Description, TheDolbyLevelIsInDecibels) {
    ASSERT_NE(plugin_, nullptr);
    const LilvPort* level = port("dolby_level");
    ASSERT_NE(level, nullptr);
    EXPECT_TRUE(is_a(level, LILV_URI_INPUT_PORT));
    EXPECT_EQ(range(level), (Range{-60.0f, -60.0f, 0.0f}));
    EXPECT_EQ(unit(level), "http://lv2plug.in/ns/extensions/units#db");
    EXPECT_EQ(scale_points(level),
              (std::vector<std::pair<float, std::string>>{{-60.0f, "from PC Recording Volume"}}));
    EXPECT_NE(comment(level).find("\"PC Recording Volume\" port"), std::string::npos)
        << comment(level);

    const LilvPort* in_use = port("dolby_level_in_use");
    ASSERT_NE(in_use, nullptr);
    EXPECT_TRUE(is_a(in_use, LILV_URI_OUTPUT_PORT));
    EXPECT_TRUE(is_a(in_use, LILV_URI_CONTROL_PORT));
    EXPECT_EQ(unit(in_use), "http://lv2plug.in/ns/extensions/units#db");
    const Range shown = range(in_use);
    EXPECT_LE(shown.minimum, -60.0f);
    EXPECT_GE(shown.maximum, 0.0f);
}

TEST_F(Lv2Description, PluginsNameTheirMaintainerAndLicence) {
    for (const std::string& uri : {k_stereo_uri, k_mono_uri}) {
        const LilvPlugin* plugin = bundle_world().plugin(uri);
        ASSERT_NE(plugin, nullptr) << uri;
        LilvNode* author = lilv_plugin_get_author_name(plugin);
        EXPECT_STREQ(author != nullptr ? lilv_node_as_string(author) : "", "Varnolt developers")
            << uri;
        lilv_node_free(author);
        LilvNode* licence_property = lilv_new_uri(world_, "http://usefulinc.com/ns/doap#license");
        LilvNodes* licences = lilv_plugin_get_value(plugin, licence_property);
        EXPECT_EQ(licences != nullptr ? lilv_nodes_size(licences) : 0u, 1u) << uri;
        lilv_nodes_free(licences);
        lilv_node_free(licence_property);
    }
}

}  // namespace
}  // namespace varnolt::lv2_test
