#include "turtle.h"

#include <charconv>
#include <string>

#include "level/dolby_level.h"

namespace varnolt::lv2 {
namespace {

constexpr const char* k_prefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n";

// Units the LV2 units extension lacks: the azimuth is a distance along the tape.
constexpr const char* k_micrometre_uri = "https://tolvane.example/varnolt/lv2/units#micrometre";
constexpr const char* k_micrometre_per_second_uri =
    "https://tolvane.example/varnolt/lv2/units#micrometre-per-second";

constexpr Variant k_variants[] = {Variant::stereo, Variant::mono};

constexpr const char* k_project_uri = "https://tolvane.example/varnolt/";
// The project's licence terms, published with the project.
constexpr const char* k_license_uri = "https://tolvane.example/varnolt/LICENSE";
constexpr const char* k_maintainer = "Varnolt developers";

// A Turtle decimal: the shortest text that reads back as the same double, with a point.
std::string number(double v) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, v);
    std::string s(text, result.ptr);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string quoted(const std::string& text) {
    std::string s = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') s += '\\';
        s += c;
    }
    return s + "\"";
}

std::string unit_term(Unit unit) {
    switch (unit) {
        case Unit::coefficient:
            return "units:coef";
        case Unit::percent:
            return "units:pc";
        case Unit::seconds:
            return "units:s";
        case Unit::db:
            return "units:db";
        case Unit::micrometres:
            return std::string("<") + k_micrometre_uri + ">";
        case Unit::micrometres_per_second:
            return std::string("<") + k_micrometre_per_second_uri + ">";
        case Unit::none:
            break;
    }
    return "";
}

void write_units(std::ostream& out) {
    out << "<" << k_micrometre_uri << ">\n"
        << "    a units:Unit ;\n"
        << "    rdfs:label \"micrometre\" ;\n"
        << "    units:symbol \"µm\" ;\n"
        << "    units:render \"%f µm\" .\n\n"
        << "<" << k_micrometre_per_second_uri << ">\n"
        << "    a units:Unit ;\n"
        << "    rdfs:label \"micrometre per second\" ;\n"
        << "    units:symbol \"µm/s\" ;\n"
        << "    units:render \"%f µm/s\" .\n\n";
}

void write_port_head(std::ostream& out, bool first, const char* direction, const char* type,
                     int index, const std::string& symbol, const std::string& name) {
    out << (first ? "    lv2:port [\n" : " , [\n") << "        a lv2:" << direction
        << " , lv2:" << type << " ;\n"
        << "        lv2:index " << index << " ;\n"
        << "        lv2:symbol " << quoted(symbol) << " ;\n"
        << "        lv2:name " << quoted(name);
}

void write_range(std::ostream& out, double minimum, double maximum, Unit unit) {
    out << " ;\n        lv2:minimum " << number(minimum) << " ;\n        lv2:maximum "
        << number(maximum);
    if (unit != Unit::none) out << " ;\n        units:unit " << unit_term(unit);
}

void write_scale_points(std::ostream& out, const std::vector<ScalePoint>& points) {
    for (std::size_t i = 0; i < points.size(); ++i)
        out << (i == 0 ? " ;\n        lv2:scalePoint " : " , ") << "[ rdfs:label "
            << quoted(points[i].label) << " ; rdf:value " << number(points[i].value) << " ]";
}

// The port's comment, and where its value lives outside a host: the settings file's section and
// key (which the command-line tool's --set takes), or the tool's option for a live-only switch.
std::string control_comment(const ControlPort& c) {
    std::string text = c.comment != nullptr ? std::string(c.comment) + ". " : std::string();
    if (c.name.rfind("--", 0) == 0) return text + "The command-line tool's " + c.name + ".";
    return text + "Settings file: \"" + c.name + "\".";
}

void write_control(std::ostream& out, const ControlPort& c, int index) {
    write_port_head(out, false, "InputPort", "ControlPort", index, c.symbol, c.label);
    out << " ;\n        lv2:default " << number(c.default_value);
    write_range(out, c.minimum, c.maximum, c.unit);
    if (c.kind == ControlKind::toggle)
        out << " ;\n        lv2:portProperty lv2:toggled , lv2:integer";
    if (c.kind == ControlKind::choice) {
        out << " ;\n        lv2:portProperty lv2:integer , lv2:enumeration";
        write_scale_points(out, c.points);
    }
    out << " ;\n        rdfs:comment " << quoted(control_comment(c)) << "\n    ]";
}

// One audio port a channel: "in" alone for mono, "in_left" and "in_right" for stereo.
void write_audio_ports(std::ostream& out, bool first, const char* direction, int first_index,
                       int channels, const std::string& symbol, const std::string& name) {
    static const char* const side[2] = {"left", "right"};
    for (int ch = 0; ch < channels; ++ch) {
        const bool one = channels == 1;
        write_port_head(out, first && ch == 0, direction, "AudioPort", first_index + ch,
                        one ? symbol : symbol + "_" + side[ch], one ? name : name + " " + side[ch]);
        out << "\n    ]";
    }
}

void write_level_port(std::ostream& out, const char* direction, int index,
                      const LevelPortDescription& described) {
    write_port_head(out, false, direction, "ControlPort", index, described.symbol, described.name);
}

