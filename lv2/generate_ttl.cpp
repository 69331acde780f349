// Writes the bundle's manifest.ttl and varnolt.ttl into a folder, at build time:
//   varnolt_lv2_ttl FOLDER LIBRARY_FILE
// The ports come from the core's parameter table at the plug-in's first-start values; a
// parameter the port list cannot place fails the build here.

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "port_layout.h"
#include "start_values.h"
#include "turtle.h"

int main(int argc, char** argv) {
    using namespace varnolt;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER LIBRARY_FILE\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    auto instance = std::make_unique<Instance>();
    if (!lv2::start_instance(*instance)) {
        std::fprintf(stderr, "varnolt_lv2_ttl: the processors could not be built\n");
        return 1;
    }
    std::string problem;
    const std::vector<lv2::ControlPort> controls = lv2::control_ports(instance->live, problem);
    if (controls.empty()) {
        std::fprintf(stderr, "varnolt_lv2_ttl: %s\n", problem.c_str());
        return 1;
    }
    std::ofstream manifest(folder + "/manifest.ttl");
    lv2::write_manifest(manifest, argv[2]);
    std::ofstream description(folder + "/" + lv2::k_description_file);
    lv2::write_description(description, controls, lv2::decoder_choice(instance->live));
    manifest.close();
    description.close();
    if (!manifest || !description) {
        std::fprintf(stderr, "varnolt_lv2_ttl: cannot write into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
