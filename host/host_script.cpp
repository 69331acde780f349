#include "host_script.h"

#include "host_resources.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tray_spy.h"

namespace {

constexpr const char* k_window_caption = "Varnolt 1.0 for Winamp";
constexpr UINT k_tray_message = WM_USER;
constexpr DWORD k_dialog_wait_ms = 10000;

HWND plugin_window() {
    return FindWindowA(nullptr, k_window_caption);
}

bool to_int(const std::string& word, int& value) {
    char* end = nullptr;
    const long v = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end) return false;
    value = static_cast<int>(v);
    return true;
}

bool save_bitmap(HWND window, const std::string& path, std::string& error) {
    RECT client;
    GetClientRect(window, &client);
    const int w = client.right, h = client.bottom;
    HDC window_context = GetDC(window);
    HDC memory = CreateCompatibleDC(window_context);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;  // bottom-up, as a BMP file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(window_context, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, window_context, 0, 0, SRCCOPY);
    GdiFlush();
    bool ok = false;
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        const DWORD image_bytes = static_cast<DWORD>(w) * h * 4;
        BITMAPFILEHEADER header = {};
        header.bfType = 0x4D42;
        header.bfOffBits = sizeof header + sizeof info.bmiHeader;
        header.bfSize = header.bfOffBits + image_bytes;
        ok = std::fwrite(&header, sizeof header, 1, file) == 1 &&
             std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file) == 1 &&
             std::fwrite(bits, 1, image_bytes, file) == image_bytes;
        std::fclose(file);
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, window_context);
    if (!ok) error = "cannot write " + path;
    return ok;
}

// Waits for the next common file dialog of this process and answers it with the path.
DWORD WINAPI answer_file_dialog(void* argument) {
    std::string* path = static_cast<std::string*>(argument);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < k_dialog_wait_ms) {
        HWND dialog = nullptr;
        while ((dialog = FindWindowExA(nullptr, dialog, "#32770", nullptr)) != nullptr) {
            DWORD process = 0;
            GetWindowThreadProcessId(dialog, &process);
            if (process != GetCurrentProcessId() || !IsWindowVisible(dialog)) continue;
            char caption[64] = {};
            GetWindowTextA(dialog, caption, sizeof caption);
            if (std::string(caption).find("Varnolt") != std::string::npos) continue;
            // The file name box: the combo box edit of the explorer style, or the plain edit.
            HWND name = GetDlgItem(dialog, 1148);
            if (!name) name = GetDlgItem(dialog, 1152);
            if (!name) continue;
            SetWindowTextA(name, path->c_str());
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            delete path;
            return 0;
        }
        Sleep(50);
    }
    std::fprintf(stderr, "vhost: no file dialog appeared\n");
    delete path;
    return 1;
}

}  // namespace

void pump_messages_for(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

bool parse_script(const std::string& text, std::vector<ScriptStep>& steps, std::string& error) {
    std::string normalised = text;
    for (char& c : normalised)
        if (c == ';') c = '\n';
    std::istringstream lines(normalised);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        ScriptStep step;
        std::string word;
        while (words >> word) step.words.push_back(word);
        if (step.words.empty()) continue;
        if (step.words[0][0] == '@') {
            const std::string when = step.words[0].substr(1);
            int block = 0;
            if (when == "end") {
                step.block = k_step_at_end;
            } else if (to_int(when, block) && block >= 0) {
                step.block = block;
            } else {
                error = "bad step time " + step.words[0];
                return false;
            }
            step.words.erase(step.words.begin());
            if (step.words.empty()) {
                error = "no command after " + when;
                return false;
            }
        }
        steps.push_back(step);
    }
    return true;
}

