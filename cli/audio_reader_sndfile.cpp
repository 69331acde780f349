// Reading audio files through libsndfile.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "audio_file.h"
#include "audio_file_sndfile.h"
#include "audio_metadata_sndfile.h"

namespace varnolt::cli {
namespace {

using Handle = SndfileHandle;

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
    EntryFaults faults;
    std::vector<std::int32_t> integers;  // integer samples on their way in, one block's worth
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

    read_metadata(file, path, info);

    source_->promised = promised_frames(file, sf);
    if (source_->promised > sf.frames)
        source_->damage =
            missing_text(static_cast<double>(sf.frames), source_->promised, sf.samplerate);
    return true;
}

const AudioInfo& AudioReader::info() const {
    return source_->info;
}

long long AudioReader::read(double* samples, long long frames) {
    Source& s = *source_;
    if (s.ended || frames <= 0) return 0;
    const std::size_t count = static_cast<std::size_t>(frames) * s.info.channels;
    sf_count_t got = 0;
    if (s.info.format.floating) {
        got = std::max<sf_count_t>(0, sf_readf_double(s.handle.get(), samples, frames));
        const std::size_t n = static_cast<std::size_t>(got) * s.info.channels;
        for (std::size_t i = 0; i < n; ++i) samples[i] = entry_sample(samples[i], s.faults);
    } else {
        // Integers left-aligned in 32 bits, whatever their width: exact in a double.
        if (s.integers.size() < count) s.integers.resize(count);
        got = std::max<sf_count_t>(0, sf_readf_int(s.handle.get(), s.integers.data(), frames));
        const std::size_t n = static_cast<std::size_t>(got) * s.info.channels;
        for (std::size_t i = 0; i < n; ++i) samples[i] = s.integers[i] / k_int_full_scale;
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

const EntryFaults& AudioReader::entry_faults() const {
    return source_->faults;
}

}  // namespace varnolt::cli
