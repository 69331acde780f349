// vhost_reload: the player as a listener drives it while trying DSP plug-ins in turn. Each cycle
// loads the DLL, takes the header and a module through the export, calls Init (and in some
// cycles Config) on the main thread, which runs the message loop, plays the recording through
// ModifySamples on a playback thread in 576-frame blocks, calls Quit, frees the library and goes
// on running for a while, as the player plays on with another plug-in. After each cycle it prints
// what the process holds (threads, handles, GDI and USER objects, private bytes), whether the
// DLL is still mapped, and how far the cycle's output lies from the first cycle's.
//
// Every stage is switched on through the settings file, written anew before each load so that
// every cycle starts from the same file: whatever differs between the cycles' outputs beyond
// the dither was kept by the process.

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host_resources.h"
#include "player_stack.h"
#include "plugin/winamp_dsp.h"
#include "wav_file.h"

namespace {

using varnolt::DspHeader;
using varnolt::DspModule;

constexpr const char* k_usage =
    "usage: vhost_reload [options] PLUGIN.dll[:MODULE] IN.wav\n"
    "  --cycles N          load, play and unload N times (default 6)\n"
    "  --module N          module index (default 0; same as PLUGIN.dll:N)\n"
    "  --config-every N    call Config after Init in every Nth cycle (default 2; 0: never)\n"
    "  --settle-ms MS      run on for MS after FreeLibrary before counting (default 1000)\n"
    "  --profile DIR       USERPROFILE seen by the plug-in; dsp_varnolt.ini is written there\n"
    "  --keep-ini          play with the settings file as it is instead of writing one\n"
    "  --threads N         OMP_NUM_THREADS for the plug-in's OpenMP runtime\n"
    "  --stack-offset N    ESP mod 16 at every call into the plug-in on i386: 0, 4, 8 or 12,\n"
    "                      or 'plain' (default 4; calls are always plain elsewhere)\n"
    "Per cycle one line: cycle N: ... threads-after N mapped-after 0|1 ... max-diff N\n"
    "beyond-dither N resources: gdi N user N handles N private N\n";

// The player's usual block.
constexpr int k_block_frames = 576;
// Output differences of this many steps of the output's last bit or fewer are the dither: it
// comes from the C runtime's rand(), whose sequence depends on what called it before.
constexpr long long k_dither_steps = 2;
// Every stage the plug-in has; azimuth correction is on by default.
constexpr const char* k_every_stage_on =
    "[Bias]\r\nEnabled=1\r\n"
    "[Dolby B Remover]\r\nEnabled=1\r\n"
    "[FM stereo noise filter]\r\nEnabled=1\r\n"
    "[Singleband Compressor]\r\nEnabled=1\r\n";

constexpr UINT k_playback_done = WM_APP + 1;
constexpr UINT k_redraw_dialogs = WM_APP + 2;
// The playback thread asks the main thread to repaint the dialog this often, as a player's
// own windows and the plug-in's displays keep the window thread busy while music plays.
constexpr int k_redraw_every_blocks = 40;

using GetHeader = DspHeader*(__cdecl*)(HWND);

struct ReloadOptions {
    std::string plugin_path;
    std::string input_path;
    int module_index = 0;
    int cycles = 6;
    int config_every = 2;
    int settle_ms = 1000;
    std::string profile_dir;
    bool keep_ini = false;
    int threads = 0;        // 0: the environment's
    int stack_offset = -2;  // -2: the build's default
};

int fail(const std::string& message) {
    std::fprintf(stderr, "vhost_reload: %s\n", message.c_str());
    return 1;
}

bool parse_whole(const std::string& text, int low, int high, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < low || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

bool parse_options(int argc, char** argv, ReloadOptions& o, std::string& error) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        auto number = [&](int low, int high, int& target) {
            if (!has_value || !parse_whole(argv[++i], low, high, target)) {
                error = arg + " needs a whole number from " + std::to_string(low) + " to " +
                        std::to_string(high);
                return false;
            }
            return true;
        };
        if (arg == "--cycles") {
            if (!number(1, 100000, o.cycles)) return false;
        } else if (arg == "--module") {
            if (!number(0, 1000, o.module_index)) return false;
        } else if (arg == "--config-every") {
            if (!number(0, 100000, o.config_every)) return false;
        } else if (arg == "--settle-ms") {
            if (!number(0, 600000, o.settle_ms)) return false;
        } else if (arg == "--threads") {
            if (!number(1, 64, o.threads)) return false;
        } else if (arg == "--stack-offset") {
            if (has_value && std::string(argv[i + 1]) == "plain") {
                o.stack_offset = -1;
                ++i;
            } else if (!number(0, 12, o.stack_offset) || o.stack_offset % 4 != 0) {
                error = "--stack-offset needs 0, 4, 8, 12 or 'plain'";
                return false;
            }
        } else if (arg == "--profile") {
            if (!has_value) {
                error = "--profile needs a folder";
                return false;
            }
            o.profile_dir = argv[++i];
        } else if (arg == "--keep-ini") {
            o.keep_ini = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) {
        error = "give the plug-in and IN.wav";
        return false;
    }
    o.plugin_path = positional[0];
    o.input_path = positional[1];
    // "PLUGIN.dll:1" picks the module; a drive letter's colon is at index 1.
    const std::size_t colon = o.plugin_path.rfind(':');
    if (colon != std::string::npos && colon > 1) {
        if (!parse_whole(o.plugin_path.substr(colon + 1), 0, 1000, o.module_index)) {
            error = "bad module index in " + o.plugin_path;
            return false;
        }
        o.plugin_path.resize(colon);
    }
    return true;
}

void set_environment(const char* name, const std::string& value) {
    // The plug-in reads the C runtime's copy of the environment; both share msvcrt.dll.
    const std::string assignment = std::string(name) + "=" + value;
    _putenv(assignment.c_str());
    SetEnvironmentVariableA(name, value.c_str());
}

std::string ini_path(const ReloadOptions& o) {
    return (o.profile_dir.empty() ? std::string(".") : o.profile_dir) + "\\dsp_varnolt.ini";
}

bool write_settings(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const std::string text = k_every_stage_on;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

unsigned long count_threads() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    const DWORD self = GetCurrentProcessId();
    unsigned long count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == self) ++count;
        entry.dwSize = sizeof entry;
    }
    CloseHandle(snapshot);
    return count;
}

