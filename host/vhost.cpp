// vhost: a stand-in for the media player, used to test the DSP plug-in for real. It loads the
// DLL only through its export, calls Init, Config and Quit on its main thread, which runs a
// message loop, and streams a WAV file through ModifySamples on a separate playback thread, as
// the player does.

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host_options.h"
#include "host_resources.h"
#include "host_script.h"
#include "plugin/winamp_dsp.h"
#include "tray_spy.h"
#include "wav_file.h"

namespace {

using varnolt::DspHeader;
using varnolt::DspModule;
using GetHeader = DspHeader*(__cdecl*)(HWND);

constexpr UINT k_playback_done = WM_APP + 1;
constexpr UINT k_run_steps = WM_APP + 2;  // wParam: the block the playback thread waits before
constexpr int k_probe_indices[] = {-1, 0, 1, 2, 3};

int fail(const std::string& message) {
    std::fprintf(stderr, "vhost: %s\n", message.c_str());
    return 1;
}

// The script and how far it has run; steps run on the main thread only.
struct Script {
    std::vector<ScriptStep> steps;
    std::size_t next = 0;
    std::string error;

    long long next_block() const { return next < steps.size() ? steps[next].block : k_step_at_end; }

    // Runs the steps due at `block` (or all of one kind when block is a marker).
    void run_until(long long block, DspModule* module) {
        while (next < steps.size()) {
            const long long at = steps[next].block;
            const bool due = block >= 0 ? at >= 0 && at <= block : at == block;
            if (!due) break;
            std::string reason;
            if (!run_step(steps[next], module, reason) && error.empty()) error = reason;
            ++next;
        }
    }
};

struct Playback {
    DspModule* module = nullptr;
    Script* script = nullptr;
    HANDLE steps_done = nullptr;
    const PcmAudio* input = nullptr;
    PcmAudio output;
    int block_frames = 0;
    DWORD main_thread = 0;
    long long blocks = 0;
    std::string error;
};

// The player hands each block in a buffer with room for twice its frames.
DWORD WINAPI play(void* argument) {
    Playback& p = *static_cast<Playback*>(argument);
    const PcmAudio& in = *p.input;
    const int frame_bytes = in.bytes_per_frame();
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(2) * p.block_frames * frame_bytes);
    // The output takes as much room as the input: made up front, so that the host's own memory
    // stays flat while the long runs watch the plug-in's.
    std::vector<std::uint8_t>& out = p.output.bytes;
    out.assign(in.bytes.size(), 0);
    std::size_t written = 0;
    long long block = 0;
    for (long long start = 0; start < in.frames(); start += p.block_frames, ++block) {
        const long long due = p.script->next_block();
        if (due >= 0 && due <= block) {
            // The window actions run on the main thread while this block waits.
            PostThreadMessageA(p.main_thread, k_run_steps, static_cast<WPARAM>(block), 0);
            WaitForSingleObject(p.steps_done, INFINITE);
        }
        const int frames =
            static_cast<int>(std::min<long long>(p.block_frames, in.frames() - start));
        std::copy_n(in.bytes.begin() + start * frame_bytes, frames * frame_bytes, buffer.begin());
        int returned = p.module->ModifySamples(p.module, reinterpret_cast<short*>(buffer.data()),
                                               frames, in.bits, in.channels, in.sample_rate);
        if (returned < 0 || returned > 2 * frames) {
            p.error = "ModifySamples returned " + std::to_string(returned) + " for " +
                      std::to_string(frames) + " frames";
            break;
        }
        const std::size_t bytes = static_cast<std::size_t>(returned) * frame_bytes;
        if (written + bytes > out.size()) out.resize(written + bytes);
        std::copy_n(buffer.begin(), bytes, out.begin() + static_cast<std::ptrdiff_t>(written));
        written += bytes;
        ++p.blocks;
    }
    out.resize(written);
    PostThreadMessageA(p.main_thread, k_playback_done, 0, 0);
    return 0;
}

// Runs the main thread's message loop until the playback thread reports the end.
void pump_messages_until_done(Playback& playback) {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == k_playback_done) return;
        if (message.hwnd == nullptr && message.message == k_run_steps) {
            playback.script->run_until(static_cast<long long>(message.wParam), playback.module);
            SetEvent(playback.steps_done);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Drains what is already queued, so windows the plug-in created get their start-up messages.
void pump_pending_messages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

HWND create_player_window() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "VhostPlayer";
    RegisterClassA(&window_class);
    return CreateWindowA("VhostPlayer", "vhost player", WS_OVERLAPPEDWINDOW, 0, 0, 320, 120,
                         nullptr, nullptr, window_class.hInstance, nullptr);
}

void set_profile_dir(const std::string& dir) {
    // The plug-in reads the C runtime's copy of the environment; both share msvcrt.dll.
    std::string assignment = "USERPROFILE=" + dir;
    _putenv(assignment.c_str());
    SetEnvironmentVariableA("USERPROFILE", dir.c_str());
}

