#include "wav_file.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr std::uint16_t k_format_pcm = 1;
constexpr std::uint16_t k_format_extensible = 0xFFFE;
constexpr std::size_t k_format_chunk_most = 64;  // the longest fmt chunk read (extensible: 40)

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

// Files beyond 2 GB: `long` is 32 bits on Windows.
bool seek_to(std::FILE* file, long long offset) {
#ifdef _WIN32
    return _fseeki64(file, offset, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

long long size_of(std::FILE* file) {
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
    return _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    return ftello(file);
#endif
}

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

}  // namespace

bool read_wav_layout(std::FILE* file, const std::string& path, WavLayout& layout,
                     std::string& error) {
    const long long file_size = size_of(file);
    std::uint8_t riff[12];
    if (file_size < 12 || !seek_to(file, 0) || std::fread(riff, 1, 12, file) != 12 ||
        std::memcmp(riff, "RIFF", 4) || std::memcmp(riff + 8, "WAVE", 4)) {
        error = path + " is not a RIFF/WAVE file";
        return false;
    }
    bool have_format = false;
    long long pos = 12;
    std::uint8_t header[8];
    while (pos + 8 <= file_size && seek_to(file, pos) && std::fread(header, 1, 8, file) == 8) {
        const long long body = pos + 8;
        const long long claimed = le32(header + 4);
        const long long size = std::min(claimed, file_size - body);  // a short last chunk
        if (!std::memcmp(header, "fmt ", 4) && size >= 16) {
            std::uint8_t f[k_format_chunk_most] = {};
            const std::size_t want = static_cast<std::size_t>(std::min<long long>(size, sizeof f));
            if (std::fread(f, 1, want, file) != want) break;
            std::uint16_t format = le16(f);
            if (format == k_format_extensible && size >= 26) format = le16(f + 24);
            if (format != k_format_pcm) {
                error = path + ": only integer PCM is supported";
                return false;
            }
            layout.channels = le16(f + 2);
            layout.sample_rate = static_cast<int>(le32(f + 4));
            layout.bits = le16(f + 14);
            have_format = true;
        } else if (!std::memcmp(header, "data", 4)) {
            if (!have_format) {
                error = path + ": data chunk before fmt chunk";
                return false;
            }
            if (layout.channels < 1 || layout.sample_rate < 1 ||
                (layout.bits != 8 && layout.bits != 16 && layout.bits != 24 && layout.bits != 32)) {
                error = path + ": unsupported layout";
                return false;
            }
            layout.data_offset = body;
            layout.claimed_bytes = claimed;
            layout.data_bytes = size - size % layout.bytes_per_frame();
            return seek_to(file, body);
        }
        pos = body + size + (size & 1);
    }
    error = path + ": no data chunk";
    return false;
}

std::vector<std::uint8_t> wav_header(int channels, int sample_rate, int bits,
                                     std::uint32_t data_bytes) {
    const int frame_bytes = channels * bits / 8;
    std::vector<std::uint8_t> out;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(out, 36 + data_bytes + (data_bytes & 1));
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16);
    put16(out, k_format_pcm);
    put16(out, static_cast<std::uint16_t>(channels));
    put32(out, static_cast<std::uint32_t>(sample_rate));
    put32(out, static_cast<std::uint32_t>(sample_rate * frame_bytes));
    put16(out, static_cast<std::uint16_t>(frame_bytes));
    put16(out, static_cast<std::uint16_t>(bits));
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, data_bytes);
    return out;
}

bool read_wav(const std::string& path, PcmAudio& audio, std::string& error) {
    File file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    WavLayout layout;
    if (!read_wav_layout(file.get(), path, layout, error)) return false;
    audio.channels = layout.channels;
    audio.sample_rate = layout.sample_rate;
    audio.bits = layout.bits;
    audio.bytes.resize(static_cast<std::size_t>(layout.data_bytes));
    const std::size_t got = std::fread(audio.bytes.data(), 1, audio.bytes.size(), file.get());
    audio.bytes.resize(got - got % audio.bytes_per_frame());
    return true;
}

bool write_wav(const std::string& path, const PcmAudio& audio, std::string& error) {
    const std::uint32_t data_size = static_cast<std::uint32_t>(audio.bytes.size());
    std::vector<std::uint8_t> out =
        wav_header(audio.channels, audio.sample_rate, audio.bits, data_size);
    out.insert(out.end(), audio.bytes.begin(), audio.bytes.end());
    if (data_size & 1) out.push_back(0);

    File file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file || std::fwrite(out.data(), 1, out.size(), file.get()) != out.size()) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