BOOL CALLBACK collect_dialog(HWND window, LPARAM list) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == "#32770")
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// The plug-in's dialogs: the main thread's top-level dialog windows.
std::vector<HWND> plugin_dialogs() {
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), collect_dialog, reinterpret_cast<LPARAM>(&dialogs));
    return dialogs;
}

// Repaints the dialogs at once: the dialog procedure runs inside this call.
int redraw_dialogs() {
    const std::vector<HWND> dialogs = plugin_dialogs();
    for (HWND dialog : dialogs)
        player_redraw_window(dialog, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    return static_cast<int>(dialogs.size());
}

// Sends each dialog WM_NULL, on which the plug-in reads all its controls back, then repaints
// it: the dialog procedure's own work, run inside calls the player makes.
int exercise_dialogs() {
    for (HWND dialog : plugin_dialogs()) player_send_message(dialog, WM_NULL, 0, 0);
    return redraw_dialogs();
}

void dispatch(const MSG& message) {
    if (message.hwnd == nullptr && message.message == k_redraw_dialogs) {
        redraw_dialogs();
        return;
    }
    TranslateMessage(&message);
    player_dispatch_message(&message);
}

void pump_pending_messages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) dispatch(message);
}

// Runs the message loop for `ms`, as the player does while it plays on.
void pump_messages_for(DWORD ms) {
    const DWORD start = GetTickCount();
    for (DWORD passed = 0; passed < ms; passed = GetTickCount() - start) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - passed, QS_ALLINPUT);
        pump_pending_messages();
    }
}

