#pragma once
// What a file says of itself beside its samples, carried from the input to the output through
// libsndfile: text fields (title, artist, comment, …), an extensible WAV's channel layout, and a
// Broadcast WAV's extension (description, originator, time reference, coding history), to which
// the restore adds a line of its own, as the archivists' coding history expects.

#include <sndfile.h>

#include <string>

#include "audio_file.h"

namespace varnolt::cli {

// Fills the metadata fields of `info` from an input open as `file` (FLAC files are read by
// libFLAC, which gathers their tags itself).
void read_metadata(SNDFILE* file, AudioInfo& info);

// Hands the metadata of `info` to a new output, before any sample is written.
void write_metadata(SNDFILE* file, const AudioInfo& info);

// Completes the metadata of the closed output `path` in libsndfile's `container` where libsndfile
// could not write it (a FLAC's own tags). False with a reason.
bool finish_metadata(const std::string& path, int container, const AudioInfo& info,
                     std::string& error);

// What of the metadata `asked` does not read back from the finished output `path`, open as
// `written` (its container has no room for it): "the channel layout and the broadcast extension
// (bext)", or empty.
std::string metadata_left_out(const AudioInfo& asked, SNDFILE* written, const std::string& path,
                              int container);

}  // namespace varnolt::cli
