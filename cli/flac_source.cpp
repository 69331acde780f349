// FLAC through libFLAC. A damaged frame does not end the reading: libFLAC reports it and goes on
// at the next frame, and every frame's header says at which sample it starts, so what was lost
// is filled with silence and the audio after it stays in place. The damage says how much was
// lost; the STREAMINFO's total (0 when a streaming encoder did not know it) says whether the
// file was cut short.

#include <FLAC/stream_decoder.h>
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "audio_source.h"
#include "flac_comments.h"

namespace varnolt::cli {
namespace {

// Where the total is unknown, a frame whose header puts it further than this past the previous
// one is taken to follow it directly: its number is more likely damaged than a minute lost.
constexpr long long k_most_unknown_gap_seconds = 60;

using Decoder = std::unique_ptr<FLAC__StreamDecoder, void (*)(FLAC__StreamDecoder*)>;

// Silence, then decoded frames: what one call into libFLAC gave, on its way out.
struct Piece {
    long long silence = 0;  // frames
    std::size_t at = 0;     // where its samples start in the queue
    long long frames = 0;
};

struct FlacSource : AudioSource {
    Decoder decoder{nullptr, FLAC__stream_decoder_delete};
    long long total = 0;       // samples per channel the STREAMINFO promises; 0: unknown
    int bits = 0;              // bits per sample as stored
    bool got_info = false;     // the STREAMINFO came
    bool bad_frame = false;    // libFLAC found the frame it is about to hand over damaged
    bool after_error = false;  // libFLAC reported an error in the present call into it
    bool ended = false;
    long long placed = 0;  // the sample after the last one queued, silence included
    // A call into libFLAC may hand over several frames: after it lost its way, libFLAC hands
    // over silent frames in place of those it could not decode, then the next good one.
    std::deque<Piece> pieces;
    std::vector<std::int32_t> queued;  // their samples, interleaved and left-aligned
    long long lost = 0;                // samples silenced for damage

    long long read(double* samples, long long frames) override;
    long long read_integers(std::int32_t* samples, long long frames);
    std::vector<std::int32_t> integers;  // one read's worth, left-aligned
    void take_frame(const FLAC__Frame& frame, const FLAC__int32* const channels[]);
    void settle_damage();
};

void take_comment(AudioInfo& info, const FLAC__StreamMetadata_VorbisComment_Entry& entry) {
    const std::string text(reinterpret_cast<const char*>(entry.entry), entry.length);
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals + 1 == text.size()) return;
    std::string name = text.substr(0, equals);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const CommentName& known : k_comment_names) {
        const bool taken = std::any_of(info.text_fields.begin(), info.text_fields.end(),
                                       [&](const auto& f) { return f.first == known.field; });
        if (name == known.name && !taken)
            info.text_fields.emplace_back(known.field, text.substr(equals + 1));
    }
}

void on_metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata, void* user) {
    FlacSource& s = *static_cast<FlacSource*>(user);
    if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO && !s.got_info) {
        const FLAC__StreamMetadata_StreamInfo& info = metadata->data.stream_info;
        s.got_info = true;
        s.info.channels = static_cast<int>(info.channels);
        s.info.sample_rate = static_cast<int>(info.sample_rate);
        s.bits = static_cast<int>(info.bits_per_sample);
        s.total = static_cast<long long>(info.total_samples);
        s.info.frames = s.total;
        s.info.format = integer_format(SF_FORMAT_FLAC, s.bits);
    } else if (metadata->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
        const FLAC__StreamMetadata_VorbisComment& comments = metadata->data.vorbis_comment;
        for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
            take_comment(s.info, comments.comments[i]);
            // All of them, the archive's own too, for a FLAC output to keep.
            s.info.vorbis_comments.emplace_back(
                reinterpret_cast<const char*>(comments.comments[i].entry),
                comments.comments[i].length);
        }
    }
}

void on_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* user) {
    // A frame whose CRC does not match is still handed over, silenced by libFLAC; after the
    // other errors it looks for the next frame, hands over silence for some of what it skipped,
    // and the rest of the gap shows in the next frame's number.
    FlacSource& s = *static_cast<FlacSource*>(user);
    if (status == FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH) s.bad_frame = true;
    s.after_error = true;
}

