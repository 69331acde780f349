#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "audio_file.h"

namespace varnolt::cli {
namespace {

using Handle = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;
constexpr double k_int_full_scale = 2147483648.0;

int integer_width(int encoding) {
    switch (encoding) {
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_S8:
            return 8;
        case SF_FORMAT_PCM_16:
            return 16;
        case SF_FORMAT_PCM_24:
            return 24;
        case SF_FORMAT_PCM_32:
            return 32;
        default:
            return 0;
    }
}

std::string lower_extension(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// The major format whose extension libsndfile lists as `ext`, plus the usual other spellings.
int container_for(const std::string& ext) {
    if (ext == "aif") return SF_FORMAT_AIFF;
    // libsndfile lists Ogg as ".oga" and MPEG audio as ".m1a"; people write ".ogg" and ".mp3".
    if (ext == "opus" || ext == "ogg") return SF_FORMAT_OGG;
    if (ext == "mp3") return SF_FORMAT_MPEG;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info = {};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension && ext == info.extension) return info.format & SF_FORMAT_TYPEMASK;
    }
    return 0;
}

int integer_encoding(int container, int bits) {
    switch (bits) {
        case 8:
            // WAV stores 8-bit samples unsigned, the other containers signed.
            return container == SF_FORMAT_WAV || container == SF_FORMAT_W64 ||
                           container == SF_FORMAT_RF64
                       ? SF_FORMAT_PCM_U8
                       : SF_FORMAT_PCM_S8;
        case 16:
            return SF_FORMAT_PCM_16;
        case 24:
            return SF_FORMAT_PCM_24;
        default:
            return SF_FORMAT_PCM_32;
    }
}

bool valid(int container, int encoding, int channels, int rate) {
    SF_INFO info = {};
    info.format = container | encoding;
    info.channels = channels;
    info.samplerate = rate;
    return sf_format_check(&info) != 0;
}

std::int32_t from_real(double x) {
    const double scaled = std::clamp(x * k_int_full_scale, -k_int_full_scale, k_int_full_scale - 1);
    return static_cast<std::int32_t>(std::lrint(std::isnan(scaled) ? 0.0 : scaled));
}

// The frames the file's header promises. libsndfile reads a WAV or AIFF file whose data chunk
// claims more than the file holds as far as it goes, and notes the claim in its log as
// "data : 705600 (should be 352800)": the first number is the promise.
double promised_frames(SNDFILE* file, const SF_INFO& info) {
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    const int bytes_per_frame =
        info.channels * std::max(1, integer_width(info.format & SF_FORMAT_SUBMASK) / 8);
    for (const char* chunk : {"data : ", "SSND : "}) {
        const char* line = std::strstr(log, chunk);
        if (line == nullptr) continue;
        unsigned long long claimed = 0, held = 0;
        if (std::sscanf(line + std::strlen(chunk), "%llu (should be %llu)", &claimed, &held) == 2 &&
            claimed > held && integer_width(info.format & SF_FORMAT_SUBMASK) > 0)
            return static_cast<double>(info.frames) +
                   static_cast<double>(claimed - held) / bytes_per_frame;
    }
    return static_cast<double>(info.frames);
}

}  // namespace

struct AudioReader::Source {
    Handle handle{nullptr, sf_close};
    AudioInfo info;
    double promised = 0.0;  // frames the header promises
    long long got = 0;      // frames read so far
    bool ended = false;
    std::string damage;
    long long clipped = 0;
    long long not_numbers = 0;
    std::vector<double> real;  // floating-point samples on their way in, one block's worth
};

AudioReader::AudioReader() = default;
AudioReader::~AudioReader() = default;

