#include "safe_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

#include "interruption.h"
#include "platform.h"

namespace varnolt::cli {
namespace fs = std::filesystem;
namespace {

constexpr int k_name_attempts = 100;

// Creates a new file ".NAME.NNNNNN.partial" in the folder of `path`: hidden, never the name of
// a file that was there, never shared with another run. Empty when none can be made.
std::string create_temporary_beside(const std::string& path) {
    const fs::path target(path);
    std::random_device seed;
    for (int attempt = 0; attempt < k_name_attempts; ++attempt) {
        const std::string name =
            "." + target.filename().string() + "." + std::to_string(seed() % 1000000) + ".partial";
        const std::string temporary = (target.parent_path() / name).string();
        if (create_new_file(temporary)) return temporary;
        if (errno != EEXIST) break;
    }
    return std::string();
}

}  // namespace

bool can_create(const std::string& path, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = path + ": cannot write: it is a folder";
        return false;
    }
    if (fs::exists(path, ec) && !may_replace(path)) {
        error = path + ": cannot write: the file is read-only; it is left as it is";
        return false;
    }
    const std::string probe = create_temporary_beside(path);
    if (probe.empty()) {
        error = path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    std::remove(probe.c_str());
    return true;
}

PendingOutput::PendingOutput(std::string path)
    : path_(std::move(path)), temporary_(create_temporary_beside(path_)) {}

PendingOutput::~PendingOutput() {
    if (!committed_ && !temporary_.empty()) std::remove(temporary_.c_str());
}

bool PendingOutput::write(const std::function<bool(const std::string&, std::string&)>& writer,
                          std::string& error) {
    if (temporary_.empty()) {
        error = path_ + ": cannot write: " + std::strerror(errno);
        return false;
    }
    if (writer(temporary_, error) && !interrupted()) return true;
    // The user knows the file by its own name, not by the temporary one.
    for (std::size_t at; (at = error.find(temporary_)) != std::string::npos;)
        error.replace(at, temporary_.size(), path_);
    if (error.empty()) error = path_ + ": " + k_interrupted_text;
    return false;
}

bool PendingOutput::commit(std::string& error) {
    std::error_code ec;
    fs::rename(temporary_, path_, ec);
    if (ec) {
        error = path_ + ": cannot write: " + ec.message();
        return false;
    }
    committed_ = true;
    return true;
}

bool write_safely(const std::string& path, std::string& error,
                  const std::function<bool(const std::string&, std::string&)>& write) {
    PendingOutput output(path);
    return output.write(write, error) && output.commit(error);
}

}  // namespace varnolt::cli
