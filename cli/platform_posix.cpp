#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cwchar>

#include "platform.h"

namespace varnolt::cli {

bool stderr_is_terminal() {
    return isatty(STDERR_FILENO) != 0;
}

int terminal_columns() {
    winsize size = {};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

int processor_count() {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

bool create_new_file(const std::string& path, const std::string& like) {
    struct stat model;
    const bool modelled = stat(like.c_str(), &model) == 0;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        modelled ? S_IRUSR | S_IWUSR : 0666);
    if (fd < 0) return false;
    const bool set = !modelled || fchmod(fd, (model.st_mode & 0777) | S_IRUSR | S_IWUSR) == 0;
    const int why = errno;
    close(fd);
    if (!set) {
        unlink(path.c_str());
        errno = why;
    }
    return set;
}

bool take_over_attributes(const std::string& from, const std::string& to) {
    struct stat info;
    if (stat(from.c_str(), &info) != 0) return true;  // nothing there to take after
    // Owner and group first: a change of owner clears the set-user-ID bit that chmod then sets.
    if (chown(to.c_str(), info.st_uid, info.st_gid) != 0 && errno == EPERM)
        (void)chown(to.c_str(), static_cast<uid_t>(-1), info.st_gid);
    return chmod(to.c_str(), info.st_mode & 07777) == 0;
}

bool sync_to_disk(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = fsync(fd) == 0;
    const int why = errno;
    close(fd);
    errno = why;
    return synced;
}

bool signal_is_ignored(int number) {
    struct sigaction current = {};
    return sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

int locale_character_columns(char32_t c) {
    return wcwidth(static_cast<wchar_t>(c));
}

bool may_replace(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return true;
    return access(path.c_str(), W_OK) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

}  // namespace varnolt::cli
