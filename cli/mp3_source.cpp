// MPEG audio (MP3, and layers I and II) through libmpg123. libsndfile estimates the length of a
// constant-bit-rate file without a Xing header from its size and bit rate, and a reading that
// ended short of the estimate looked like damage; libmpg123's scan of the frame headers gives
// the exact length first. The library is kept from printing to standard error: what its notes
// would tell (a length tag the stream falls short of) is said as the file's damage.

#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "audio_source.h"

namespace varnolt::cli {
namespace {

using Handle = std::unique_ptr<mpg123_handle, void (*)(mpg123_handle*)>;

// A stream may fall short of its length tag by this many samples (one layer III frame) without
// having lost anything: encoders round the tag's count differently.
constexpr long long k_tag_slack = 1152;

// The first frame's header and what may follow it: enough to find a length tag in it.
constexpr std::size_t k_first_frame_bytes = 64;

void close_handle(mpg123_handle* h) {
    mpg123_close(h);
    mpg123_delete(h);
}

// Whether the stream's first frame is a Xing, Info or VBRI frame, which counts the frames an
// encoder wrote (a file cut short then falls short of it). Without one the length libmpg123
// gives before its scan is an estimate from the file's size.
bool has_length_tag(const std::string& path) {
    unsigned char h[k_first_frame_bytes];
    if (!read_audio_start(path, h, sizeof h)) return false;
    const bool mpeg1 = ((h[1] >> 3) & 3) == 3;
    const bool mono = (h[3] >> 6) == 3;
    const std::size_t side = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const bool crc = (h[1] & 1) == 0;
    for (const std::size_t at : {4 + side, 4 + side + (crc ? 2 : 0)})
        if (std::memcmp(h + at, "Xing", 4) == 0 || std::memcmp(h + at, "Info", 4) == 0) return true;
    return std::memcmp(h + 36, "VBRI", 4) == 0;
}

// Floating-point samples at every rate, asked for before the stream is opened: the format it
// opens with stays.
bool float_output(mpg123_handle* h) {
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    if (mpg123_format_none(h) != MPG123_OK) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32) !=
            MPG123_OK)
            return false;
    return true;
}

void add_text(AudioInfo& info, int field, const mpg123_string* text) {
    if (text != nullptr && text->fill > 1 && text->p[0] != '\0')
        info.text_fields.emplace_back(field, std::string(text->p));
}

void add_text(AudioInfo& info, int field, const char* text, std::size_t most) {
    std::string s(text, strnlen(text, most));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    if (!s.empty()) info.text_fields.emplace_back(field, s);
}

// The ID3 fields libsndfile gives for MPEG files, from the version 2 tag, else version 1.
void take_tags(mpg123_handle* h, AudioInfo& info) {
    mpg123_id3v1* v1 = nullptr;
    mpg123_id3v2* v2 = nullptr;
    if (mpg123_id3(h, &v1, &v2) != MPG123_OK) return;
    if (v2 != nullptr) {
        add_text(info, SF_STR_TITLE, v2->title);
        add_text(info, SF_STR_ARTIST, v2->artist);
        add_text(info, SF_STR_ALBUM, v2->album);
        add_text(info, SF_STR_DATE, v2->year);
        add_text(info, SF_STR_COMMENT, v2->comment);
        add_text(info, SF_STR_GENRE, v2->genre);
        for (std::size_t i = 0; i < v2->texts; ++i)
            if (std::memcmp(v2->text[i].id, "TRCK", 4) == 0)
                add_text(info, SF_STR_TRACKNUMBER, &v2->text[i].text);
    } else if (v1 != nullptr) {
        add_text(info, SF_STR_TITLE, v1->title, sizeof v1->title);
        add_text(info, SF_STR_ARTIST, v1->artist, sizeof v1->artist);
        add_text(info, SF_STR_ALBUM, v1->album, sizeof v1->album);
        add_text(info, SF_STR_DATE, v1->year, sizeof v1->year);
        add_text(info, SF_STR_COMMENT, v1->comment, sizeof v1->comment);
    }
}

struct Mp3Source : AudioSource {
    Handle handle{nullptr, close_handle};
    long long promised = 0;  // what a length tag counts; 0: none
    long long got = 0;
    bool ended = false;
    std::vector<float> decoded;

    long long read(double* samples, long long frames) override;
};

long long Mp3Source::read(double* samples, long long frames) {
    long long done = 0;
    const std::size_t frame_bytes = sizeof(float) * static_cast<std::size_t>(info.channels);
    decoded.resize(static_cast<std::size_t>(frames) * info.channels);
    while (!ended && done < frames) {
        std::size_t bytes = 0;
        const int status =
            mpg123_read(handle.get(), decoded.data() + done * info.channels,
                        static_cast<std::size_t>(frames - done) * frame_bytes, &bytes);
        done += static_cast<long long>(bytes / frame_bytes);
        if (status != MPG123_OK && status != MPG123_NEW_FORMAT) {
            ended = true;
            const long long whole = std::max(promised, info.frames);
            if (got + done < whole) damage = missing_text(got + done, whole, info.sample_rate);
        }
    }
    take_real_samples(decoded.data(), static_cast<std::size_t>(done) * info.channels, samples,
                      *this);
    got += done;
    return done;
}

}  // namespace

std::unique_ptr<AudioSource> open_mp3_source(const std::string& path, std::string& error) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { mpg123_init(); });
    auto s = std::make_unique<Mp3Source>();
    int status = MPG123_OK;
    s->handle.reset(mpg123_new(nullptr, &status));
    mpg123_handle* h = s->handle.get();
    long rate = 0;
    int channels = 0, encoding = 0;
    if (h == nullptr || mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0) != MPG123_OK ||
        mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0) != MPG123_OK ||
        !float_output(h) || mpg123_open(h, path.c_str()) != MPG123_OK ||
        mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK) {
        error = path + ": cannot read: " +
                (h != nullptr ? mpg123_strerror(h) : mpg123_plain_strerror(status));
        return nullptr;
    }
    const bool tagged = has_length_tag(path);
    const off_t before_scan = mpg123_length(h);
    if (mpg123_scan(h) != MPG123_OK) {
        error = path + ": cannot read: " + mpg123_strerror(h);
        return nullptr;
    }
    const off_t length = mpg123_length(h);
    mpg123_frameinfo frame = {};
    mpg123_info(h, &frame);
    AudioInfo& info = s->info;
    info.channels = channels;
    info.sample_rate = static_cast<int>(rate);
    info.frames = std::max<long long>(0, length);
    info.format.container = SF_FORMAT_MPEG;
    info.format.encoding = frame.layer == 1   ? SF_FORMAT_MPEG_LAYER_I
                           : frame.layer == 2 ? SF_FORMAT_MPEG_LAYER_II
                                              : SF_FORMAT_MPEG_LAYER_III;
    info.format.bits = 32;
    info.format.floating = true;
    take_tags(h, info);
    if (tagged && before_scan > info.frames + k_tag_slack) {
        s->promised = before_scan;
        s->damage = missing_text(info.frames, before_scan, info.sample_rate);
    }
    return s;
}

}  // namespace varnolt::cli
