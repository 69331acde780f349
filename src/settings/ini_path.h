#pragma once
// Where the plug-in keeps its INI file: "dsp_varnolt.ini" in the user's profile directory.

namespace varnolt {

constexpr int k_path_piece_chars = 512;  // each piece of the path is cut at this length
constexpr int k_ini_path_capacity = 2 * k_path_piece_chars + 2;
constexpr const char* k_ini_file_name = "dsp_varnolt.ini";

// Built by every Init and kept for the process (window thread).
extern char ini_path[k_ini_path_capacity];

// Sets ini_path from the environment variable "USERPROFILE"; without it the bare file name,
// relative to the current directory. A profile folder longer than k_path_piece_chars leaves it
// empty: no file is read or written (profile_store.h).
void build_ini_path();

}  // namespace varnolt