// The automatic level's switch and what it holds, after the latency.
void write_level_ports(std::ostream& out, const PortIndices& ports) {
    write_level_port(out, "InputPort", ports.automatic_level, k_automatic_level_switch);
    out << " ;\n        lv2:default 0.0";
    write_range(out, 0.0, 1.0, Unit::none);
    out << " ;\n        lv2:portProperty lv2:toggled , lv2:integer ;\n        rdfs:comment "
        << quoted(k_automatic_level_switch.comment) << "\n    ]";

    write_level_port(out, "OutputPort", ports.level_value, k_automatic_level_value);
    write_range(out, 0.0, k_highest_volume, Unit::coefficient);
    out << " ;\n        rdfs:comment " << quoted(k_automatic_level_value.comment) << "\n    ]";

    write_level_port(out, "OutputPort", ports.level_basis, k_automatic_level_basis);
    write_range(out, k_level_basis_points.front().value, k_level_basis_points.back().value,
                Unit::none);
    out << " ;\n        lv2:portProperty lv2:integer , lv2:enumeration";
    write_scale_points(out, k_level_basis_points);
    out << " ;\n        rdfs:comment " << quoted(k_automatic_level_basis.comment) << "\n    ]";
}

// The ports that came with the standard decoder, after the count of samples replaced.
void write_decoder_ports(std::ostream& out, const PortIndices& ports, const ControlPort& decoder) {
    write_control(out, decoder, ports.decoder);

    write_level_port(out, "InputPort", ports.dolby_level, k_dolby_level);
    out << " ;\n        lv2:default " << number(k_dolby_level_from_volume_dbfs);
    write_range(out, k_dolby_level_from_volume_dbfs, k_highest_dolby_level_dbfs, Unit::db);
    write_scale_points(out, k_dolby_level_points);
    out << " ;\n        rdfs:comment " << quoted(k_dolby_level.comment) << "\n    ]";

    write_level_port(out, "OutputPort", ports.dolby_level_in_use, k_dolby_level_in_use);
    write_range(out, lowest_dolby_level_in_use(), highest_dolby_level_in_use(), Unit::db);
    out << " ;\n        rdfs:comment " << quoted(k_dolby_level_in_use.comment) << "\n    ]";
}

void write_maintainer(std::ostream& out) {
    out << "    doap:maintainer [\n"
        << "        foaf:name " << quoted(k_maintainer) << " ;\n"
        << "        foaf:homepage <" << k_project_uri << ">\n"
        << "    ] ;\n";
}

void write_plugin(std::ostream& out, Variant variant, const std::vector<ControlPort>& controls,
                  const ControlPort& decoder) {
    const PortIndices ports = port_indices(variant, static_cast<int>(controls.size()));
    const int channels = audio_channels(variant);
    out << "<" << plugin_uri(variant) << ">\n"
        << "    a lv2:Plugin , lv2:FilterPlugin ;\n"
        << "    doap:name " << quoted(plugin_name(variant)) << " ;\n"
        << "    lv2:project <" << k_project_uri << "> ;\n"
        << "    doap:license <" << k_license_uri << "> ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable ;\n"
        << "    rdfs:comment \"Restores cassette-tape recordings: Dolby B remover, bias "
           "equaliser, azimuth correction, FM stereo hiss filter, constant volume.\" ;\n";
    write_audio_ports(out, true, "InputPort", ports.audio_in, channels, "in", "Input");
    write_audio_ports(out, false, "OutputPort", ports.audio_out, channels, "out", "Output");
    for (std::size_t i = 0; i < controls.size(); ++i)
        write_control(out, controls[i], ports.first_control + static_cast<int>(i));
    for (int m = 0; m < k_monitor_ports; ++m) {
        const MonitorDescription& described = monitor_descriptions[m];
        write_port_head(out, false, "OutputPort", "ControlPort", ports.first_monitor + m,
                        described.symbol, described.name);
        write_range(out, described.minimum, described.maximum, described.unit);
        out << "\n    ]";
    }
    write_port_head(out, false, "OutputPort", "ControlPort", ports.latency, "latency", "Latency");
    write_range(out, 0.0, latency_frames_reported(), Unit::none);
    out << " ;\n        lv2:designation lv2:latency ;\n"
        << "        lv2:portProperty lv2:reportsLatency , lv2:integer ;\n"
        << "        units:unit units:frame\n    ]";
    write_level_ports(out, ports);
    write_level_port(out, "OutputPort", ports.replaced, k_replaced_samples);
    write_range(out, 0.0, replaced_maximum(), Unit::none);
    out << " ;\n        lv2:portProperty lv2:integer ;\n        rdfs:comment "
        << quoted(k_replaced_samples.comment) << "\n    ]";
    write_decoder_ports(out, ports, decoder);
    out << " .\n\n";
}

}  // namespace

void write_manifest(std::ostream& out, const std::string& library_file) {
    out << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
        << "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n";
    for (Variant variant : k_variants)
        out << "<" << plugin_uri(variant) << ">\n"
            << "    a lv2:Plugin ;\n"
            << "    lv2:binary <" << library_file << "> ;\n"
            << "    rdfs:seeAlso <" << k_description_file << "> .\n\n";
}

void write_description(std::ostream& out, const std::vector<ControlPort>& controls,
                       const ControlPort& decoder) {
    out << k_prefixes << "\n";
    out << "<" << k_project_uri << ">\n"
        << "    a doap:Project ;\n"
        << "    doap:name \"Varnolt\" ;\n"
        << "    doap:homepage <" << k_project_uri << "> ;\n"
        << "    doap:license <" << k_license_uri << "> ;\n";
    write_maintainer(out);
    out << "    doap:shortdesc \"Restoration of cassette-tape recordings\" .\n\n";
    write_units(out);
    for (Variant variant : k_variants) write_plugin(out, variant, controls, decoder);
}

}  // namespace varnolt::lv2
