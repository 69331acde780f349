#pragma once
// A FLAC file's Vorbis comments, all of them: libsndfile reads and writes only the ten it maps to
// its text fields (title, artist, …), and an archive's own tags (TAPE, DECK, TRANSFER_DATE, …)
// would be lost on the way through the tool. Read and written with libFLAC's metadata interface.

#include <sndfile.h>

#include <string>
#include <vector>

namespace varnolt::cli {

// Vorbis comment names as libsndfile stores its text fields in FLAC files.
struct CommentName {
    const char* name;
    int field;
};
constexpr CommentName k_comment_names[] = {
    {"title", SF_STR_TITLE},   {"copyright", SF_STR_COPYRIGHT}, {"software", SF_STR_SOFTWARE},
    {"artist", SF_STR_ARTIST}, {"comment", SF_STR_COMMENT},     {"date", SF_STR_DATE},
    {"album", SF_STR_ALBUM},   {"license", SF_STR_LICENSE},     {"tracknumber", SF_STR_TRACKNUMBER},
    {"genre", SF_STR_GENRE}};

// Every "NAME=value" comment of the FLAC file at `path`; empty when it has none or is no FLAC.
std::vector<std::string> read_flac_comments(const std::string& path);

// Adds to the FLAC file at `path` each of `comments` it does not hold yet (same name, ignoring
// case, and value). False with a reason when the file could not be rewritten.
bool add_flac_comments(const std::string& path, const std::vector<std::string>& comments,
                       std::string& error);

// Whether libsndfile carries a comment of this name as one of its text fields, to containers
// other than FLAC too.
bool is_text_field_comment(const std::string& comment);

// The names of `comments`, in capitals ("TAPE", "DECK").
std::vector<std::string> comment_names(const std::vector<std::string>& comments);

// "a", "a and b", "a, b and c".
std::string listed(const std::vector<std::string>& items);

}  // namespace varnolt::cli
