// The plug-ins as a host describes them to a person (Audacity's effect dialog, jalv's controls,
// a plug-in manager), read through lilv from the bundle's Turtle: names as the window has them,
// switches as check boxes, who maintains it and under what licence; and the port symbols and
// indices that hosts store in saved sessions, unchanged.

#include <gtest/gtest.h>

#include <lilv/lilv.h>

#include <string>
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
