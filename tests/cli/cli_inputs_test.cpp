// Odd inputs as they come from the field: files cut short in every container, damaged FLAC
// frames, files written to a pipe, MP3s without a length tag, and headers that ask for more
// than any recording needs. Each is made here with libsndfile and a few byte edits.

#include <FLAC/stream_encoder.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "cli_fixture.h"

namespace varnolt::testing {
namespace {

constexpr int k_rate = 44100;

void put_le(std::string& bytes, std::size_t at, unsigned long long value, int count) {
    for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

std::size_t find(const std::string& bytes, const std::string& what) {
    const std::size_t at = bytes.find(what);
    EXPECT_NE(at, std::string::npos) << what;
    return at == std::string::npos ? 0 : at;
}

// Every "N s" a message names, so that none can be absurd.
std::vector<double> seconds_named(const std::string& text) {
    std::vector<double> found;
    const std::regex number("([0-9]+\\.?[0-9]*) s\\b");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), number);
         it != std::sregex_iterator(); ++it)
        found.push_back(std::atof((*it)[1].str().c_str()));
    return found;
}

// Samples at every integer step of `bits`, so that a change of one step shows.
Sound ramp(int frames, int bits, int format) {
    Sound s;
    s.format = format;
    const double step = std::ldexp(1.0, 1 - bits);
    unsigned noise = 12345;
    for (int n = 0; n < frames; ++n)
        for (int c = 0; c < 2; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const long long level = static_cast<long long>(noise >> (33 - bits)) -
                                    (1LL << (bits - 2));  // within half of full scale
            s.samples.push_back(static_cast<double>(level) * step);
        }
    return s;
}

class CliInputs : public Cli {
  protected:
    std::string bytes_of(const std::string& name) { return read_text(dir.file(name)); }
    void put(const std::string& name, const std::string& bytes) {
        write_text(dir.file(name), bytes);
    }
};