namespace {

// Whether a step was one of a pass's words, and if so whether it ran.
enum class StepResult { not_mine, ran, failed };

StepResult outcome(bool ran) {
    return ran ? StepResult::ran : StepResult::failed;
}

// The steps that address the module or the host, with or without a window.
StepResult run_host_step(const std::vector<std::string>& w, varnolt::DspModule* module) {
    const std::string& name = w[0];
    int value = 0;
    if (name == "config") {
        module->Config(module);
        return StepResult::ran;
    }
    if (name == "quit-init") {
        module->Quit(module);
        std::printf("Init returned %d\n", module->Init(module));
        std::fflush(stdout);
        pump_messages_for(0);
        return StepResult::ran;
    }
    if (name == "tray-picture") {
        pump_messages_for(0);
        std::printf("tray picture: %s (%d drawn)\n", tray_picture().c_str(), tray_picture_count());
        std::fflush(stdout);
        return StepResult::ran;
    }
    if (name == "wait" && w.size() == 2 && to_int(w[1], value)) {
        pump_messages_for(static_cast<DWORD>(value));
        return StepResult::ran;
    }
    if (name == "resources") {
        std::printf("%s\n", resource_line(count_resources()).c_str());
        std::fflush(stdout);
        return StepResult::ran;
    }
    if (name == "file-dialog" && w.size() == 2) {
        HANDLE thread =
            CreateThread(nullptr, 0, answer_file_dialog, new std::string(w[1]), 0, nullptr);
        if (thread) CloseHandle(thread);
        return outcome(thread != nullptr);
    }
    return StepResult::not_mine;
}

// The steps that address the window as a whole: its visibility, closing, picture, tray icon.
StepResult run_window_step(const std::vector<std::string>& w, HWND window, std::string& error) {
    const std::string& name = w[0];
    if (name == "visible") {
        std::printf("visible: %d\n", IsWindowVisible(window) ? 1 : 0);
        return StepResult::ran;
    }
    if (name == "close") {
        SendMessageA(window, WM_CLOSE, 0, 0);
        return StepResult::ran;
    }
    if (name == "screenshot" && w.size() == 2) return outcome(save_bitmap(window, w[1], error));
    if (name == "tray" && w.size() == 2) {
        const struct {
            const char* word;
            UINT message;
        } mice[] = {{"ldown", WM_LBUTTONDOWN},
                    {"lup", WM_LBUTTONUP},
                    {"rdown", WM_RBUTTONDOWN},
                    {"rup", WM_RBUTTONUP},
                    {"ldouble", WM_LBUTTONDBLCLK}};
        for (const auto& m : mice)
            if (w[1] == m.word) {
                SendMessageA(window, k_tray_message, 0, m.message);
                return StepResult::ran;
            }
        error = "unknown mouse message " + w[1];
        return StepResult::failed;
    }
    return StepResult::not_mine;
}

// The steps that address one control by its id: "click 1001", "slider 1010 40", ...
bool run_control_step(const std::vector<std::string>& w, HWND window, std::string& error) {
    const std::string& name = w[0];
    int id = 0, value = 0;
    if (w.size() < 2 || !to_int(w[1], id)) {
        error = "bad step: " + name;
        return false;
    }
    HWND control = GetDlgItem(window, id);
    if (!control) {
        error = "no control " + w[1];
        return false;
    }
    if (name == "click") {
        SendMessageA(control, BM_CLICK, 0, 0);
    } else if (name == "command") {
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(control));
    } else if (name == "slider" && w.size() == 3 && to_int(w[2], value)) {
        SendMessageA(control, TBM_SETPOS, TRUE, value);
        const bool vertical = (GetWindowLongA(control, GWL_STYLE) & TBS_VERT) != 0;
        SendMessageA(window, vertical ? WM_VSCROLL : WM_HSCROLL,
                     MAKEWPARAM(TB_THUMBPOSITION, value), reinterpret_cast<LPARAM>(control));
    } else if (name == "label") {
        char text[64] = {};
        GetWindowTextA(control, text, sizeof text);
        std::printf("label %d: %s\n", id, text);
    } else if (name == "checked") {
        pump_messages_for(0);  // the window posts its check marks
        std::printf("checked %d: %d\n", id,
                    SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
    } else if (name == "slider-pos") {
        std::printf("slider %d: %d\n", id,
                    static_cast<int>(SendMessageA(control, TBM_GETPOS, 0, 0)));
    } else {
        error = "bad step: " + name;
        return false;
    }
    std::fflush(stdout);
    return true;
}

}  // namespace

bool run_step(const ScriptStep& step, varnolt::DspModule* module, std::string& error) {
    const StepResult host = run_host_step(step.words, module);
    if (host != StepResult::not_mine) return host == StepResult::ran;
    HWND window = plugin_window();
    if (!window) {
        error = "the configuration window does not exist";
        return false;
    }
    const StepResult whole = run_window_step(step.words, window, error);
    if (whole != StepResult::not_mine) return whole == StepResult::ran;
    return run_control_step(step.words, window, error);
}
