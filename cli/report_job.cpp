#include "report_job.h"

#include <filesystem>
#include <optional>

#include "audio_file.h"
#include "dolby_level_measurement.h"
#include "dolby_level_use.h"
#include "file_job.h"
#include "report/png_file.h"
#include "report/report.h"
#include "report/report_dolby_level.h"
#include "report/spectrum.h"
#include "report/window_picture.h"
#include "report_stages.h"
#include "restore_audio.h"
#include "safe_output.h"
#include "settings/parameters.h"

namespace varnolt::cli {
namespace fs = std::filesystem;

struct ReportJob::Work {
    explicit Work(const FileJob& job) : job(job) {}
    const FileJob& job;
    // Made when the report is drawn, after the output: its temporary file exists no longer than
    // it must.
    std::optional<PendingOutput> pending;
    WindowPicture window;
    std::optional<SpectrumAccumulator> input;
    std::optional<SpectrumAccumulator> output;
    std::optional<ReportDolbyLevel> dolby_level;
};

ReportJob::ReportJob(const FileJob& job) {
    if (!job.report.empty()) work_ = std::make_unique<Work>(job);
}

ReportJob::~ReportJob() = default;

bool ReportJob::possible(std::string&) const {
    return true;
}

void ReportJob::set_dolby_level(const DolbyLevelUse& use,
                                const DolbyLevelMeasurement* measurement) {
    if (work_) work_->dolby_level = report_dolby_level(use, measurement);
}

bool ReportJob::has_dolby_level() const {
    return work_ && work_->dolby_level.has_value();
}

void ReportJob::watch(const AudioInfo& info, SampleStreams& streams, RestoreSettings& settings) {
    if (!work_) return;
    Work& w = *work_;
    w.input.emplace(info.channels, info.sample_rate, info.frames);
    w.output.emplace(info.channels, info.sample_rate, info.frames);
    streams.watch_input = [&w](const double* samples, long long frames) {
        w.input->add(samples, frames);
    };
    streams.watch_output = [&w](const double* samples, long long frames) {
        w.output->add(samples, frames);
    };
    settings.window_picture = &w.window;
}

bool ReportJob::draw(const AudioInfo& info, const LiveParameters& parameters,
                     const RestoreMeasures& measures, std::string& error) {
    if (!work_) return true;
    const Work& w = *work_;
    ReportContent content;
    content.input_name = fs::path(w.job.input).filename().string();
    content.output_name = fs::path(w.job.output).filename().string();
    content.seconds = static_cast<double>(measures.input_frames) / info.sample_rate;
    content.sample_rate = info.sample_rate;
    content.channels = info.channels;
    content.stages_on = stages_in_use(parameters);
    content.stages = stages_text(content.stages_on);
    content.measures = measures;
    content.azimuth_limit = parameters.azimuth_limit;
    content.input = w.input->result();
    content.output = w.output->result();
    content.dolby_level = w.dolby_level;
    const Image picture = compose_report(w.window.image(), content, error);
    if (!error.empty()) {
        error = w.job.report + ": " + error;
        return false;
    }
    return work_->pending.emplace(w.job.report)
        .write([&](const std::string& temporary,
                   std::string& e) { return write_png_file(temporary, picture, e); },
               error);
}

bool ReportJob::commit(std::string& error) {
    return !work_ || !work_->pending || work_->pending->commit(error);
}

}  // namespace varnolt::cli