// Float and double WAV, WAVE_FORMAT_EXTENSIBLE, RF64, W64, AU and AIFF float cut to half their
// bytes were shortened without a word, with exit status 0; so was an RF64 whose ds64 chunk
// promised a billion frames. Only integer WAV and AIFF were caught.
TEST_F(CliInputs, FilesCutShortAreDamagedInEveryContainer) {
    const struct {
        const char* name;
        int format;
    } cases[] = {
        {"int.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE},
        {"extensible.wav", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT},
        {"rf64.wav", SF_FORMAT_RF64 | SF_FORMAT_PCM_24},
        {"rf64-float.wav", SF_FORMAT_RF64 | SF_FORMAT_FLOAT},
        {"int.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16},
        {"float.w64", SF_FORMAT_W64 | SF_FORMAT_FLOAT},
        {"int.au", SF_FORMAT_AU | SF_FORMAT_PCM_16},
        {"float.au", SF_FORMAT_AU | SF_FORMAT_FLOAT},
        {"float.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_sound(c.name, tone(2 * k_rate, 2, 0.25, c.format));
        std::string bytes = bytes_of(c.name);
        bytes.resize(bytes.size() / 2);
        put(c.name, bytes);
        const Result r = run(std::string(c.name) + " out.wav");
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_TRUE(one_line(r.err)) << r.err;
        EXPECT_NE(r.err.find(std::string(c.name) +
                             ": damaged: only 1.0 s of 2.0 s could be read (--keep-damaged"),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(file_exists(dir.file("out.wav")));
        const Result kept = run(std::string("--keep-damaged ") + c.name + " out.wav");
        EXPECT_EQ(kept.exit_code, 0) << kept.err;
        EXPECT_NEAR(read_sound("out.wav").frames(), k_rate, k_rate / 50);
        std::filesystem::remove(dir.file("out.wav"));
    }

    // The ds64 chunk's sizes stand in for the 32-bit ones: data size and sample count.
    write_sound("billion.wav", tone(2 * k_rate, 2, 0.25, SF_FORMAT_RF64 | SF_FORMAT_PCM_16));
    std::string rf64 = bytes_of("billion.wav");
    const std::size_t ds64 = find(rf64, "ds64");
    put_le(rf64, ds64 + 16, 1000000000ULL * 4, 8);
    put_le(rf64, ds64 + 24, 1000000000ULL, 8);
    put("billion.wav", rf64);
    const Result r = run("billion.wav out.wav");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("damaged: only 2.0 s of 22675.7 s could be read"), std::string::npos)
        << r.err;
}

// A damaged FLAC frame ended the reading: --keep-damaged kept only what came before it (about
// half of the file for 16 damaged bytes), and the message spoke of a file cut short. The frames
// after it are read, the lost stretch is silence, and everything after stays in place.
TEST_F(CliInputs, ADamagedFlacFrameIsSilencedAndWhatFollowsStaysInPlace) {
    constexpr int frames = 20 * k_rate;
    const Sound input = ramp(frames, 16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    write_sound("whole.flac", input);
    std::string bytes = bytes_of("whole.flac");
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 16; ++i) bytes[i] ^= 0x5A;
    put("hurt.flac", bytes);

    const Result r = run("hurt.flac out.flac");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(one_line(r.err)) << r.err;
    const std::smatch said = [&] {
        std::smatch m;
        std::regex_search(r.err, m,
                          std::regex("damaged: ([0-9.]+) s of 20.0 s could not be "
                                     "decoded \\(--keep-damaged"));
        return m;
    }();
    ASSERT_FALSE(said.empty()) << r.err;

    const Result kept = run("--keep-damaged --mode bypass hurt.flac out.flac");
    ASSERT_EQ(kept.exit_code, 0) << kept.err;
    EXPECT_NE(kept.err.find("could not be decoded; restoring what could be read"),
              std::string::npos)
        << kept.err;
    const Sound output = read_sound("out.flac");
    ASSERT_EQ(output.frames(), frames);
    // Bypassed, every sample comes out as it went in, but for the silenced stretch.
    long long first_lost = -1, last_lost = -1;
    for (long long n = 0; n < frames; ++n)
        for (int c = 0; c < 2; ++c)
            if (output.at(n, c) != input.at(n, c)) {
                ASSERT_EQ(output.at(n, c), 0.0) << n;
                if (first_lost < 0) first_lost = n;
                last_lost = n;
            }
    ASSERT_GE(first_lost, 0) << "the damage went unnoticed";
    const double lost_seconds = static_cast<double>(last_lost - first_lost + 1) / k_rate;
    EXPECT_GT(first_lost, frames / 3);
    EXPECT_LT(last_lost, frames * 2 / 3);
    EXPECT_NEAR(std::atof(said[1].str().c_str()), lost_seconds, 0.1);
}

// A streaming encoder leaves the STREAMINFO's total at 0 (unknown); such a file reads to its end
// without a claim of damage. Samples of 8, 16 and 24 bits come through exact.
TEST_F(CliInputs, FlacReadsExactlyAndAnUnknownTotalReadsToTheEnd) {
    const struct {
        int bits;
        int encoding;
    } widths[] = {{8, SF_FORMAT_PCM_S8}, {16, SF_FORMAT_PCM_16}, {24, SF_FORMAT_PCM_24}};
    for (const auto& w : widths) {
        SCOPED_TRACE(w.bits);
        const Sound input = ramp(3 * k_rate, w.bits, SF_FORMAT_FLAC | w.encoding);
        write_sound("in.flac", input);
        std::string bytes = bytes_of("in.flac");
        // STREAMINFO after "fLaC" and its block header: the 36-bit total starts in the low
        // nibble of its 14th byte.
        bytes[8 + 13] = static_cast<char>(bytes[8 + 13] & 0xF0);
        put_le(bytes, 8 + 14, 0, 4);
        put("streamed.flac", bytes);
        for (const char* name : {"in.flac", "streamed.flac"}) {
            SCOPED_TRACE(name);
            const Result r = run(std::string("--mode bypass ") + name + " out.flac");
            ASSERT_EQ(r.exit_code, 0) << r.err;
            EXPECT_EQ(r.err, "");
            const Sound output = read_sound("out.flac");
            ASSERT_EQ(output.frames(), input.frames());
            for (std::size_t i = 0; i < input.samples.size(); ++i)
                ASSERT_EQ(output.samples[i], input.samples[i]) << i;
        }
    }
}

// libsndfile neither writes nor reads FLAC of 32 bits; libFLAC does both, and every bit of such a
// sample comes through.
TEST_F(CliInputs, ThirtyTwoBitFlacIsReadExactly) {
    constexpr int frames = k_rate / 2;
    std::vector<FLAC__int32> samples;
    unsigned noise = 777;
    for (int i = 0; i < 2 * frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        samples.push_back(static_cast<FLAC__int32>(noise) / 2);
    }
    FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
    ASSERT_NE(encoder, nullptr);
    FLAC__stream_encoder_set_channels(encoder, 2);
    FLAC__stream_encoder_set_bits_per_sample(encoder, 32);
    FLAC__stream_encoder_set_sample_rate(encoder, k_rate);
    ASSERT_EQ(
        FLAC__stream_encoder_init_file(encoder, dir.file("wide.flac").c_str(), nullptr, nullptr),
        FLAC__STREAM_ENCODER_INIT_STATUS_OK);
    ASSERT_TRUE(FLAC__stream_encoder_process_interleaved(encoder, samples.data(), frames));
    ASSERT_TRUE(FLAC__stream_encoder_finish(encoder));
    FLAC__stream_encoder_delete(encoder);

    const Result r = run("--mode bypass wide.flac out.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Sound output = read_sound("out.wav");
    EXPECT_EQ(output.format, SF_FORMAT_WAV | SF_FORMAT_PCM_32);
    ASSERT_EQ(output.frames(), frames);
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(output.samples[i], std::ldexp(samples[i], -31)) << i;
}

// SoX's and ffmpeg's WAVs written to a pipe were refused as damaged ("only 3.0 s of 24347.9 s")
// and a length field of 0 gave an empty output with exit status 0. They are read to their end,
// with a word that the header gave no length.
TEST_F(CliInputs, FilesWrittenToAPipeAreReadToTheirEnd) {
    const Sound input = tone(3 * k_rate);
    write_sound("in.wav", input);
    write_sound("in.aiff", tone(3 * k_rate, 2, 0.25, SF_FORMAT_AIFF | SF_FORMAT_PCM_16));
    write_sound("in.au", tone(3 * k_rate, 2, 0.25, SF_FORMAT_AU | SF_FORMAT_PCM_16));
    const std::string wav = bytes_of("in.wav"), aiff = bytes_of("in.aiff"), au = bytes_of("in.au");
    const std::size_t data = find(wav, "data"), ssnd = find(aiff, "SSND");
    auto wav_with = [&](std::uint32_t riff, std::uint32_t data_size) {
        std::string b = wav;
        put_le(b, 4, riff, 4);
        put_le(b, data + 4, data_size, 4);
        return b;
    };
    std::string sox_aiff = aiff;
    for (const std::size_t at : {std::size_t{4}, ssnd + 4})  // big-endian 0x7F000008
        sox_aiff.replace(at, 4, std::string("\x7F\x00\x00\x08", 4));
    std::string unknown_au = au;
    unknown_au.replace(8, 4, "\xFF\xFF\xFF\xFF");
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {{"ffmpeg.wav", wav_with(0xFFFFFFFFu, 0xFFFFFFFFu)},
                 {"zero.wav", wav_with(0, 0)},
                 {"sox.wav", wav_with(0x7FFFF024u, 0x7FFFF000u)},
                 {"sox.aiff", sox_aiff},
                 {"unknown.au", unknown_au}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        put(c.name, c.bytes);
        const Result r = run(std::string(c.name) + " out.wav");
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, std::string("varnolt: ") + c.name +
                             ": its header gives no length (as when written to a pipe): read to "
                             "the end of the file\n");
        EXPECT_EQ(read_sound("out.wav").frames(), input.frames());
    }
}

// A file a few samples short said "only 3.0 s of 3.0 s could be read".
TEST_F(CliInputs, AShortfallIsNamedSoThatTheNumbersDiffer) {
    const struct {
        int missing_frames;
        const char* said;
    } cases[] = {{12, "damaged: the last 12 samples of 3.0 s could not be read"},
                 {441, "damaged: only 2.99 s of 3.00 s could be read"},
                 {44, "damaged: only 2.999 s of 3.000 s could be read"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.missing_frames);
        write_sound("in.wav", tone(3 * k_rate));
        std::string bytes = bytes_of("in.wav");
        bytes.resize(bytes.size() - 4 * c.missing_frames);
        put("short.wav", bytes);
        const Result r = run("short.wav out.wav");
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
}

// The MP3 layer III frame that carries a Xing or Info tag (the frame count) is removed, as SoX's
// and other constant-bit-rate files come without it.
std::string without_length_tag(const std::string& mp3) {
    std::size_t at = 0;
    if (mp3.compare(0, 3, "ID3") == 0)
        at = 10 + ((mp3[6] & 0x7F) << 21 | (mp3[7] & 0x7F) << 14 | (mp3[8] & 0x7F) << 7 |
                   (mp3[9] & 0x7F));
    static const int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    const auto header = [&](std::size_t i) { return static_cast<unsigned char>(mp3[at + i]); };
    EXPECT_EQ(header(0), 0xFF);
    const std::size_t length = 144000 * kbps[header(2) >> 4] / k_rate + ((header(2) >> 1) & 1);
    const std::string frame = mp3.substr(at, length);
    EXPECT_TRUE(frame.find("Xing") != std::string::npos || frame.find("Info") != std::string::npos);
    return mp3.substr(0, at) + mp3.substr(at + length);
}

// A constant-bit-rate MP3 without a length tag was refused as damaged, and a variable-bit-rate one
// came out a fraction of its length with exit status 0: libsndfile's length for them is an
// estimate from the size and the first frame's bit rate, and its reading stops there.
// libmpg123 printed notes of its own on standard error for an MP3 cut short; one line of ours
// says what matters.
TEST_F(CliInputs, Mp3sAreMeasuredAndTheDecoderKeepsQuiet) {
    const Sound input = tone(3 * k_rate);
    for (const int mode : {SF_BITRATE_MODE_CONSTANT, SF_BITRATE_MODE_VARIABLE}) {
        SF_INFO info = {};
        info.channels = 2;
        info.samplerate = k_rate;
        info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        const std::string name = mode == SF_BITRATE_MODE_CONSTANT ? "cbr.mp3" : "vbr.mp3";
        SNDFILE* f = sf_open(dir.file(name).c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        int bitrate_mode = mode;
        sf_command(f, SFC_SET_BITRATE_MODE, &bitrate_mode, sizeof bitrate_mode);
        sf_writef_double(f, input.samples.data(), input.frames());
        sf_close(f);
        put("untagged-" + name, without_length_tag(bytes_of(name)));
    }
    const std::string tagged = bytes_of("vbr.mp3");
    put("cut.mp3", tagged.substr(0, tagged.size() / 2));
    for (const char* name : {"cbr.mp3", "vbr.mp3", "untagged-cbr.mp3", "untagged-vbr.mp3"}) {
        SCOPED_TRACE(name);
        const Result r = run(std::string(name) + " out.wav");
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_NEAR(read_sound("out.wav").frames(), 3 * k_rate, 2 * 1152);
    }
    const Result cut = run("cut.mp3 out.wav");
    EXPECT_EQ(cut.exit_code, 1);
    EXPECT_TRUE(one_line(cut.err)) << cut.err;
    EXPECT_NE(cut.err.find("cut.mp3: damaged: only "), std::string::npos) << cut.err;
    EXPECT_NE(cut.err.find(" s of 3.0 s could be read"), std::string::npos) << cut.err;
    const Result kept = run("--keep-damaged cut.mp3 out.wav");
    EXPECT_EQ(kept.exit_code, 0);
    EXPECT_TRUE(one_line(kept.err)) << kept.err;
}

// An Ogg Vorbis file cut short said "only 3.3 s of 209146758205323.7 s could be read": the
// length libsndfile gives for a stream that never reaches its end.
TEST_F(CliInputs, AnOggFileCutShortNamesNoLengthItCannotHold) {
    write_sound("whole.ogg", tone(10 * k_rate, 2, 0.25, SF_FORMAT_OGG | SF_FORMAT_VORBIS));
    const std::string bytes = bytes_of("whole.ogg");
    put("cut.ogg", bytes.substr(0, bytes.size() / 2));
    for (const std::string option : {"", "--keep-damaged "}) {
        const Result r = run(option + "cut.ogg out.wav");
        EXPECT_EQ(r.exit_code, option.empty() ? 1 : 0) << r.err;
        EXPECT_TRUE(one_line(r.err)) << r.err;
        EXPECT_NE(r.err.find("cut.ogg: damaged: cut short"), std::string::npos) << r.err;
        for (double s : seconds_named(r.err)) EXPECT_LE(s, 10.0) << r.err;
    }
    EXPECT_GT(read_sound("out.wav").frames(), k_rate);
}

// A crafted 1024-channel WAV of 9 MB took some 950 MB: every pair of channels gets a processing
// instance of its own. A file beyond the stated limit is refused before anything is set up.
TEST_F(CliInputs, AFileOfMoreChannelsThanTheLimitIsRefused) {
    for (const int channels : {65, 1024}) {
        SCOPED_TRACE(channels);
        write_sound("many.wav", tone(100, channels, 0.3));
        const Result r = run("many.wav out.wav");
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "varnolt: many.wav: cannot read: " + std::to_string(channels) +
                             " channels; this tool restores at most 64\n");
        EXPECT_FALSE(file_exists(dir.file("out.wav")));
    }
    write_sound("most.wav", tone(2000, 64, 0.3));
    const Result r = run("most.wav out.wav");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(read_sound("out.wav").channels, 64);
}

}  // namespace
}  // namespace varnolt::testing
