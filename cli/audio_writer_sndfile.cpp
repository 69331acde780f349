// Writing audio files through libsndfile, and the format an output's name asks for.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "audio_file.h"
#include "audio_file_sndfile.h"
#include "audio_metadata_sndfile.h"
#include "block_layout.h"
#include "output_length.h"
#include "text_format.h"

namespace varnolt::cli {
namespace {

using Handle = SndfileHandle;

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

LengthFields length_fields(int container) {
    switch (container) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
            return LengthFields::riff;
        case SF_FORMAT_RF64:
        case SF_FORMAT_W64:
        case SF_FORMAT_CAF:
        case SF_FORMAT_FLAC:
        case SF_FORMAT_OGG:
        case SF_FORMAT_MPEG:
            return LengthFields::wide;
        default:
            return LengthFields::narrow;
    }
}

int bytes_per_sample(const SampleFormat& format) {
    if (format.encoding == SF_FORMAT_DOUBLE) return 8;
    return format.floating ? 4 : format.bits / 8;
}

// Whether the container's length can be read back as what was written: not for the lossy ones,
// whose decoders may add or drop a few frames of padding.
bool exact_length(int container) {
    return container != SF_FORMAT_OGG && container != SF_FORMAT_MPEG;
}

std::string gib_text(std::uint64_t bytes) {
    return formatted("%.2f GiB", static_cast<double>(bytes) / (1ull << 30));
}

// What a format refused by libsndfile's check cannot hold: the samples themselves, the number of
// channels, the rate, or the two together.
std::string refusal(const std::string& path, const std::string& ext, const SampleFormat& format,
                    const AudioInfo& input) {
    const std::string intro = path + ": cannot write: \"." + ext + "\" files cannot hold ";
    const int container = format.container, encoding = format.encoding;
    if (!valid(container, encoding, 1, 44100) && !valid(container, encoding, 2, 44100))
        return intro +
               (format.floating ? std::string("floating-point")
                                : std::to_string(format.bits) + "-bit") +
               " samples" + (format.floating ? " (give --bits 16 or 24)" : "");
    const int plain_channels = valid(container, encoding, 2, 44100) ? 2 : 1;
    const bool channels_fit = valid(container, encoding, input.channels, 44100);
    const bool rate_fits = valid(container, encoding, plain_channels, input.sample_rate);
    const std::string channels = std::to_string(input.channels) + " channels";
    const std::string rate = std::to_string(input.sample_rate) + " Hz";
    if (!channels_fit && rate_fits) return intro + channels;
    if (channels_fit && !rate_fits) return intro + rate;
    return intro + channels + " at " + rate;
}

}  // namespace

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
    // An extensible WAV's channel layout needs an extensible WAV to stay.
    if (container == SF_FORMAT_WAV &&
        (input.format.container == SF_FORMAT_WAVEX || !input.channel_map.empty()) &&
        valid(SF_FORMAT_WAVEX, format.encoding, input.channels, input.sample_rate))
        format.container = SF_FORMAT_WAVEX;
    if (!valid(format.container, format.encoding, input.channels, input.sample_rate)) {
        error = refusal(path, ext, format, input);
        return false;
    }
    const long long frames = input.frames > 0 ? input.frames : -1;
    switch (plan_for_length(length_fields(format.container), frames, input.channels,
                            bytes_per_sample(format))) {
        case LengthPlan::as_named:
            break;
        case LengthPlan::rf64:
            format.container = SF_FORMAT_RF64;
            format.downgrade_when_small = true;
            break;
        case LengthPlan::too_long:
            error = path + ": cannot write: \"." + ext +
                    "\" files hold at most 4 GiB of samples, " + "and this one would take " +
                    gib_text(sample_bytes(input.frames, input.channels, bytes_per_sample(format))) +
                    " (write .wav, .w64, .caf or .flac)";
            return false;
    }
    return true;
}

struct AudioWriter::Sink {
    Handle handle{nullptr, sf_close};
    std::string path;
    int channels = 0;
    bool floating = false;
    int container = 0;
    // Bytes of samples a 32-bit length can still take; unlimited where the lengths are wide.
    std::uint64_t room = UINT64_MAX;
    int frame_bytes = 0;
    long long frames = 0;                // written so far
    std::vector<std::int32_t> integers;  // one block's worth on its way out
    AudioInfo metadata;                  // what the output was asked to carry
    std::string left_out;
};

AudioWriter::AudioWriter() = default;
AudioWriter::~AudioWriter() = default;

bool AudioWriter::open(const std::string& path, const AudioInfo& audio, const SampleFormat& format,
                       std::string& error) {
    sink_ = std::make_unique<Sink>();
    sink_->path = path;
    sink_->channels = audio.channels;
    sink_->floating = format.floating;
    sink_->container = format.container;
    sink_->metadata = audio;
    sink_->frame_bytes = audio.channels * bytes_per_sample(format);
    if (length_fields(format.container) != LengthFields::wide)
        sink_->room = k_most_32_bit_sample_bytes;
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
    if (format.downgrade_when_small) sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    write_metadata(file, audio);
    return true;
}

bool AudioWriter::write(const double* samples, long long frames, std::string& error) {
    Sink& s = *sink_;
    const std::uint64_t bytes = static_cast<std::uint64_t>(frames) * s.frame_bytes;
    if (bytes > s.room) {
        error = s.path +
                ": cannot write: the file's 32-bit lengths hold at most 4 GiB of samples (write "
                ".wav, .w64, .caf or .flac)";
        return false;
    }
    s.room -= bytes;
    s.frames += frames;
    sf_count_t written = 0;
    if (s.floating) {
        written = sf_writef_double(s.handle.get(), samples, frames);
    } else {
        // Left-aligned in 32 bits, libsndfile keeps the top bits of each: the samples lie on
        // the format's steps, so nothing is rounded on the way.
        const std::size_t count = static_cast<std::size_t>(frames) * s.channels;
        if (s.integers.size() < count) s.integers.resize(count);
        for (std::size_t i = 0; i < count; ++i) s.integers[i] = left_aligned(samples[i]);
        written = sf_writef_int(s.handle.get(), s.integers.data(), frames);
    }
    if (written != frames) {
        error = s.path + ": cannot write: " + sf_strerror(s.handle.get());
        return false;
    }
    return true;
}

bool AudioWriter::finish(std::string& error) {
    Sink& s = *sink_;
    if (sf_close(s.handle.release()) != 0) {
        error = s.path + ": cannot write: the file could not be completed";
        return false;
    }
    if (!finish_metadata(s.path, s.container, s.metadata, error)) return false;
    // What reads back is what counts: a length that did not fit its field, or a disk that
    // took less than it said, shows here and is never reported as done.
    SF_INFO info = {};
    const Handle back(sf_open(s.path.c_str(), SFM_READ, &info), sf_close);
    if (back) s.left_out = metadata_left_out(s.metadata, back.get(), s.path, s.container);
    if (!back || (exact_length(s.container) && info.frames != s.frames)) {
        error = s.path + formatted(
                             ": cannot write: the file reads back as %lld of the %lld "
                             "frames written",
                             back ? static_cast<long long>(info.frames) : 0LL, s.frames);
        return false;
    }
    return true;
}

const std::string& AudioWriter::left_out() const {
    return sink_->left_out;
}

}  // namespace varnolt::cli