struct Playback {
    DspModule* module = nullptr;
    const PcmAudio* input = nullptr;
    DWORD main_thread = 0;
    std::vector<std::uint8_t> output;
    unsigned long threads_playing = 0;  // counted after the last block, the team still up
    std::string error;
};

// The player hands each block in a buffer with room for twice its frames.
DWORD WINAPI play(void* argument) {
    Playback& p = *static_cast<Playback*>(argument);
    const PcmAudio& in = *p.input;
    const int frame_bytes = in.bytes_per_frame();
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(2) * k_block_frames * frame_bytes);
    long long block = 0;
    for (long long start = 0; start < in.frames(); start += k_block_frames, ++block) {
        const int frames =
            static_cast<int>(std::min<long long>(k_block_frames, in.frames() - start));
        std::copy_n(in.bytes.begin() + start * frame_bytes, frames * frame_bytes, buffer.begin());
        const int returned =
            player_modify_samples(p.module, reinterpret_cast<short*>(buffer.data()), frames,
                                  in.bits, in.channels, in.sample_rate);
        if (returned < 0 || returned > 2 * frames) {
            p.error = "ModifySamples returned " + std::to_string(returned) + " for " +
                      std::to_string(frames) + " frames";
            break;
        }
        p.output.insert(p.output.end(), buffer.begin(),
                        buffer.begin() + static_cast<std::ptrdiff_t>(returned) * frame_bytes);
        if (block % k_redraw_every_blocks == 0)
            PostThreadMessageA(p.main_thread, k_redraw_dialogs, 0, 0);
    }
    p.threads_playing = count_threads();
    PostThreadMessageA(p.main_thread, k_playback_done, 0, 0);
    return 0;
}

bool play_through(DspModule* module, const PcmAudio& input, Playback& playback) {
    playback.module = module;
    playback.input = &input;
    playback.main_thread = GetCurrentThreadId();
    playback.output.reserve(input.bytes.size() + 2 * k_block_frames * input.bytes_per_frame());
    HANDLE thread = CreateThread(nullptr, 0, play, &playback, 0, nullptr);
    if (!thread) {
        playback.error = "cannot start the playback thread";
        return false;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == k_playback_done) break;
        dispatch(message);
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return playback.error.empty();
}

// Sample `index` of little-endian PCM of `bits` (8 unsigned, others signed), as a number.
long long sample_at(const std::vector<std::uint8_t>& bytes, std::size_t index, int bits) {
    const int width = bits / 8;
    const std::uint8_t* at = bytes.data() + index * width;
    if (bits == 8) return static_cast<long long>(at[0]) - 128;
    std::uint32_t value = 0;
    for (int b = 0; b < width; ++b) value |= static_cast<std::uint32_t>(at[b]) << (8 * b);
    const int unused = 32 - bits;
    return static_cast<std::int32_t>(value << unused) >> unused;
}

struct Difference {
    long long largest = 0;        // in steps of the last bit
    long long beyond_dither = 0;  // samples further apart than the dither moves them
};

Difference compare(const std::vector<std::uint8_t>& first, const std::vector<std::uint8_t>& now,
                   int bits) {
    Difference d;
    const std::size_t samples = std::min(first.size(), now.size()) / (bits / 8);
    for (std::size_t i = 0; i < samples; ++i) {
        const long long apart = std::llabs(sample_at(first, i, bits) - sample_at(now, i, bits));
        d.largest = std::max(d.largest, apart);
        d.beyond_dither += apart > k_dither_steps;
    }
    return d;
}

std::uint64_t fnv1a(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t hash = 1469598103934665603ull;
    for (std::uint8_t b : bytes) {
        hash ^= b;
        hash *= 1099511628211ull;
    }
    return hash;
}

