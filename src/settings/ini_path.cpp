#include "settings/ini_path.h"

#include <cstdlib>
#include <cstring>

namespace varnolt {
namespace {

#ifdef _WIN32
constexpr char k_directory_separator = '\\';
#else
constexpr char k_directory_separator = '/';
#endif

// Appends at most k_path_piece_chars characters of piece.
void append_piece(char* path, const char* piece) {
    std::strncat(path, piece, k_path_piece_chars);
}

}  // namespace

char ini_path[k_ini_path_capacity];

void build_ini_path() {
    ini_path[0] = '\0';
    if (const char* profile = std::getenv("USERPROFILE")) {
        // A folder cut short is another folder, perhaps someone else's: a profile too long for
        // the path leaves it empty, and the settings live in memory only.
        if (std::strlen(profile) > k_path_piece_chars) return;
        append_piece(ini_path, profile);
        const char separator[2] = {k_directory_separator, '\0'};
        std::strcat(ini_path, separator);
    }
    append_piece(ini_path, k_ini_file_name);
}

}  // namespace varnolt
