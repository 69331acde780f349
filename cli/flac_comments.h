#pragma once
// A FLAC file's Vorbis comments, all of them: libsndfile reads and writes only the ten it maps to
// its text fields (title, artist, …), and an archive's own tags (TAPE, DECK, TRANSFER_DATE, …)
// would be lost on the way through the tool. Read and written with libFLAC's metadata interface.

#include <string>
#include <vector>

namespace varnolt::cli {

// Every "NAME=value" comment of the FLAC file at `path`; empty when it has none or is no FLAC.
std::vector<std::string> read_flac_comments(const std::string& path);

// Adds to the FLAC file at `path` each of `comments` it does not hold yet (same name, ignoring
// case, and value). False with a reason when the file could not be rewritten.
bool add_flac_comments(const std::string& path, const std::vector<std::string>& comments,
                       std::string& error);

// Whether libsndfile carries a comment of this name as one of its text fields, to containers
// other than FLAC too.
bool is_text_field_comment(const std::string& comment);

// The names of `comments` ("TAPE and DECK").
std::string comment_names(const std::vector<std::string>& comments);

}  // namespace varnolt::cli
