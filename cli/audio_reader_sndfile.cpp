// Reading audio files through libsndfile, with what libsndfile does not say about them: the
// length their header promises (read from the header itself), a header that gives no length,
// and a lossy file cut short.

#include <sndfile.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "audio_file_sndfile.h"
#include "audio_metadata_sndfile.h"
#include "audio_source.h"
#include "container_length.h"
#include "text_format.h"

namespace varnolt::cli {
namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// Length fields are 32 or 64 bits.
constexpr int k_longest_field = 8;

// A header longer than this, in bytes, is beyond any real file: its promise is not repeated.
constexpr unsigned long long k_most_credible_bytes = 1ull << 46;

// The file as libsndfile sees it through its virtual I/O: the bytes on disk, with a length
// field that gives no length shown holding the true one.
struct MendedFile {
    std::FILE* file = nullptr;
    long long size = 0;
    long long position = 0;
    LengthField field;
    unsigned char field_bytes[k_longest_field] = {};
};

sf_count_t mended_length(void* user) {
    return static_cast<MendedFile*>(user)->size;
}

sf_count_t mended_seek(sf_count_t offset, int whence, void* user) {
    MendedFile& m = *static_cast<MendedFile*>(user);
    const long long base = whence == SEEK_CUR ? m.position : whence == SEEK_END ? m.size : 0;
    const long long to = base + offset;
    if (to < 0 || fseeko(m.file, static_cast<off_t>(to), SEEK_SET) != 0) return -1;
    m.position = to;
    return to;
}

sf_count_t mended_read(void* to, sf_count_t count, void* user) {
    MendedFile& m = *static_cast<MendedFile*>(user);
    const std::size_t got = std::fread(to, 1, static_cast<std::size_t>(count), m.file);
    // The part of the mended field this read covers.
    for (int i = 0; i < std::min(m.field.bytes, k_longest_field); ++i) {
        const long long at = m.field.at + i - m.position;
        if (at >= 0 && at < static_cast<long long>(got))
            static_cast<unsigned char*>(to)[at] = m.field_bytes[i];
    }
    m.position += static_cast<long long>(got);
    return static_cast<sf_count_t>(got);
}

sf_count_t no_write(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t mended_tell(void* user) {
    return static_cast<MendedFile*>(user)->position;
}

void mend(MendedFile& m, const LengthField& field) {
    m.field = field;
    m.field.bytes = std::clamp(field.bytes, 0, k_longest_field);
    for (int i = 0; i < m.field.bytes; ++i) {
        const int shift = 8 * (field.big_endian ? field.bytes - 1 - i : i);
        m.field_bytes[i] = static_cast<unsigned char>(field.value >> shift);
    }
}

// Whether the header parsed is the one libsndfile read the file by.
bool same_container(Container container, int major) {
    switch (container) {
        case Container::riff:
            return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX;
        case Container::rf64:
            return major == SF_FORMAT_RF64;
        case Container::w64:
            return major == SF_FORMAT_W64;
        case Container::au:
            return major == SF_FORMAT_AU;
        case Container::aiff:
            return major == SF_FORMAT_AIFF;
        default:
            return false;
    }
}

// Bytes of one sample of an encoding that stores every sample alike; 0 for the compressed ones.
int sample_bytes(int encoding) {
    switch (encoding) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
            return 1;
        case SF_FORMAT_PCM_16:
            return 2;
        case SF_FORMAT_PCM_24:
            return 3;
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
            return 4;
        case SF_FORMAT_DOUBLE:
            return 8;
        default:
            return 0;
    }
}

struct SndfileSource : AudioSource {
    File file{nullptr, std::fclose};
    MendedFile mended;
    SndfileHandle handle{nullptr, sf_close};
    long long promised = 0;  // frames the header promises
    long long got = 0;       // frames read so far
    bool ended = false;
    std::vector<std::int32_t> integers;  // integer samples on their way in, one block's worth