bool AudioReader::open(const std::string& path, std::string& error) {
    source_ = std::make_unique<Source>();
    SF_INFO sf = {};
    source_->handle.reset(sf_open(path.c_str(), SFM_READ, &sf));
    if (!source_->handle) {
        error = path + ": cannot read: " + sf_strerror(nullptr);
        return false;
    }
    if (sf.channels < 1 || sf.samplerate < 1 || sf.frames < 0) {
        error = path + ": cannot read: no audio in it";
        return false;
    }
    SNDFILE* file = source_->handle.get();
    AudioInfo& info = source_->info;
    info.channels = sf.channels;
    info.sample_rate = sf.samplerate;
    info.frames = sf.frames;
    info.format.container = sf.format & SF_FORMAT_TYPEMASK;
    info.format.encoding = sf.format & SF_FORMAT_SUBMASK;
    info.format.bits = integer_width(info.format.encoding);
    info.format.floating = info.format.bits == 0;
    if (info.format.floating) info.format.bits = 32;

    for (int field = SF_STR_FIRST; field <= SF_STR_LAST; ++field)
        if (const char* text = sf_get_string(file, field); text != nullptr && *text)
            info.text_fields.emplace_back(field, text);
    std::vector<int> map(static_cast<std::size_t>(sf.channels));
    if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                   static_cast<int>(map.size() * sizeof(int))) == SF_TRUE)
        info.channel_map = map;

    source_->promised = promised_frames(file, sf);
    if (source_->promised > sf.frames)
        source_->damage =
            missing_text(static_cast<double>(sf.frames), source_->promised, sf.samplerate);
    return true;
}

const AudioInfo& AudioReader::info() const {
    return source_->info;
}

long long AudioReader::read(std::int32_t* samples, long long frames) {
    Source& s = *source_;
    if (s.ended || frames <= 0) return 0;
    const std::size_t count = static_cast<std::size_t>(frames) * s.info.channels;
    sf_count_t got = 0;
    if (s.info.format.floating) {
        // Floating-point (and lossy) samples are scaled and clipped here, as a player would
        // before handing 32-bit blocks to the plug-in.
        if (s.real.size() < count) s.real.resize(count);
        got = std::max<sf_count_t>(0, sf_readf_double(s.handle.get(), s.real.data(), frames));
        const std::size_t n = static_cast<std::size_t>(got) * s.info.channels;
        for (std::size_t i = 0; i < n; ++i) {
            if (!std::isfinite(s.real[i]))
                ++s.not_numbers;
            else if (std::fabs(s.real[i]) > 1.0)
                ++s.clipped;
            samples[i] = from_real(s.real[i]);
        }
    } else {
        got = std::max<sf_count_t>(0, sf_readf_int(s.handle.get(), samples, frames));
    }
    s.got += got;
    if (got < frames) {
        s.ended = true;
        // Short of what the header promised, or stopped by an error inside the file.
        if (s.got < s.info.frames || sf_error(s.handle.get()) != SF_ERR_NO_ERROR)
            s.damage = missing_text(static_cast<double>(s.got),
                                    std::max(s.promised, static_cast<double>(s.info.frames)),
                                    s.info.sample_rate);
    }
    return got;
}

const std::string& AudioReader::damage() const {
    return source_->damage;
}

long long AudioReader::clipped() const {
    return source_->clipped;
}

long long AudioReader::not_numbers() const {
    return source_->not_numbers;
}

