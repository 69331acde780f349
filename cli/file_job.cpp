#include "file_job.h"
#include "text_format.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <utility>

#include "audio_file.h"
#include "console.h"
#include "dolby_level_measurement.h"
#include "dolby_level_use.h"
#include "dolby_level_words.h"
#include "interruption.h"
#include "report_job.h"
#include "report_stages.h"
#include "restore_audio.h"
#include "safe_output.h"

#include "settings/parameters.h"

namespace varnolt::cli {
namespace fs = std::filesystem;
namespace {

std::string summary_of(const FileJob& job, int sample_rate, double elapsed,
                       const RestoreMeasures& m) {
    const double seconds = static_cast<double>(m.input_frames) / sample_rate;
    std::string line =
        formatted("%s -> %s: %.1f s, %.1fx realtime, peak in %s, out %s, ", job.input.c_str(),
                  job.output.c_str(), seconds, elapsed > 0 ? seconds / elapsed : 0.0,
                  dbfs_text(m.input_peak).c_str(), dbfs_text(m.output_peak).c_str());
    if (m.clipped > 0) line += std::to_string(m.clipped) + " samples clipped, ";
    if (m.azimuth_running) {
        line += formatted("azimuth %.2f \u00b5m at the end", m.azimuth_end);
    } else {
        line += "azimuth correction off";
    }
    return line;
}

bool check_paths(const FileJob& job, std::string& error) {
    std::error_code ec;
    if (!fs::exists(job.input, ec)) {
        error = job.input + ": cannot read: no such file";
        return false;
    }
    if (!fs::is_regular_file(job.input, ec)) {
        error = job.input + ": cannot read: not a file";
        return false;
    }
    if (same_file(job.input, job.output)) {
        error = job.output + ": the output would overwrite the input";
        return false;
    }
    if (!job.report.empty() &&
        (same_file(job.input, job.report) || same_file(job.output, job.report))) {
        error = job.report + ": the report would overwrite the input or the output";
        return false;
    }
    return true;
}

// A damaged input fails unless the user asked to keep what could be read; then it is said
// once, when first known.
bool accept_damage(const FileJob& job, const AudioReader& reader, const JobOptions& options,
                   bool& said, std::string& error) {
    if (reader.damage().empty()) return true;
    if (!options.keep_damaged) {
        error = job.input + ": damaged: " + reader.damage() +
                " (--keep-damaged restores what could be read)";
        return false;
    }
    if (!said) {
        said = true;
        tell(job.input + ": damaged: " + reader.damage() + "; restoring what could be read");
    }
    return true;
}

// Samples of a floating-point input that were no audio are said, not replaced in silence.
void report_entry_faults(const FileJob& job, const AudioReader& reader) {
    const EntryFaults& faults = reader.entry_faults();
    if (faults.not_numbers > 0)
        tell(job.input + ": " + std::to_string(faults.not_numbers) +
             " samples were not numbers; they went to 0");
    if (faults.out_of_range > 0) {
        const std::string headroom = formatted("%+.0f", 20.0 * std::log10(k_entry_headroom));
        tell(job.input + ": " + std::to_string(faults.out_of_range) +
             " samples were infinite or beyond " + headroom + " dBFS; they went to full scale");
    }
}

// The line this restore adds to a Broadcast WAV's coding history, in the form archivists' tools
// write (EBU R 98): coding, rate, word length, mode, and what was done.
std::string coding_history_line(const AudioInfo& info, const SampleFormat& format,
                                const LiveParameters& parameters) {
    std::string line =
        "A=PCM,F=" + std::to_string(info.sample_rate) + ",W=" + std::to_string(format.bits);
    if (info.channels <= 2) line += info.channels == 1 ? ",M=mono" : ",M=stereo";
    return line + ",T=varnolt " + VARNOLT_VERSION + " restoration (" +
           stages_text(stages_in_use(parameters)) + ")\r\n";
}

// The Dolby level the job works at: measured from the file, given in dBFS, or as the settings
// have it; `parameters` take the volume and the switch that level calls for. The report is told
// what it shows of the Dolby B stage.
bool choose_dolby_level(const FileJob& job, const JobOptions& options, LiveParameters& parameters,
                        ReportJob& report, DolbyLevelUse& dolby, std::string& error) {
    if (options.automatic_dolby_level) {
        DolbyLevelMeasurement measurement;
        if (!measure_dolby_level(job.input, measurement, error)) return false;
        dolby = measured_level_use(measurement, parameters);
        // What the report shows of the Dolby B stage; the channels' analyses go with it.
        report.set_dolby_level(dolby, &measurement);
    } else if (options.dolby_level_dbfs) {
        dolby = given_level_use(*options.dolby_level_dbfs, parameters);
    } else {
        dolby = setting_level_use(parameters);
    }
    return true;
}

// How the samples go through the chain for this input and output format.
RestoreSettings restore_settings_for(const AudioInfo& info, const SampleFormat& format,
                                     const JobOptions& options, const DolbyLevelUse& dolby) {
    RestoreSettings settings;
    settings.block_frames = options.block_frames;
    if (info.format.floating || format.floating) {
        // Floating point on either side: the chain's result as it is, reduced with dither only
        // to an integer output's steps (and clipped only there).
        settings.bits = 0;
        if (!format.floating) settings.output_bits = format.bits;
    } else {
        // Integers both sides: the player's blocks, at the finer of the two precisions; a
        // narrower output is reduced with dither only when it is written.
        settings.bits = std::max(info.format.bits, format.bits);
        if (format.bits < settings.bits) settings.output_bits = format.bits;
    }
    settings.keep_latency = options.keep_latency;
    settings.expected_frames = info.frames;
    settings.channel_pc_volume = chain_channel_volumes(dolby, info.channels);
    return settings;
}

// The checks that need the opened input: its damage, a format the output can take, and outputs
// that can be created.
bool check_before_restoring(const FileJob& job, const JobOptions& options,
                            const AudioReader& reader, bool& damage_said, SampleFormat& format,
                            std::string& error) {
    // A header that promises more than the file holds is known before anything is restored.
    if (!accept_damage(job, reader, options, damage_said, error)) return false;
    if (!choose_output_format(job.output, reader.info(), options.bits, format, error)) return false;
    if (!job.report.empty() && !can_create(job.report, error)) return false;
    return can_create(job.output, error);
}

// Restores the whole stream into the temporary file `temporary`; false with the reason in
// `error`. `left_out` gets what the output format could not store.
bool restore_into(const std::string& temporary, const FileJob& job, const AudioInfo& output_info,
                  const SampleFormat& format, const LiveParameters& parameters,
                  SampleStreams& streams, const RestoreSettings& settings,
                  const JobProgress& progress, RestoreMeasures& measures, std::string& left_out,
                  std::string& error) {
    AudioWriter writer;
    if (!writer.open(temporary, output_info, format, error)) return false;
    streams.write = [&](const double* samples, long long frames) {
        return writer.write(samples, frames, error);
    };
    const double seconds = static_cast<double>(output_info.frames) / output_info.sample_rate;
    const RestoreOutcome outcome = restore_stream(
        output_info.channels, output_info.sample_rate, parameters, streams, settings,
        [&](double f) {
            if (progress) progress(f, f * seconds);
        },
        measures);
    if (outcome == RestoreOutcome::interrupted) error = job.input + ": " + k_interrupted_text;
    if (outcome != RestoreOutcome::done || !writer.finish(error)) return false;
    left_out = writer.left_out();
    return true;
}

}  // namespace

bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

bool run_file_job(const FileJob& job, const JobOptions& options, const LiveParameters& asked,
                  const JobProgress& progress, std::string& summary, std::string& error,
                  std::string* notice) {
    if (!check_paths(job, error)) return false;
    LiveParameters parameters = asked;
    ReportJob report(job);
    if (!report.possible(error)) return false;
    DolbyLevelUse dolby;
    if (!choose_dolby_level(job, options, parameters, report, dolby, error)) return false;
    // A level asked for is always said, also when the file then fails; what the settings gave,
    // once the stage has run on the file.
    const bool asked_for_level = dolby.origin != DolbyLevelOrigin::setting;
    const bool say_setting = dolby.decodes && !asked_for_level && !options.quiet;
    if (notice != nullptr && asked_for_level)
        *notice = job.input + ": Dolby B: " + dolby_level_use_text(dolby);
    if (!report.has_dolby_level() && (asked_for_level || dolby.decodes))
        report.set_dolby_level(dolby, nullptr);
    // The realtime figure counts the whole job the user waits for: reading, restoring, writing.
    const auto start = std::chrono::steady_clock::now();
    AudioReader reader;
    if (!reader.open(job.input, error)) return false;
    const AudioInfo& info = reader.info();
    if (!reader.warning().empty()) tell(job.input + ": " + reader.warning());
    bool damage_said = false;
    SampleFormat format;
    if (!check_before_restoring(job, options, reader, damage_said, format, error)) return false;

    RestoreSettings settings = restore_settings_for(info, format, options, dolby);
    SampleStreams streams;
    streams.read = [&reader](double* samples, long long frames) {
        return reader.read(samples, frames);
    };
    report.watch(info, streams, settings);

    RestoreMeasures measures;
    // The output and its report are both written before either is put in place: a file that
    // fails leaves nothing behind, and what was there stays as it was.
    AudioInfo output_info = info;
    output_info.coding_history_line = coding_history_line(info, format, parameters);
    std::string left_out;
    PendingOutput output(job.output);
    const bool restored = output.write(
        [&](const std::string& temporary, std::string& e) {
            return restore_into(temporary, job, output_info, format, parameters, streams, settings,
                                progress, measures, left_out, e);
        },
        error);
    if (!restored) return false;
    // A file damaged inside shows only once the reading stops short.
    if (!accept_damage(job, reader, options, damage_said, error)) return false;
    report_entry_faults(job, reader);
    if (!left_out.empty())
        tell(job.output + ": " + left_out +
             " of the input cannot be stored in this format; left out");
    if (!report.draw(info, parameters, measures, error)) return false;
    if (!output.commit(error)) return false;
    if (!report.commit(error)) return false;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    summary = summary_of(job, info.sample_rate, elapsed, measures);
    if (notice != nullptr && say_setting)
        *notice = job.input + ": Dolby B: " + dolby_level_use_text(dolby);
    return true;
}

}  // namespace varnolt::cli
