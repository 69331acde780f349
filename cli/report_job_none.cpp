// The report's stand-in where the tool is built without PNG support: a report asked for is
// refused before anything is restored.

#include "file_job.h"
#include "report_job.h"

namespace varnolt::cli {

struct ReportJob::Work {
    std::string path;
};

ReportJob::ReportJob(const FileJob& job) {
    if (!job.report.empty()) work_ = std::make_unique<Work>(Work{job.report});
}

ReportJob::~ReportJob() = default;

bool ReportJob::possible(std::string& error) const {
    if (!work_) return true;
    error = work_->path + ": this varnolt was built without PNG support and draws no reports";
    return false;
}

void ReportJob::set_dolby_level(const DolbyLevelUse&, const DolbyLevelMeasurement*) {}

bool ReportJob::has_dolby_level() const {
    return false;
}

void ReportJob::watch(const AudioInfo&, SampleStreams&, RestoreSettings&) {}

bool ReportJob::draw(const AudioInfo&, const LiveParameters&, const RestoreMeasures&,
                     std::string&) {
    return true;
}

bool ReportJob::commit(std::string&) {
    return true;
}

}  // namespace varnolt::cli