    long long read(double* samples, long long frames) override;
};

// What the header promises against what the file holds, known before a sample is read.
void check_length(SndfileSource& s, const DataLength& length, const SF_INFO& sf) {
    if (!same_container(length.container, sf.format & SF_FORMAT_TYPEMASK)) return;
    if (length.stand_in) {
        s.warning =
            "its header gives no length (as when written to a pipe): read to the end of the file";
        return;
    }
    if (length.declared <= length.held) return;
    if (length.declared > k_most_credible_bytes) {
        s.damage = formatted("its header gives a length no file has; %.1f s is there",
                             static_cast<double>(sf.frames) / sf.samplerate);
        return;
    }
    const int bytes = sample_bytes(sf.format & SF_FORMAT_SUBMASK) * sf.channels;
    // Compressed samples: the promise in proportion to what the bytes held gave.
    const unsigned long long held = std::min(length.declared, length.held);
    const long double promised = bytes > 0 ? static_cast<long double>(length.declared / bytes)
                                 : held > 0
                                     ? static_cast<long double>(sf.frames) * length.declared / held
                                     : 0;
    s.promised = std::max<long long>(sf.frames, static_cast<long long>(promised));
    if (s.promised > sf.frames) s.damage = missing_text(sf.frames, s.promised, sf.samplerate);
}

long long SndfileSource::read(double* samples, long long frames) {
    if (ended || frames <= 0) return 0;
    const std::size_t count = static_cast<std::size_t>(frames) * info.channels;
    sf_count_t n = 0;
    if (info.format.floating) {
        n = std::max<sf_count_t>(0, sf_readf_double(handle.get(), samples, frames));
        take_real_samples(samples, static_cast<std::size_t>(n) * info.channels, samples, *this);
    } else {
        if (integers.size() < count) integers.resize(count);
        n = std::max<sf_count_t>(0, sf_readf_int(handle.get(), integers.data(), frames));
        take_integer_samples(integers.data(), static_cast<std::size_t>(n) * info.channels, samples);
    }
    got += n;
    if (n < frames) {
        ended = true;
        // Short of what the header promised, or stopped by an error inside the file.
        const long long whole = std::max(promised, info.frames);
        if (got < whole)
            damage = missing_text(got, whole, info.sample_rate);
        else if (sf_error(handle.get()) != SF_ERR_NO_ERROR)
            damage = std::string("its end could not be read: ") + sf_strerror(handle.get());
    }
    return n;
}

}  // namespace

std::unique_ptr<AudioSource> open_sndfile_source(const std::string& path, std::string& error) {
    auto s = std::make_unique<SndfileSource>();
    s->file.reset(std::fopen(path.c_str(), "rb"));
    if (!s->file) {
        error = path + ": cannot read: cannot open it";
        return nullptr;
    }
    const DataLength length = find_data_length(s->file.get());
    MendedFile& m = s->mended;
    m.file = s->file.get();
    if (fseeko(m.file, 0, SEEK_END) != 0 || (m.size = ftello(m.file)) < 0 ||
        fseeko(m.file, 0, SEEK_SET) != 0) {
        error = path + ": cannot read: cannot find its length";
        return nullptr;
    }
    mend(m, length.true_length);
    SF_VIRTUAL_IO io = {mended_length, mended_seek, mended_read, no_write, mended_tell};
    SF_INFO sf = {};
    s->handle.reset(sf_open_virtual(&io, SFM_READ, &sf, &m));
    if (!s->handle) {
        error = path + ": cannot read: " + sf_strerror(nullptr);
        return nullptr;
    }
    if (sf.channels < 1 || sf.samplerate < 1 || sf.frames < 0) {
        error = path + ": cannot read: no audio in it";
        return nullptr;
    }
    SNDFILE* file = s->handle.get();
    AudioInfo& info = s->info;
    info.channels = sf.channels;
    info.sample_rate = sf.samplerate;
    const int major = sf.format & SF_FORMAT_TYPEMASK;
    // libsndfile gives the largest count for a length it does not know: a stream that lacks
    // its end (an Ogg file cut short never reaches its last page, which holds the length).
    const bool length_unknown = sf.frames == SF_COUNT_MAX;
    info.frames = length_unknown ? 0 : sf.frames;
    if (length_unknown && major == SF_FORMAT_OGG)
        s->damage = "cut short: it ends without the end-of-stream mark its format closes with";
    info.format.container = major;
    info.format.encoding = sf.format & SF_FORMAT_SUBMASK;
    info.format.bits = integer_width(info.format.encoding);
    info.format.floating = info.format.bits == 0;
    if (info.format.floating) info.format.bits = 32;
    if (info.channels > k_most_channels) return s;  // refused by the reader, with its reason

    read_metadata(file, info);
    if (!length_unknown) check_length(*s, length, sf);
    return s;
}

}  // namespace varnolt::cli
