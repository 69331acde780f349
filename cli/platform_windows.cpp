#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform.h"

namespace varnolt::cli {
namespace {

// One argument as the C runtime's command-line parser reads it back: quoted when it holds
// blanks or quotes, backslashes doubled where they precede a quote.
std::string quoted_argument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    int backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, '\\');
    return out + "\"";
}

}  // namespace

std::string own_program_path() {
    char path[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    return n > 0 ? std::string(path, n) : std::string("varnolt.exe");
}

void set_environment(const char* name, const char* value) {
    _putenv_s(name, value ? value : "");
}

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

bool create_new_file(const std::string& path) {
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

bool may_replace(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    return (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

bool start_child(const std::vector<std::string>& args, ChildProcess& child) {
    std::string command;
    for (const std::string& a : args) command += (command.empty() ? "" : " ") + quoted_argument(a);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const std::string program = own_program_path();
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    child.handle = reinterpret_cast<long long>(process.hProcess);
    return true;
}

void stop_child(const ChildProcess& child) {
    // 143, as a SIGTERM would leave it.
    TerminateProcess(reinterpret_cast<HANDLE>(child.handle), 143);
}

int wait_for_child(const std::vector<ChildProcess>& children, int timeout_ms, int& exit_code) {
    std::vector<HANDLE> handles;
    for (const ChildProcess& c : children) handles.push_back(reinterpret_cast<HANDLE>(c.handle));
    const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(),
                                           FALSE, static_cast<DWORD>(timeout_ms));
    if (r < WAIT_OBJECT_0 || r >= WAIT_OBJECT_0 + handles.size()) return -1;
    const int index = static_cast<int>(r - WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(handles[index], &code);
    CloseHandle(handles[index]);
    exit_code = static_cast<int>(code);
    return index;
}

}  // namespace varnolt::cli
