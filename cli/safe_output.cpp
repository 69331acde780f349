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
// As many links as the system itself follows before it gives up (Linux's limit).
constexpr int k_most_links = 40;

// The file `path` leads to through its symbolic links (it need not exist); empty, with errno,
// when the links run in a circle.
std::string follow_links(const std::string& path) {
    fs::path at(path);
    for (int hops = 0; hops < k_most_links; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(at, ec))) return at.string();
        const fs::path link = fs::read_symlink(at, ec);
        if (ec) return at.string();
        at = link.is_absolute() ? link : at.parent_path() / link;
    }
    errno = ELOOP;
    return std::string();
}

// Creates a new file ".NAME.NNNNNN.partial" in the folder of `target`: hidden, never the name
// of a file that was there, never shared with another run. An existing target's permissions go
// with it from the start. Empty, with errno, when none can be made.
std::string create_temporary_beside(const std::string& target) {
    const fs::path at(target);
    std::random_device seed;
    for (int attempt = 0; attempt < k_name_attempts; ++attempt) {
        const std::string name =
            "." + at.filename().string() + "." + std::to_string(seed() % 1000000) + ".partial";
        const std::string temporary = (at.parent_path() / name).string();
        if (create_new_file(temporary, target)) return temporary;
        if (errno != EEXIST) break;
    }
    return std::string();
}

std::string cannot_write(const std::string& path, int why) {
    return path + ": cannot write: " + std::strerror(why);
}

}  // namespace

bool can_create(const std::string& path, std::string& error) {
    const std::string target = follow_links(path);
    if (target.empty()) {
        error = cannot_write(path, errno);
        return false;
    }
    std::error_code ec;
    if (fs::is_directory(target, ec)) {
        error = path + ": cannot write: it is a folder";
        return false;
    }
    if (fs::exists(target, ec) && !may_replace(target)) {
        error = path + ": cannot write: the file is read-only; it is left as it is";
        return false;
    }
    const std::string probe = create_temporary_beside(target);
    if (probe.empty()) {
        error = cannot_write(path, errno);
        return false;
    }
    std::remove(probe.c_str());
    return true;
}

PendingOutput::PendingOutput(std::string path) : path_(std::move(path)) {
    target_ = follow_links(path_);
    if (!target_.empty()) temporary_ = create_temporary_beside(target_);
    if (temporary_.empty()) temporary_errno_ = errno;
}

PendingOutput::~PendingOutput() {
    if (!committed_ && !temporary_.empty()) std::remove(temporary_.c_str());
}

bool PendingOutput::write(const std::function<bool(const std::string&, std::string&)>& writer,
                          std::string& error) {
    if (temporary_.empty()) {
        error = cannot_write(path_, temporary_errno_);
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
    // Once more at the end: a writer may have put a new file in the temporary's place.
    if (!take_over_attributes(target_, temporary_) || !sync_to_disk(temporary_)) {
        error = cannot_write(path_, errno);
        return false;
    }
    std::error_code ec;
    fs::rename(temporary_, target_, ec);
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
