// Long runs of the real DLL under wine. Their length comes from the environment, so the same
// tests run short in every test run and at full length by hand (scripts/long_run_wine.sh):
//   VARNOLT_LONG_RUN_SECONDS  seconds of audio played while the window is scripted (60)
//   VARNOLT_LONG_RUN_CYCLES   Init/Quit cycles of each module, with and without Config (4)
// The short lengths are what every test run can afford beside the rest (the end-to-end tests run
// one at a time). The window's run needs its minute: with the other core busy, the window's
// objects and memory still move in its first 15 s (a 30 s run, judged from 10 s on, failed).
// Each prints its figures on a line starting with "long run:".

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "listening.h"
#include "settings/parameter_table.h"
#include "settings/parameters.h"
#include "settings/profile_store.h"
#include "settings/settings_file.h"
#include "ui/resource_ids.h"

namespace varnolt::testing {
namespace {

constexpr int k_rate = 44100;
constexpr int k_block = 576;                // the host's blocks
constexpr double k_settle_seconds = 600.0;  // resources must be flat from the tenth minute on
constexpr double k_stuck_seconds = 0.25;    // longer than any restart of the processors
constexpr double k_quietest_rms = 0.005;    // of full scale, over any second of output

long long environment_number(const char* name, long long fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::atoll(text) : fallback;
}

struct Resources {
    double seconds;  // of audio played when they were counted
    long long gdi, user, handles, private_bytes;
};

bool parse_resources(const std::string& line, Resources& r) {
    return std::sscanf(line.c_str(), "resources: gdi %lld user %lld handles %lld private %lld",
                       &r.gdi, &r.user, &r.handles, &r.private_bytes) == 4;
}

// A window that sliders, check boxes, radio buttons, RESET, LOAD, the close box and the tray
// icon act on every 200-500 ms of audio, as a restless listener would. Gains never reach 0 and
// the "Difference" boxes stay off, so the output may sound odd but is never silent.
class ScriptWriter {
  public:
    ScriptWriter(unsigned seed, std::string preset) : rng_(seed), preset_(std::move(preset)) {}

    std::string write(long long blocks, long long resources_every) {
        long long next_count = 0;
        for (long long block = 20; block < blocks; block += uniform(15, 38)) {
            if (block >= next_count) {
                count_resources(block);
                next_count += resources_every;
            }
            hidden_ ? act_on_tray(block) : act_on_window(block);
            ++steps_;
        }
        count_resources(blocks);
        return text_.str();
    }
    long long steps() const { return steps_; }
    // The blocks before which the resources are counted, in order.
    const std::vector<long long>& counted_at() const { return counted_at_; }

  private:
    struct SliderRange {
        int id, lowest, highest;
    };

    int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    void add(long long block, const std::string& step) {
        text_ << "@" << block << " " << step << "\n";
    }
    void count_resources(long long block) {
        add(block, "resources");
        counted_at_.push_back(block);
    }

    void act_on_tray(long long block) {
        if (uniform(0, 9) < 6) {
            add(block, "tray ldown");  // the next processing mode
            add(block, "tray lup");
        } else {
            add(block, "tray ldouble");  // restores the window
            add(block, "tray lup");
            hidden_ = false;
        }
    }

