#pragma once
// The bundle's Turtle: manifest.ttl names the two plug-ins and their library, varnolt.ttl
// describes their ports, written from the same port list the plug-in binds.

#include <ostream>
#include <string>
#include <vector>

#include "port_layout.h"

namespace varnolt::lv2 {

constexpr const char* k_description_file = "varnolt.ttl";

void write_manifest(std::ostream& out, const std::string& library_file);
// `controls` and `decoder` as control_ports and decoder_choice give them.
void write_description(std::ostream& out, const std::vector<ControlPort>& controls,
                       const ControlPort& decoder);

}  // namespace varnolt::lv2
