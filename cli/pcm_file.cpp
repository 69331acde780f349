#include "pcm_file.h"

#include <sndfile.h>

#include <cstdio>
#include <memory>

namespace {

using Handle = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;

int width_of(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
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

// libsndfile hands integers left-aligned in 32 bits; the block layout keeps `bits` of them.
void pack(std::int32_t v, int bits, std::uint8_t* p) {
    if (bits == 8) {
        p[0] = static_cast<std::uint8_t>((v >> 24) + 128);
        return;
    }
    const std::uint32_t u = static_cast<std::uint32_t>(v) >> (32 - bits);
    for (int b = 0; b < bits / 8; ++b) p[b] = static_cast<std::uint8_t>(u >> (8 * b));
}

std::int32_t unpack(const std::uint8_t* p, int bits) {
    if (bits == 8) return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0] - 128) << 24);
    std::uint32_t u = 0;
    for (int b = 0; b < bits / 8; ++b) u |= static_cast<std::uint32_t>(p[b]) << (8 * b);
    return static_cast<std::int32_t>(u << (32 - bits));
}

}  // namespace

bool read_pcm_file(const std::string& path, PcmFile& file, std::string& error) {
    SF_INFO info = {};
    Handle handle(sf_open(path.c_str(), SFM_READ, &info), sf_close);
    if (!handle) {
        error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    file.bits = width_of(info.format);
    if (file.bits == 0) {
        error = path + ": only 8, 16, 24 and 32-bit integer PCM can be restored";
        return false;
    }
    file.channels = info.channels;
    file.sample_rate = info.samplerate;
    file.sndfile_format = info.format;
    std::vector<std::int32_t> samples(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_int(handle.get(), samples.data(), info.frames);
    samples.resize(static_cast<std::size_t>(got) * info.channels);
    const int width = file.bits / 8;
    file.bytes.resize(samples.size() * width);
    for (std::size_t i = 0; i < samples.size(); ++i)
        pack(samples[i], file.bits, &file.bytes[i * width]);
    return true;
}

bool write_pcm_file(const std::string& path, const PcmFile& file, std::string& error) {
    SF_INFO info = {};
    info.channels = file.channels;
    info.samplerate = file.sample_rate;
    info.format = file.sndfile_format;
    const std::string temporary = path + ".partial";
    {
        Handle handle(sf_open(temporary.c_str(), SFM_WRITE, &info), sf_close);
        if (!handle) {
            error = "cannot write " + path + ": " + sf_strerror(nullptr);
            return false;
        }
        const int width = file.bits / 8;
        std::vector<std::int32_t> samples(file.bytes.size() / width);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = unpack(&file.bytes[i * width], file.bits);
        const sf_count_t frames = static_cast<sf_count_t>(samples.size() / file.channels);
        if (sf_writef_int(handle.get(), samples.data(), frames) != frames) {
            error = "cannot write " + path + ": " + sf_strerror(handle.get());
            handle.reset();
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}
