#include "audio_source.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "audio_file_sndfile.h"

namespace varnolt::cli {
namespace {

// How far into a file its ID3v2 tag may make the audio start.
constexpr long k_most_tag_bytes = 64L << 20;

template <typename Real>
void take(const Real* in, std::size_t count, double* out, AudioSource& source) {
    for (std::size_t i = 0; i < count; ++i) out[i] = entry_sample(in[i], source.faults);
}

}  // namespace

void take_real_samples(const double* in, std::size_t count, double* out, AudioSource& source) {
    take(in, count, out, source);
}

void take_real_samples(const float* in, std::size_t count, double* out, AudioSource& source) {
    take(in, count, out, source);
}

void take_integer_samples(const std::int32_t* in, std::size_t count, double* out) {
    for (std::size_t i = 0; i < count; ++i) out[i] = in[i] / k_int_full_scale;
}

bool read_audio_start(const std::string& path, unsigned char* head, std::size_t count) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               std::fclose);
    unsigned char h[10] = {};
    if (!file || std::fread(h, 1, sizeof h, file.get()) != sizeof h) return false;
    long start = 0;
    // The tag's size is stored seven bits to a byte; a footer adds ten bytes more.
    if (std::memcmp(h, "ID3", 3) == 0 && h[6] < 0x80 && h[7] < 0x80 && h[8] < 0x80 && h[9] < 0x80)
        start = (long{h[6]} << 21 | long{h[7]} << 14 | long{h[8]} << 7 | h[9]) +
                (h[5] & 0x10 ? 20 : 10);
    return start <= k_most_tag_bytes && std::fseek(file.get(), start, SEEK_SET) == 0 &&
           std::fread(head, 1, count, file.get()) == count;
}

SampleFormat integer_format(int container, int bits) {
    SampleFormat format;
    format.container = container;
    format.bits = bits <= 8 ? 8 : bits <= 16 ? 16 : bits <= 24 ? 24 : 32;
    format.encoding = format.bits == 8    ? SF_FORMAT_PCM_S8
                      : format.bits == 16 ? SF_FORMAT_PCM_16
                      : format.bits == 24 ? SF_FORMAT_PCM_24
                                          : SF_FORMAT_PCM_32;
    return format;
}

}  // namespace varnolt::cli