HWND create_player_window() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "VhostReloadPlayer";
    RegisterClassA(&window_class);
    return CreateWindowA("VhostReloadPlayer", "vhost_reload player", WS_OVERLAPPEDWINDOW, 0, 0, 320,
                         120, nullptr, nullptr, window_class.hInstance, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    ReloadOptions options;
    std::string error;
    if (!parse_options(argc, argv, options, error)) {
        std::fprintf(stderr, "vhost_reload: %s\n%s", error.c_str(), k_usage);
        return 2;
    }
    if (options.stack_offset != -2) set_player_stack_offset(options.stack_offset);
    char stack_error[128] = {};
    if (!player_stack_works(stack_error, sizeof stack_error))
        return fail(std::string("the calls with the player's stack do not work: ") + stack_error);
    if (!options.profile_dir.empty()) set_environment("USERPROFILE", options.profile_dir);
    // Read by the OpenMP runtime when the DLL starts, so before every load.
    if (options.threads > 0) set_environment("OMP_NUM_THREADS", std::to_string(options.threads));

    PcmAudio input;
    if (!read_wav(options.input_path, input, error)) return fail(error);
    if (input.frames() == 0) return fail("the recording is empty");

    HWND player = create_player_window();
    pump_pending_messages();
    std::printf(
        "reload: module %d, %d cycles of %lld frames, stack offset %d, threads at start %lu\n",
        options.module_index, options.cycles, input.frames(), player_stack_offset(),
        count_threads());
    std::fflush(stdout);

    std::vector<std::uint8_t> first_output;
    for (int cycle = 1; cycle <= options.cycles; ++cycle) {
        if (!options.keep_ini && !write_settings(ini_path(options)))
            return fail("cannot write " + ini_path(options));
        const unsigned long threads_before = count_threads();
        const bool mapped_before = GetModuleHandleA(options.plugin_path.c_str()) != nullptr;

        HMODULE library = LoadLibraryA(options.plugin_path.c_str());
        if (!library)
            return fail("cycle " + std::to_string(cycle) + ": cannot load " + options.plugin_path +
                        " (error " + std::to_string(GetLastError()) + ")");
        void* get_header = reinterpret_cast<void*>(GetProcAddress(library, "winampDSPGetHeader2"));
        if (!get_header) return fail(options.plugin_path + " does not export winampDSPGetHeader2");
        DspHeader* header = player_get_header(get_header, player);
        if (!header) return fail("winampDSPGetHeader2 returned null");
        DspModule* module = player_get_module(header, options.module_index);
        if (!module)
            return fail("the plug-in has no module " + std::to_string(options.module_index));
        module->hwndParent = player;
        module->hDllInstance = library;

        const int init_result = player_init(module);
        pump_pending_messages();
        const bool config = options.config_every > 0 && cycle % options.config_every == 0;
        if (config) {
            player_config(module);
            pump_pending_messages();
        }
        const int dialogs = exercise_dialogs();

        Playback playback;
        const bool played = play_through(module, input, playback);
        pump_pending_messages();
        player_quit(module);
        pump_pending_messages();
        const BOOL freed = FreeLibrary(library);
        pump_messages_for(static_cast<DWORD>(options.settle_ms));

        const bool mapped_after = GetModuleHandleA(options.plugin_path.c_str()) != nullptr;
        const unsigned long threads_after = count_threads();
        if (!played) return fail("cycle " + std::to_string(cycle) + ": " + playback.error);
        if (cycle == 1) first_output = playback.output;
        const Difference d = compare(first_output, playback.output, input.bits);
        std::printf(
            "cycle %d: init %d config %d dialogs %d mapped-before %d threads-before %lu "
            "threads-playing %lu threads-after %lu freed %d mapped-after %d frames %lld "
            "first-frames %lld hash %016llx max-diff %lld beyond-dither %lld %s\n",
            cycle, init_result, config ? 1 : 0, dialogs, mapped_before ? 1 : 0, threads_before,
            playback.threads_playing, threads_after, freed ? 1 : 0, mapped_after ? 1 : 0,
            static_cast<long long>(playback.output.size() / input.bytes_per_frame()),
            static_cast<long long>(first_output.size() / input.bytes_per_frame()),
            static_cast<unsigned long long>(fnv1a(playback.output)), d.largest, d.beyond_dither,
            resource_line(count_resources()).c_str());
        std::fflush(stdout);
    }
    DestroyWindow(player);
    return 0;
}
