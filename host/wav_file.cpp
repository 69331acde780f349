#include "wav_file.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr std::uint16_t k_format_pcm = 1;
constexpr std::uint16_t k_format_extensible = 0xFFFE;

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

using File = std::unique_ptr<FILE, int (*)(FILE*)>;

}  // namespace

bool read_wav(const std::string& path, PcmAudio& audio, std::string& error) {
    File file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<std::uint8_t> data;
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        data.insert(data.end(), chunk, chunk + n);

    if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) ||
        std::memcmp(data.data() + 8, "WAVE", 4)) {
        error = path + " is not a RIFF/WAVE file";
        return false;
    }
    bool have_format = false;
    std::size_t pos = 12;
    while (pos + 8 <= data.size()) {
        const std::uint8_t* id = data.data() + pos;
        std::size_t size = le32(id + 4);
        std::size_t body = pos + 8;
        if (body + size > data.size()) size = data.size() - body;  // tolerate a short last chunk
        if (!std::memcmp(id, "fmt ", 4) && size >= 16) {
            const std::uint8_t* f = data.data() + body;
            std::uint16_t format = le16(f);
            if (format == k_format_extensible && size >= 26) format = le16(f + 24);
            if (format != k_format_pcm) {
                error = path + ": only integer PCM is supported";
                return false;
            }
            audio.channels = le16(f + 2);
            audio.sample_rate = static_cast<int>(le32(f + 4));
            audio.bits = le16(f + 14);
            have_format = true;
        } else if (!std::memcmp(id, "data", 4)) {
            if (!have_format) {
                error = path + ": data chunk before fmt chunk";
                return false;
            }
            audio.bytes.assign(data.begin() + body, data.begin() + body + size);
            if (audio.channels < 1 ||
                (audio.bits != 8 && audio.bits != 16 && audio.bits != 24 && audio.bits != 32)) {
                error = path + ": unsupported layout";
                return false;
            }
            audio.bytes.resize(audio.frames() * audio.bytes_per_frame());
            return true;
        }
        pos = body + size + (size & 1);
    }
    error = path + ": no data chunk";
    return false;
}

bool write_wav(const std::string& path, const PcmAudio& audio, std::string& error) {
    std::vector<std::uint8_t> out;
    const std::uint32_t data_size = static_cast<std::uint32_t>(audio.bytes.size());
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(out, 36 + data_size + (data_size & 1));
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16);
    put16(out, k_format_pcm);
    put16(out, static_cast<std::uint16_t>(audio.channels));
    put32(out, static_cast<std::uint32_t>(audio.sample_rate));
    put32(out, static_cast<std::uint32_t>(audio.sample_rate * audio.bytes_per_frame()));
    put16(out, static_cast<std::uint16_t>(audio.bytes_per_frame()));
    put16(out, static_cast<std::uint16_t>(audio.bits));
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, data_size);
    out.insert(out.end(), audio.bytes.begin(), audio.bytes.end());
    if (data_size & 1) out.push_back(0);

    File file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file || std::fwrite(out.data(), 1, out.size(), file.get()) != out.size()) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