bool choose_output_format(const std::string& path, const AudioInfo& input, int bits,
                          SampleFormat& format, std::string& error) {
    const std::string ext = lower_extension(path);
    const int container = container_for(ext);
    if (container == 0) {
        error = path + ": cannot write: no audio format is known by the extension \"." + ext + "\"";
        return false;
    }
    format = SampleFormat{};
    format.container = container;
    if (container == SF_FORMAT_OGG || container == SF_FORMAT_MPEG) {
        format.encoding = container == SF_FORMAT_MPEG ? SF_FORMAT_MPEG_LAYER_III
                          : ext == "opus"             ? SF_FORMAT_OPUS
                                                      : SF_FORMAT_VORBIS;
        format.floating = true;
        format.bits = 32;
        // libsndfile's format check passes any rate, and its Opus writer refuses most of them
        // only when it opens the file, after the whole run: say so before.
        const int rate = input.sample_rate;
        if (format.encoding == SF_FORMAT_OPUS && rate != 8000 && rate != 12000 && rate != 16000 &&
            rate != 24000 && rate != 48000) {
            error = path +
                    ": cannot write: Opus files hold 8000, 12000, 16000, 24000 or 48000 Hz, "
                    "not " +
                    std::to_string(rate) + " Hz";
            return false;
        }
    } else if (bits == 0 && input.format.floating) {
        format.encoding =
            input.format.encoding == SF_FORMAT_DOUBLE ? SF_FORMAT_DOUBLE : SF_FORMAT_FLOAT;
        format.floating = true;
        format.bits = 32;
    } else {
        format.bits = bits != 0 ? bits : input.format.bits;
        format.encoding = integer_encoding(container, format.bits);
        // The input's own encoding where it is the same width (8-bit signed stays signed).
        if (bits == 0 && container == input.format.container)
            format.encoding = input.format.encoding;
    }
    if (!valid(container, format.encoding, input.channels, input.sample_rate)) {
        if (!valid(container, format.encoding, input.channels, 44100) ||
            !valid(container, format.encoding, 2, input.sample_rate)) {
            error = path + ": cannot write: \"." + ext + "\" files cannot hold " +
                    (format.floating ? std::string("floating-point")
                                     : std::to_string(format.bits) + "-bit") +
                    " samples" + (format.floating ? " (give --bits 16 or 24)" : "");
        } else {
            error = path + ": cannot write: \"." + ext + "\" files cannot hold " +
                    std::to_string(input.channels) + " channels at " +
                    std::to_string(input.sample_rate) + " Hz";
        }
        return false;
    }
    return true;
}

struct AudioWriter::Sink {
    Handle handle{nullptr, sf_close};
    std::string path;
    int channels = 0;
    bool floating = false;
    std::vector<double> real;  // one block's worth on its way out
};

AudioWriter::AudioWriter() = default;
AudioWriter::~AudioWriter() = default;

bool AudioWriter::open(const std::string& path, const AudioInfo& audio, const SampleFormat& format,
                       std::string& error) {
    sink_ = std::make_unique<Sink>();
    sink_->path = path;
    sink_->channels = audio.channels;
    sink_->floating = format.floating;
    SF_INFO info = {};
    info.channels = audio.channels;
    info.samplerate = audio.sample_rate;
    info.format = format.container | format.encoding;
    sink_->handle.reset(sf_open(path.c_str(), SFM_WRITE, &info));
    if (!sink_->handle) {
        error = path + ": cannot write: " + sf_strerror(nullptr);
        return false;
    }
    SNDFILE* file = sink_->handle.get();
    // Where the container has no room for a field or the layout, libsndfile says no and the
    // audio is written all the same.
    for (const auto& [field, text] : audio.text_fields) sf_set_string(file, field, text.c_str());
    if (audio.channel_map.size() == static_cast<std::size_t>(audio.channels))
        sf_command(file, SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(audio.channel_map.data()),
                   static_cast<int>(audio.channel_map.size() * sizeof(int)));
    return true;
}

bool AudioWriter::write(const std::int32_t* samples, long long frames, std::string& error) {
    Sink& s = *sink_;
    sf_count_t written = 0;
    if (s.floating) {
        const std::size_t count = static_cast<std::size_t>(frames) * s.channels;
        if (s.real.size() < count) s.real.resize(count);
        for (std::size_t i = 0; i < count; ++i) s.real[i] = samples[i] / k_int_full_scale;
        written = sf_writef_double(s.handle.get(), s.real.data(), frames);
    } else {
        written = sf_writef_int(s.handle.get(), samples, frames);
    }
    if (written != frames) {
        error = s.path + ": cannot write: " + sf_strerror(s.handle.get());
        return false;
    }
    return true;
}

bool AudioWriter::finish(std::string& error) {
    if (sf_close(sink_->handle.release()) != 0) {
        error = sink_->path + ": cannot write: the file could not be completed";
        return false;
    }
    return true;
}

}  // namespace varnolt::cli