    void act_on_window(long long block) {
        static const SliderRange sliders[] = {
            {IDC_PC_VOLUME, 0, 500},      {IDC_BAND1_LEFT, 0, 480},    {IDC_BAND3_LEFT, 0, 480},
            {IDC_BAND6_LEFT, 0, 480},     {IDC_BAND8_LEFT, 0, 480},    {IDC_BAND2_RIGHT, 0, 480},
            {IDC_BAND5_RIGHT, 0, 480},    {IDC_BAND8_RIGHT, 0, 480},   {IDC_PRE_LEFT, 20, 250},
            {IDC_PRE_RIGHT, 20, 250},     {IDC_POST_AMP, 30, 1000},    {IDC_MAX_AUTO, 100, 500},
            {IDC_AZIMUTH_LIMIT, 0, 5000}, {IDC_AZIMUTH_SPEED, 0, 500}, {IDC_FM_IGNORE, 0, 10000},
            {IDC_FM_MULTIPLY, 0, 500},    {IDC_FM_REDUCE, 0, 30000},   {IDC_FM_DELAY, 0, 400},
            {IDC_FM_ROUGH, 0, 10000},     {IDC_REFRESH_SPEED, 0, 100},
        };
        static const int boxes[] = {
            IDC_AZIMUTH_ON,      IDC_FM_ON,     IDC_DOLBY_ON,   IDC_BIAS_ON,   IDC_LEFT_RELATIVE,
            IDC_RIGHT_RELATIVE,  IDC_LEFT_AUTO, IDC_RIGHT_AUTO, IDC_BIAS_ONLY, IDC_CLUSTERED,
            IDC_CONSTANT_VOLUME, IDC_MONO,      IDC_TONE,       IDC_ICONIFY};
        const int roll = uniform(0, 99);
        if (roll < 45) {
            const SliderRange& s = sliders[uniform(0, static_cast<int>(std::size(sliders)) - 1)];
            add(block, "slider " + std::to_string(s.id) + " " +
                           std::to_string(uniform(s.lowest, s.highest)));
        } else if (roll < 70) {
            add(block, "click " + std::to_string(
                                      boxes[uniform(0, static_cast<int>(std::size(boxes)) - 1)]));
        } else if (roll < 78) {
            add(block, "click " + std::to_string(IDC_QUALITY_HIGH + uniform(0, 2)));
        } else if (roll < 82) {
            add(block, "click " + std::to_string(IDC_RESET));
        } else if (roll < 86) {
            add(block, "file-dialog " + preset_);
            add(block, "click " + std::to_string(IDC_LOAD));
            add(block, "wait 100");
        } else if (roll < 92) {
            add(block, "close");  // to the tray
            hidden_ = true;
        } else {
            add(block, "tray ldown");
            add(block, "tray lup");
        }
    }