void list_records(DspHeader* header) {
    std::printf("header version 0x%x\n", header->version);
    std::printf("header description %s\n", header->description ? header->description : "(null)");
    for (int index : k_probe_indices) {
        DspModule* module = header->getModule(index);
        if (module)
            std::printf("module %d: %s\n", index,
                        module->description ? module->description : "(null)");
        else
            std::printf("module %d: null\n", index);
    }
}

// Init, the optional Config, playing with the script's steps, and Quit; false when playing
// could not start.
bool run_session(DspModule* module, const HostOptions& options, const PcmAudio& input,
                 Script& script, Playback& playback) {
    int init_result = module->Init(module);
    std::printf("Init returned %d\n", init_result);
    if (options.init_twice) std::printf("Init returned %d\n", module->Init(module));
    pump_pending_messages();
    if (options.config_before_play) {
        module->Config(module);
        std::printf("Config called\n");
        pump_pending_messages();
    }

    script.run_until(k_step_before_playing, module);
    pump_pending_messages();

    playback.script = &script;
    playback.module = module;
    if (!options.input_path.empty()) {
        playback.input = &input;
        playback.output.channels = input.channels;
        playback.output.sample_rate = input.sample_rate;
        playback.output.bits = input.bits;
        playback.block_frames = options.block_frames;
        playback.main_thread = GetCurrentThreadId();
        playback.steps_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        HANDLE thread = CreateThread(nullptr, 0, play, &playback, 0, nullptr);
        if (!thread) {
            playback.error = "cannot start the playback thread";
            return false;
        }
        pump_messages_until_done(playback);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CloseHandle(playback.steps_done);
        std::printf("played %lld frames in %lld blocks of up to %d\n", playback.output.frames(),
                    playback.blocks, options.block_frames);
    }

    // Steps for blocks the recording did not reach run now, then those for the end.
    script.run_until(LLONG_MAX, module);
    script.run_until(k_step_at_end, module);
    pump_pending_messages();

    module->Quit(module);
    std::printf("Quit called\n");
    if (options.config_after_quit) {
        module->Config(module);
        pump_pending_messages();
        module->Quit(module);
        std::printf("Config after Quit, then Quit called\n");
    }
    return true;
}

// After each of several Init/Quit cycles: what the process holds, and the settings file as
// the cycle left it (its size and a hash of its bytes).
void report_cycle(int cycle, const std::string& profile_dir) {
    const std::string ini = (profile_dir.empty() ? "." : profile_dir) + "\\dsp_varnolt.ini";
    std::uint64_t hash = 1469598103934665603ull;
    long long size = -1;
    if (FILE* file = std::fopen(ini.c_str(), "rb")) {
        size = 0;
        for (int c; (c = std::fgetc(file)) != EOF; ++size) {
            hash ^= static_cast<std::uint8_t>(c);
            hash *= 1099511628211ull;
        }
        std::fclose(file);
    }
    std::printf("cycle %d: %s ini %lld bytes hash %016llx\n", cycle,
                resource_line(count_resources()).c_str(), size,
                static_cast<unsigned long long>(hash));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    HostOptions options;
    std::string error;
    if (!parse_host_options(argc, argv, options, error)) {
        std::fprintf(stderr, "vhost: %s\n%s", error.c_str(), k_host_usage);
        return 2;
    }
    if (!options.profile_dir.empty()) set_profile_dir(options.profile_dir);

    PcmAudio input;
    if (!options.input_path.empty() && !read_wav(options.input_path, input, error))
        return fail(error);
    Script script;
    if (!parse_script(options.script, script.steps, error)) return fail(error);

    HMODULE library = LoadLibraryA(options.plugin_path.c_str());
    if (!library)
        return fail("cannot load " + options.plugin_path + " (error " +
                    std::to_string(GetLastError()) + ")");
    FARPROC export_address = GetProcAddress(library, "winampDSPGetHeader2");
    auto get_header = reinterpret_cast<GetHeader>(reinterpret_cast<void*>(export_address));
    if (!get_header) return fail(options.plugin_path + " does not export winampDSPGetHeader2");

    // The tests read the tray icon's picture through this; a plug-in without one still plays.
    std::string spy_error;
    install_tray_spy(library, spy_error);

    HWND player = create_player_window();
    DspHeader* header = get_header(player);
    if (!header) return fail("winampDSPGetHeader2 returned null");
    if (options.list_only) {
        list_records(header);
        return 0;
    }

    DspModule* module = header->getModule(options.module_index);
    if (!module) return fail("the plug-in has no module " + std::to_string(options.module_index));
    module->hwndParent = player;
    module->hDllInstance = library;
    std::printf("module %d: %s\n", options.module_index, module->description);

    Playback playback;
    for (int cycle = 1; cycle <= options.cycles; ++cycle) {
        playback = Playback{};
        if (!run_session(module, options, input, script, playback)) break;
        if (options.cycles > 1) report_cycle(cycle, options.profile_dir);
    }

    if (!playback.error.empty()) return fail(playback.error);
    if (!script.error.empty()) return fail("script: " + script.error);
    if (!options.output_path.empty() && !write_wav(options.output_path, playback.output, error))
        return fail(error);
    FreeLibrary(library);
    DestroyWindow(player);
    return 0;
}
