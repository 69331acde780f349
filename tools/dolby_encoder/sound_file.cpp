#include "sound_file.h"

#include <sndfile.h>

#include <cmath>
#include <string>

namespace varnolt_tools {

bool read_sound(const std::string& path, Sound& sound, std::string& error) {
    SF_INFO info = {};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    sound.rate = info.samplerate;
    sound.channels = info.channels;
    // Compressed formats (MP3, OGG) may not know their length ahead: read in pieces.
    constexpr sf_count_t k_piece_frames = 65536;
    std::vector<float> piece(static_cast<std::size_t>(k_piece_frames) * info.channels);
    sound.samples.clear();
    for (;;) {
        const sf_count_t got = sf_readf_float(f, piece.data(), k_piece_frames);
        if (got <= 0) break;
        sound.samples.insert(sound.samples.end(), piece.begin(),
                             piece.begin() + static_cast<std::ptrdiff_t>(got * info.channels));
    }
    const int status = sf_error(f);
    sf_close(f);
    if (status != SF_ERR_NO_ERROR) {
        error = path + ": " + sf_error_number(status);
        return false;
    }
    return true;
}

bool write_sound(const std::string& path, const Sound& sound, int bits, std::string& error) {
    if (bits != 24 && bits != 32) {
        error = "bits must be 24 or 32";
        return false;
    }
    if (bits == 24) {
        for (const float x : sound.samples)
            if (std::fabs(x) > 1) {
                error = path + ": a sample of " + std::to_string(x) +
                        " lies past full scale; 24-bit samples would clip it";
                return false;
            }
    }
    SF_INFO info = {};
    info.samplerate = sound.rate;
    info.channels = sound.channels;
    info.format = SF_FORMAT_WAV | (bits == 24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT);
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    const sf_count_t frames = static_cast<sf_count_t>(sound.frames());
    const sf_count_t written = sf_writef_float(f, sound.samples.data(), frames);
    const int closed = sf_close(f);
    if (written != frames || closed != 0) {
        error = path + ": could not write the whole file";
        return false;
    }
    return true;
}

long first_non_finite(const Sound& sound) {
    for (std::size_t n = 0; n < sound.samples.size(); ++n)
        if (!std::isfinite(sound.samples[n])) return static_cast<long>(n);
    return -1;
}

}  // namespace varnolt_tools
