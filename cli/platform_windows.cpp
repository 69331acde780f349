#include <io.h>
#include <windows.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform.h"

namespace varnolt::cli {

bool stderr_is_terminal() {
    return _isatty(_fileno(stderr)) != 0;
}

int terminal_columns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

int processor_count() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

bool create_new_file(const std::string& path, const std::string&) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD why = GetLastError();
        errno = why == ERROR_FILE_EXISTS || why == ERROR_ALREADY_EXISTS ? EEXIST : EACCES;
        return false;
    }
    CloseHandle(file);
    return true;
}

bool take_over_attributes(const std::string&, const std::string&) {
    // A new file takes the folder's permissions; the read-only attribute an output may carry
    // makes the tool refuse it before anything is written.
    return true;
}

bool sync_to_disk(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errno = EACCES;
        return false;
    }
    const bool flushed = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    if (!flushed) errno = EIO;
    return flushed;
}

bool signal_is_ignored(int number) {
    // The C runtime tells the handler only by replacing it: put the one found back at once.
    const auto found = std::signal(number, SIG_IGN);
    std::signal(number, found);
    return found == SIG_IGN;
}

int locale_character_columns(char32_t) {
    return -1;
}

bool may_replace(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    return (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

}  // namespace varnolt::cli