FLAC__StreamDecoderWriteStatus on_frame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                        const FLAC__int32* const channels[], void* user) {
    static_cast<FlacSource*>(user)->take_frame(*frame, channels);
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

bool silent(const FLAC__Frame& frame, const FLAC__int32* const channels[]) {
    for (unsigned c = 0; c < frame.header.channels; ++c)
        for (unsigned n = 0; n < frame.header.blocksize; ++n)
            if (channels[c][n] != 0) return false;
    return true;
}

void FlacSource::take_frame(const FLAC__Frame& frame, const FLAC__int32* const channels[]) {
    const FLAC__FrameHeader& h = frame.header;
    // Silence handed over in the call that reported an error is libFLAC's stand-in for frames
    // it could not decode (a good frame after the error comes in that call only where nothing
    // was lost, and is silent only where the recording is).
    const bool damaged = bad_frame || (after_error && silent(frame, channels));
    bad_frame = false;
    long long first = h.number_type == FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER
                          ? static_cast<long long>(h.number.sample_number)
                          : static_cast<long long>(h.number.frame_number) * h.blocksize;
    long long count = h.blocksize;
    // A frame that does not fit the stream as its STREAMINFO describes it is left out.
    if (static_cast<int>(h.channels) != info.channels || h.bits_per_sample == 0 ||
        h.bits_per_sample > 32 || (total > 0 && first >= total))
        return;
    if (total > 0) count = std::min(count, total - first);
    if (total == 0 && first - placed > k_most_unknown_gap_seconds * info.sample_rate)
        first = placed;
    // What overlaps audio already queued is dropped; a gap before it is filled with silence.
    const long long skip = std::max(0LL, placed - first);
    if (skip >= count) return;
    Piece piece;
    piece.silence = std::max(0LL, first - placed);
    piece.at = queued.size();
    piece.frames = count - skip;
    lost += piece.silence + (damaged ? piece.frames : 0);
    const int shift = 32 - static_cast<int>(h.bits_per_sample);
    // A damaged frame is silenced whatever the decoder left in it.
    for (long long n = 0; n < piece.frames; ++n)
        for (int c = 0; c < info.channels; ++c)
            queued.push_back(damaged
                                 ? 0
                                 : static_cast<std::int32_t>(
                                       static_cast<std::uint32_t>(channels[c][skip + n]) << shift));
    pieces.push_back(piece);
    placed = first + skip + piece.frames;
}

void FlacSource::settle_damage() {
    const int rate = info.sample_rate;
    const bool short_of_total = total > 0 && placed < total;
    const std::string undecoded = undecoded_text(lost, total > 0 ? total : placed, rate);
    if (short_of_total && lost > 0)
        damage = missing_text(placed, total, rate) + "; " + undecoded;
    else if (short_of_total)
        damage = missing_text(placed, total, rate);
    else if (lost > 0)
        damage = undecoded;
}

long long FlacSource::read(double* samples, long long frames) {
    const std::size_t count = static_cast<std::size_t>(std::max(0LL, frames)) * info.channels;
    if (integers.size() < count) integers.resize(count);
    const long long n = read_integers(integers.data(), frames);
    take_integer_samples(integers.data(), static_cast<std::size_t>(n) * info.channels, samples);
    return n;
}

// The decoded frames and the silence standing in for what could not be decoded, in order.
long long FlacSource::read_integers(std::int32_t* samples, long long frames) {
    long long done = 0;
    while (done < frames) {
        if (pieces.empty()) {
            queued.clear();
            if (ended) break;
            after_error = false;
            if (!FLAC__stream_decoder_process_single(decoder.get()) ||
                FLAC__stream_decoder_get_state(decoder.get()) ==
                    FLAC__STREAM_DECODER_END_OF_STREAM) {
                ended = true;
                settle_damage();
            }
            continue;
        }
        Piece& piece = pieces.front();
        std::int32_t* to = samples + done * info.channels;
        if (piece.silence > 0) {
            const long long n = std::min(piece.silence, frames - done);
            std::fill_n(to, n * info.channels, 0);
            piece.silence -= n;
            done += n;
        } else {
            const long long n = std::min(piece.frames, frames - done);
            std::copy_n(queued.data() + piece.at, n * info.channels, to);
            piece.at += static_cast<std::size_t>(n * info.channels);
            piece.frames -= n;
            done += n;
            if (piece.frames == 0) pieces.pop_front();
        }
    }
    return done;
}

}  // namespace

std::unique_ptr<AudioSource> open_flac_source(const std::string& path, std::string& error) {
    auto s = std::make_unique<FlacSource>();
    s->decoder.reset(FLAC__stream_decoder_new());
    if (!s->decoder) {
        error = path + ": cannot read: out of memory";
        return nullptr;
    }
    FLAC__StreamDecoder* decoder = s->decoder.get();
    FLAC__stream_decoder_set_metadata_respond(decoder, FLAC__METADATA_TYPE_VORBIS_COMMENT);
    if (FLAC__stream_decoder_init_file(decoder, path.c_str(), on_frame, on_metadata, on_error,
                                       s.get()) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        error = path + ": cannot read: cannot open it";
        return nullptr;
    }
    if (!FLAC__stream_decoder_process_until_end_of_metadata(decoder) || !s->got_info ||
        s->info.channels < 1 || s->info.sample_rate < 1 || s->bits < 4 || s->bits > 32) {
        error = path + ": cannot read: its FLAC stream information is damaged";
        return nullptr;
    }
    return s;
}

}  // namespace varnolt::cli
