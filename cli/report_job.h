#pragma once
// The report a file job writes beside its output when asked (--report): what it gathers while the
// file streams through (the window's picture, the spectra of input and output, the Dolby level),
// and the picture it draws and puts in place with the output. The tool built without PNG support
// (the Windows build) has a stand-in that refuses a report before anything is restored, rather
// than finish without one.

#include <memory>
#include <string>

namespace varnolt {
struct LiveParameters;
}

namespace varnolt::cli {

struct AudioInfo;
struct DolbyLevelMeasurement;
struct DolbyLevelUse;
struct FileJob;
struct RestoreMeasures;
struct RestoreSettings;
struct SampleStreams;

class ReportJob {
  public:
    // For `job`; nothing is gathered or written when it asks for no report.
    explicit ReportJob(const FileJob& job);
    ~ReportJob();
    ReportJob(const ReportJob&) = delete;
    ReportJob& operator=(const ReportJob&) = delete;

    // False with a one-line error when a report was asked for and cannot be drawn by this build.
    bool possible(std::string& error) const;
    // The Dolby level the stage works at, with the analyses it was measured from, if any.
    void set_dolby_level(const DolbyLevelUse& use, const DolbyLevelMeasurement* measurement);
    // Whether a Dolby level was given to show.
    bool has_dolby_level() const;
    // Watches the file's samples and the window's displays while `info`'s file streams through.
    void watch(const AudioInfo& info, SampleStreams& streams, RestoreSettings& settings);
    // Draws the report into its pending file, not yet in place.
    bool draw(const AudioInfo& info, const LiveParameters& parameters,
              const RestoreMeasures& measures, std::string& error);
    // Puts the drawn report in place (after the output).
    bool commit(std::string& error);

  private:
    struct Work;
    std::unique_ptr<Work> work_;  // null when no report is asked for
};

}  // namespace varnolt::cli
