#include "flac_comments.h"

#include <FLAC/metadata.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace varnolt::cli {
namespace {

std::string name_of(const std::string& comment) {
    std::string name = comment.substr(0, comment.find('='));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

std::string entry_text(const FLAC__StreamMetadata_VorbisComment_Entry& entry) {
    return std::string(reinterpret_cast<const char*>(entry.entry), entry.length);
}

bool same_comment(const std::string& a, const std::string& b) {
    const auto value = [](const std::string& c) {
        const auto eq = c.find('=');
        return eq == std::string::npos ? std::string() : c.substr(eq + 1);
    };
    return name_of(a) == name_of(b) && value(a) == value(b);
}

using Chain = std::unique_ptr<FLAC__Metadata_Chain, void (*)(FLAC__Metadata_Chain*)>;
using Iterator = std::unique_ptr<FLAC__Metadata_Iterator, void (*)(FLAC__Metadata_Iterator*)>;

}  // namespace

std::vector<std::string> read_flac_comments(const std::string& path) {
    std::vector<std::string> comments;
    FLAC__StreamMetadata* tags = nullptr;
    if (!FLAC__metadata_get_tags(path.c_str(), &tags)) return comments;
    const FLAC__StreamMetadata_VorbisComment& vc = tags->data.vorbis_comment;
    for (FLAC__uint32 i = 0; i < vc.num_comments; ++i)
        comments.push_back(entry_text(vc.comments[i]));
    FLAC__metadata_object_delete(tags);
    return comments;
}

bool add_flac_comments(const std::string& path, const std::vector<std::string>& comments,
                       std::string& error) {
    if (comments.empty()) return true;
    Chain chain(FLAC__metadata_chain_new(), FLAC__metadata_chain_delete);
    Iterator it(FLAC__metadata_iterator_new(), FLAC__metadata_iterator_delete);
    if (!chain || !it || !FLAC__metadata_chain_read(chain.get(), path.c_str())) {
        error = path + ": cannot write its tags: the FLAC file could not be read back";
        return false;
    }
    FLAC__metadata_iterator_init(it.get(), chain.get());
    FLAC__StreamMetadata* block = nullptr;
    do {
        if (FLAC__metadata_iterator_get_block_type(it.get()) == FLAC__METADATA_TYPE_VORBIS_COMMENT)
            block = FLAC__metadata_iterator_get_block(it.get());
    } while (block == nullptr && FLAC__metadata_iterator_next(it.get()));
    if (block == nullptr) {
        block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
        // The iterator stands on the last block: the new one goes after it, and the chain owns it.
        if (block == nullptr || !FLAC__metadata_iterator_insert_block_after(it.get(), block)) {
            if (block != nullptr) FLAC__metadata_object_delete(block);
            error = path + ": cannot write its tags: out of memory";
            return false;
        }
    }
    std::vector<std::string> held;
    for (FLAC__uint32 i = 0; i < block->data.vorbis_comment.num_comments; ++i)
        held.push_back(entry_text(block->data.vorbis_comment.comments[i]));
    for (const std::string& comment : comments) {
        if (std::any_of(held.begin(), held.end(),
                        [&](const std::string& h) { return same_comment(h, comment); }))
            continue;
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        entry.length = static_cast<FLAC__uint32>(comment.size());
        entry.entry = reinterpret_cast<FLAC__byte*>(const_cast<char*>(comment.data()));
        // Copied into the block, appended at the end.
        if (!FLAC__metadata_object_vorbiscomment_append_comment(block, entry, true)) {
            error = path + ": cannot write its tags: out of memory";
            return false;
        }
        held.push_back(comment);
    }
    FLAC__metadata_chain_sort_padding(chain.get());
    if (!FLAC__metadata_chain_write(chain.get(), true, false)) {
        error = path + ": cannot write its tags: " +
                FLAC__Metadata_ChainStatusString[FLAC__metadata_chain_status(chain.get())];
        return false;
    }
    return true;
}

bool is_text_field_comment(const std::string& comment) {
    std::string name = name_of(comment);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::any_of(std::begin(k_comment_names), std::end(k_comment_names),
                       [&](const CommentName& known) { return name == known.name; });
}

std::vector<std::string> comment_names(const std::vector<std::string>& comments) {
    std::vector<std::string> names;
    for (const std::string& comment : comments) names.push_back(name_of(comment));
    return names;
}

std::string listed(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return text;
}

}  // namespace varnolt::cli
