#include "safe_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace varnolt::cli {
namespace fs = std::filesystem;

std::string temporary_name(const std::string& path) {
    return path + ".partial";
}

bool can_create(const std::string& path, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = path + ": cannot write: it is a folder";
        return false;
    }
    const std::string temporary = temporary_name(path);
    std::FILE* probe = std::fopen(temporary.c_str(), "wb");
    if (probe == nullptr) {
        error = path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    std::fclose(probe);
    std::remove(temporary.c_str());
    return true;
}

bool write_safely(const std::string& path, std::string& error,
                  const std::function<bool(const std::string&, std::string&)>& write) {
    const std::string temporary = temporary_name(path);
    if (!write(temporary, error)) {
        std::remove(temporary.c_str());
        return false;
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        std::remove(temporary.c_str());
        error = path + ": cannot write: " + ec.message();
        return false;
    }
    return true;
}

}  // namespace varnolt::cli
