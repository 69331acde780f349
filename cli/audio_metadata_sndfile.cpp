#include "audio_metadata_sndfile.h"

#include "flac_comments.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace varnolt::cli {
namespace {

// The most coding history libsndfile hands over (it refuses a record of 16 KiB or more): room for
// some 150 lines of transfers and restores.
constexpr int k_coding_history_capacity = 16000;
typedef SF_BROADCAST_INFO_VAR(k_coding_history_capacity) BroadcastInfo;

const char* field_name(int field) {
    switch (field) {
        case SF_STR_TITLE:
            return "title";
        case SF_STR_COPYRIGHT:
            return "copyright";
        case SF_STR_SOFTWARE:
            return "software";
        case SF_STR_ARTIST:
            return "artist";
        case SF_STR_COMMENT:
            return "comment";
        case SF_STR_DATE:
            return "date";
        case SF_STR_ALBUM:
            return "album";
        case SF_STR_LICENSE:
            return "license";
        case SF_STR_TRACKNUMBER:
            return "track number";
        case SF_STR_GENRE:
            return "genre";
        default:
            return "text field";
    }
}

std::vector<int> channel_map(SNDFILE* file, int channels) {
    std::vector<int> map(static_cast<std::size_t>(channels));
    if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                   static_cast<int>(map.size() * sizeof(int))) != SF_TRUE)
        map.clear();
    return map;
}

}  // namespace

void read_metadata(SNDFILE* file, AudioInfo& info) {
    for (int field = SF_STR_FIRST; field <= SF_STR_LAST; ++field)
        if (const char* text = sf_get_string(file, field); text != nullptr && *text)
            info.text_fields.emplace_back(field, text);
    info.channel_map = channel_map(file, info.channels);
    BroadcastInfo bext = {};
    if (sf_command(file, SFC_GET_BROADCAST_INFO, &bext, sizeof bext) == SF_TRUE) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&bext);
        info.broadcast_extension.assign(bytes, bytes + sizeof bext);
    }
}

void write_metadata(SNDFILE* file, const AudioInfo& info) {
    // Where the container has no room for a field or the layout, libsndfile says no (or says
    // nothing) and the audio is written all the same; metadata_left_out tells which.
    for (const auto& [field, text] : info.text_fields) sf_set_string(file, field, text.c_str());
    if (info.channel_map.size() == static_cast<std::size_t>(info.channels))
        sf_command(file, SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(info.channel_map.data()),
                   static_cast<int>(info.channel_map.size() * sizeof(int)));
    if (info.broadcast_extension.size() == sizeof(BroadcastInfo)) {
        BroadcastInfo bext;
        std::memcpy(&bext, info.broadcast_extension.data(), sizeof bext);
        // The history is lines of text; a line is added where it ends, if it fits.
        std::size_t used = std::min<std::size_t>(
            bext.coding_history_size, static_cast<std::size_t>(k_coding_history_capacity));
        used = std::min(used, strnlen(bext.coding_history, used));
        const std::string& line = info.coding_history_line;
        if (!line.empty() &&
            used + line.size() <= static_cast<std::size_t>(k_coding_history_capacity)) {
            std::memcpy(bext.coding_history + used, line.data(), line.size());
            used += line.size();
        }
        bext.coding_history_size = static_cast<std::uint32_t>(used);
        sf_command(file, SFC_SET_BROADCAST_INFO, &bext, sizeof bext);
    }
}

bool finish_metadata(const std::string& path, int container, const AudioInfo& info,
                     std::string& error) {
    if (container != SF_FORMAT_FLAC) return true;
    return add_flac_comments(path, info.vorbis_comments, error);
}

std::string metadata_left_out(const AudioInfo& asked, SNDFILE* written, const std::string& path,
                              int container) {
    std::vector<std::string> missing;
    std::vector<std::string> fields;
    for (const auto& [field, text] : asked.text_fields) {
        const char* back = sf_get_string(written, field);
        if (back == nullptr || text != back) fields.push_back(field_name(field));
    }
    if (!fields.empty()) missing.push_back("the " + listed(fields));
    if (!asked.channel_map.empty() && channel_map(written, asked.channels) != asked.channel_map)
        missing.push_back("the channel layout");
    BroadcastInfo bext = {};
    if (!asked.broadcast_extension.empty() &&
        sf_command(written, SFC_GET_BROADCAST_INFO, &bext, sizeof bext) != SF_TRUE)
        missing.push_back("the broadcast extension (bext)");
    // A FLAC output holds every tag; another container only those libsndfile maps to its text
    // fields, which the text fields above account for.
    std::vector<std::string> tags;
    const std::vector<std::string> held =
        container == SF_FORMAT_FLAC ? read_flac_comments(path) : std::vector<std::string>();
    for (const std::string& comment : asked.vorbis_comments) {
        if (is_text_field_comment(comment)) continue;
        if (std::find(held.begin(), held.end(), comment) == held.end()) tags.push_back(comment);
    }
    if (!tags.empty()) missing.push_back("the tags " + listed(comment_names(tags)));
    return listed(missing);
}

}  // namespace varnolt::cli