    std::mt19937 rng_;
    std::string preset_;
    std::ostringstream text_;
    bool hidden_ = false;
    long long steps_ = 0;
    std::vector<long long> counted_at_;
};

// The programme, 16-bit stereo, written a second at a time.
void write_programme(const std::string& path, long long seconds) {
    SF_INFO info = {};
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    info.channels = 2;
    info.samplerate = k_rate;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<short> second(2 * k_rate);
    for (long long s = 0; s < seconds; ++s) {
        for (int i = 0; i < k_rate; ++i)
            for (int ch = 0; ch < 2; ++ch)
                second[2 * i + ch] = static_cast<short>(std::clamp(
                    std::round(programme(s * k_rate + i, ch, k_rate)), -32768.0, 32767.0));
        sf_writef_short(file, second.data(), k_rate);
    }
    sf_close(file);
}

struct OutputCheck {
    long long frames = 0;
    long long longest_constant = 0;  // samples of one channel in a row with the same value
    double quietest_rms = 1.0;       // over the whole seconds after the first
    double quietest_at = 0.0;
};

// Reads the output a second at a time.
OutputCheck check_output(const std::string& path) {
    OutputCheck c;
    SF_INFO info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return c;
    std::vector<short> second(2 * k_rate);
    short last[2] = {0, 0};
    long long run[2] = {0, 0};
    for (long long s = 0;; ++s) {
        const sf_count_t got = sf_readf_short(file, second.data(), k_rate);
        if (got <= 0) break;
        double energy = 0.0;
        for (sf_count_t i = 0; i < got; ++i)
            for (int ch = 0; ch < 2; ++ch) {
                const short v = second[2 * i + ch];
                run[ch] = v == last[ch] ? run[ch] + 1 : 1;
                last[ch] = v;
                if (s > 0) c.longest_constant = std::max(c.longest_constant, run[ch]);
                energy += (v / 32768.0) * (v / 32768.0);
            }
        c.frames += got;
        const double rms = std::sqrt(energy / (2.0 * got));
        if (s > 0 && got == k_rate && rms < c.quietest_rms) {
            c.quietest_rms = rms;
            c.quietest_at = static_cast<double>(s);
        }
    }
    sf_close(file);
    return c;
}

long long fixed_stamp() {
    return 1165512345;
}

// Every key of the table has a value in the file.
bool every_key_present(const std::string& path) {
    Settings scratch;
    bool complete = true;
    auto check = [&](const ParameterField& f) {
        complete = complete && !profile_read(path.c_str(), f.section, f.key).empty();
    };
    for_each_plugin_configuration_field(scratch, check);
    for_each_processing_field(scratch, check);
    return complete;
}

class LongRun : public HostUnderWine {};

TEST_F(LongRun, TheWindowScriptedWhilePlayingNeitherBreaksTheSoundNorGrows) {
    const long long seconds = environment_number("VARNOLT_LONG_RUN_SECONDS", 60);
    const long long blocks = seconds * k_rate / k_block;
    const double settle = std::min(k_settle_seconds, seconds / 3.0);
    // Resources are counted every minute of an hour's run, every 5 s of a short one.
    const long long count_every = (seconds >= 1200 ? 60 : 5) * k_rate / k_block;

    write_programme(dir.file("in.wav"), seconds);
    write_text(dir.file("loud.vnt"),
               "[Common]\r\nPost amplifier=1.5\r\n[Dolby B Remover]\r\nEnabled=1\r\n"
               "[FM stereo noise filter]\r\nEnabled=1\r\nMultiply by=3\r\n");
    write_text(ini(), "[FM stereo noise filter]\r\nEnabled=1\r\n");
    ScriptWriter writer(20240611, win("loud.vnt"));
    write_text(dir.file("script.txt"), writer.write(blocks, count_every));

    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> args = {"--profile",       profile(),           "--script-file",
                                     win("script.txt"), plugin_dll() + ":0", win("in.wav"),
                                     win("out.wav")};
    const HostRun run = run_vhost(args, static_cast<int>(600 + 3 * seconds));
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(run.exit_code, 0) << run.err << run.out.substr(0, 2000);

    const OutputCheck out = check_output(dir.file("out.wav"));
    EXPECT_EQ(out.frames, seconds * k_rate);
    EXPECT_LT(out.longest_constant, k_stuck_seconds * k_rate) << "the output stuck";
    EXPECT_GT(out.quietest_rms, k_quietest_rms) << "silent at second " << out.quietest_at;

    std::vector<Resources> counts;
    std::istringstream lines(run.out);
    std::string line;
    while (std::getline(lines, line)) {
        Resources r{};
        if (!parse_resources(line, r) || counts.size() >= writer.counted_at().size()) continue;
        r.seconds = writer.counted_at()[counts.size()] * static_cast<double>(k_block) / k_rate;
        counts.push_back(r);
    }
    ASSERT_EQ(counts.size(), writer.counted_at().size());
    Resources low{}, high{};
    bool first = true;
    for (const Resources& r : counts) {
        if (r.seconds < settle) continue;
        if (first) low = high = r;
        first = false;
        low.gdi = std::min(low.gdi, r.gdi), high.gdi = std::max(high.gdi, r.gdi);
        low.user = std::min(low.user, r.user), high.user = std::max(high.user, r.user);
        low.private_bytes = std::min(low.private_bytes, r.private_bytes);
        high.private_bytes = std::max(high.private_bytes, r.private_bytes);
    }
    const Resources& settled = *std::find_if(
        counts.begin(), counts.end(), [&](const Resources& r) { return r.seconds >= settle; });
    const Resources& last = counts.back();
    // Flat: objects come and go with the window's state, but do not pile up.
    EXPECT_LE(high.gdi - low.gdi, 16);
    EXPECT_LE(high.user - low.user, 16);
    EXPECT_LE(last.private_bytes - settled.private_bytes, 4 << 20);
    std::printf(
        "long run: %lld s of audio, %lld window steps, %.0f s wall; output: longest constant run "
        "%lld samples, quietest second rms %.4f at %.0f s; from %.0f s on: gdi %lld..%lld, user "
        "%lld..%lld, private %.1f..%.1f MB (%.1f MB at %.0f s, %.1f MB at the end)\n",
        seconds, writer.steps(), wall, out.longest_constant, out.quietest_rms, out.quietest_at,
        settle, low.gdi, high.gdi, low.user, high.user, low.private_bytes / 1048576.0,
        high.private_bytes / 1048576.0, settled.private_bytes / 1048576.0, settled.seconds,
        last.private_bytes / 1048576.0);
    EXPECT_TRUE(every_key_present(ini())) << "the settings file survived it all";
}

TEST_F(LongRun, InitAndQuitCyclesOfBothModulesLeakNothingAndKeepTheIni) {
    const long long cycles = environment_number("VARNOLT_LONG_RUN_CYCLES", 4);
    const long long settle = std::max(2LL, cycles / 10);
    set_stamp_clock(fixed_stamp);
    for (const char* module : {"0", "1"})
        for (bool config : {false, true}) {
            // A complete settings file, as a first save leaves it.
            LiveParameters live;
            save_all_settings(live, ini().c_str(), true);
            ASSERT_TRUE(every_key_present(ini()));
            std::vector<std::string> args = {"--profile", profile(), "--cycles",
                                             std::to_string(cycles)};
            if (config) args.push_back("--config");
            args.push_back(plugin_dll() + ":" + module);
            const HostRun run = run_vhost(args, static_cast<int>(300 + 10 * cycles));
            const std::string what =
                std::string("module ") + module + (config ? " with" : " without") + " Config";
            ASSERT_EQ(run.exit_code, 0) << what << ": " << run.err;

            std::vector<Resources> counts;
            std::vector<std::string> files;
            std::istringstream lines(run.out);
            std::string line;
            while (std::getline(lines, line)) {
                Resources r{};
                char file[64] = {};
                const std::size_t at = line.find("resources:");
                if (line.rfind("cycle ", 0) != 0 || at == std::string::npos ||
                    !parse_resources(line.substr(at), r))
                    continue;
                const std::size_t ini_at = line.find(" ini ");
                std::snprintf(file, sizeof file, "%s", line.substr(ini_at).c_str());
                counts.push_back(r);
                files.push_back(file);
            }
            ASSERT_EQ(static_cast<long long>(counts.size()), cycles) << what;
            const Resources& base = counts[settle - 1];
            const Resources& end = counts.back();
            for (std::size_t i = 1; i < files.size(); ++i)
                EXPECT_EQ(files[i], files[0])
                    << what << ": the settings file after cycle " << i + 1;
            EXPECT_TRUE(every_key_present(ini())) << what;
            EXPECT_LE(end.gdi, base.gdi) << what;
            EXPECT_LE(end.user, base.user) << what;
            EXPECT_LE(end.handles, base.handles + 2) << what;
            EXPECT_LE(end.private_bytes - base.private_bytes, 1 << 20) << what;
            std::printf(
                "long run: %s, %lld cycles: after cycle %lld gdi %lld user %lld handles %lld "
                "private %.2f MB; after the last gdi %lld user %lld handles %lld private %.2f MB;"
                "%s\n",
                what.c_str(), cycles, settle, base.gdi, base.user, base.handles,
                base.private_bytes / 1048576.0, end.gdi, end.user, end.handles,
                end.private_bytes / 1048576.0, files.back().c_str());
        }
    set_stamp_clock(nullptr);
}

}  // namespace
}  // namespace varnolt::testing
