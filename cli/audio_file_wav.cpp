// The Windows build has no libsndfile (Debian has no build of it for mingw-w64): it reads and
// writes integer-PCM WAV files with the stand-in host's reader and writer.

#include <cctype>

#include "audio_file.h"
#include "block_layout.h"
#include "wav_file.h"

namespace varnolt::cli {
namespace {

bool names_wav(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".wav";
}

}  // namespace

bool read_audio_file(const std::string& path, AudioFile& audio, std::string& error) {
    PcmAudio pcm;
    if (!read_wav(path, pcm, error)) {
        error += " (this build reads integer-PCM WAV files)";
        return false;
    }
    audio.channels = pcm.channels;
    audio.sample_rate = pcm.sample_rate;
    audio.format = SampleFormat{0, 0, pcm.bits, false};
    audio.samples = from_blocks(pcm.bytes, pcm.bits);
    return true;
}

bool choose_output_format(const std::string& path, const AudioFile& input, int bits,
                          SampleFormat& format, std::string& error) {
    if (!names_wav(path)) {
        error = path + ": cannot write: this build writes WAV files only";
        return false;
    }
    format = SampleFormat{0, 0, bits != 0 ? bits : input.format.bits, false};
    return true;
}

bool write_audio_file(const std::string& path, const AudioFile& audio, const SampleFormat& format,
                      std::string& error) {
    PcmAudio pcm;
    pcm.channels = audio.channels;
    pcm.sample_rate = audio.sample_rate;
    pcm.bits = format.bits;
    pcm.bytes = to_blocks(audio.samples, format.bits);
    return write_wav(path, pcm, error);
}

}  // namespace varnolt::cli
