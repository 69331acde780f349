// Files in, files out: formats, lengths, alignment and the sound when nothing is switched on.

#include <algorithm>
#include <cstring>

#include <filesystem>

#include <FLAC/metadata.h>

#include "cli_fixture.h"

namespace varnolt::testing {
namespace {

constexpr const char* k_everything_off = "--azimuth off --set \"Bias/Enabled=0\"";

long long loudest_frame(const Sound& s, int channel) {
    long long best = 0;
    for (long long n = 0; n < s.frames(); ++n)
        if (std::fabs(s.at(n, channel)) > std::fabs(s.at(best, channel))) best = n;
    return best;
}

TEST_F(Cli, RestoresInTimeWithTheInputAndWritesNoSettings) {
    const Sound input = tone(24000);
    write_sound("in.wav", input);
    Result r = run("--set \"Common/Post amplifier=0.5\" --set \"Bias/Enabled=0\" in.wav out.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Sound output = read_sound("out.wav");
    ASSERT_EQ(output.samples.size(), input.samples.size());
    // Only the stereo processor runs (the azimuth correction is on at every start); the tool
    // takes its delay out, so the output lines up with the input at half level. The last frames
    // meet the silence appended to flush the delay.
    for (long long n = 2048; n + 256 < input.frames(); ++n)
        ASSERT_NEAR(output.at(n, 0), input.at(n, 0) * 0.5, 0.01) << n;

    Result kept =
        run("--set \"Common/Post amplifier=0.5\" --set \"Bias/Enabled=0\" "
            "--keep-latency in.wav late.wav");
    ASSERT_EQ(kept.exit_code, 0) << kept.err;
    // The delay stays in, and the output is longer by it: the end of the recording is there.
    const Sound late = read_sound("late.wav");
    ASSERT_EQ(late.frames(), input.frames() + 2048);
    for (long long n = 4096; n < late.frames() - 256; ++n)
        ASSERT_NEAR(late.at(n, 0), input.at(n - 2048, 0) * 0.5, 0.01) << n;
    EXPECT_FALSE(file_exists(dir.file("dsp_varnolt.ini"))) << "the hidden module saves nothing";
}

// A recording no longer than the delay came out as silence with the latency kept.
TEST_F(Cli, AShortRecordingKeepsItsSoundWithTheLatencyKept) {
    const Sound input = tone(1500);
    write_sound("short.wav", input);
    // The azimuth correction alone: the stereo processor's 2048 frames of delay.
    const Result r = run("--set \"Bias/Enabled=0\" --keep-latency short.wav late.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Sound late = read_sound("late.wav");
    ASSERT_EQ(late.frames(), input.frames() + 2048);
    for (long long n = 0; n < input.frames() - 256; ++n)
        ASSERT_NEAR(late.at(n + 2048, 1), input.at(n, 1), 0.02) << n;
}

// Both block processors are in the path with the first-start settings (bias and azimuth), so
// the delay taken out is theirs, counted right for every channel count.
TEST_F(Cli, AnImpulseAtFrameKComesOutAtFrameK) {
    constexpr long long k = 20000;
    for (int channels : {1, 2, 4, 8}) {
        for (const char* block : {"576", "1000"}) {
            SCOPED_TRACE(std::to_string(channels) + " channels, blocks of " + block);
            Sound input;
            input.channels = channels;
            input.samples.assign(static_cast<std::size_t>(44100) * channels, 0.0);
            for (int c = 0; c < channels; ++c) input.samples[k * channels + c] = 0.5;
            write_sound("impulse.wav", input);
            Result r = run(std::string("--block ") + block + " impulse.wav out.wav");
            ASSERT_EQ(r.exit_code, 0) << r.err;
            const Sound output = read_sound("out.wav");
            ASSERT_EQ(output.frames(), input.frames());
            for (int c = 0; c < channels; ++c) EXPECT_EQ(loudest_frame(output, c), k) << c;
        }
    }
}

// A file of more than two channels is restored as independent pairs, an odd last channel as
// mono: each pair comes out as the same two channels restored alone, in time with the input,
// and a silent pair stays silent (through the stereo chain in interleaved order it got the
// other channels' signal).
TEST_F(Cli, MoreThanTwoChannelsAreRestoredAsIndependentPairs) {
    const Sound front = varied(30000, 2, 44100, 5), back = varied(30000, 2, 44100, 6);
    const Sound centre = varied(30000, 1, 44100, 7);
    const Sound silence{SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100,
                        std::vector<double>(60000, 0.0)};
    auto interleave = [](const std::vector<const Sound*>& parts) {
        Sound all;
        all.channels = 0;
        for (const Sound* p : parts) all.channels += p->channels;
        for (long long n = 0; n < parts[0]->frames(); ++n)
            for (const Sound* p : parts)
                for (int c = 0; c < p->channels; ++c) all.samples.push_back(p->at(n, c));
        return all;
    };
    write_sound("front.wav", front);
    write_sound("back.wav", back);
    write_sound("centre.wav", centre);
    write_sound("six.wav", interleave({&front, &silence, &back}));
    write_sound("five.wav", interleave({&front, &silence, &centre}));
    for (const std::string latency : {"", "--keep-latency "}) {
        SCOPED_TRACE(latency);
        for (const char* name : {"front", "back", "centre", "six", "five"}) {
            const Result r =
                run(std::string(k_every_stage) + latency + name + ".wav out-" + name + ".wav");
            ASSERT_EQ(r.exit_code, 0) << r.err;
        }
        const Sound six = read_sound("out-six.wav"), five = read_sound("out-five.wav");
        const struct {
            const Sound& file;
            int first;
            Sound alone;
        } pairs[] = {{six, 0, read_sound("out-front.wav")},
                     {six, 4, read_sound("out-back.wav")},
                     {five, 0, read_sound("out-front.wav")},
                     {five, 4, read_sound("out-centre.wav")}};
        for (const auto& p : pairs) {
            ASSERT_EQ(p.file.frames(), p.alone.frames());
            for (int c = 0; c < p.alone.channels; ++c)
                for (long long n = 0; n < p.alone.frames(); ++n)
                    ASSERT_EQ(p.file.at(n, p.first + c), p.alone.at(n, c))
                        << "channel " << p.first + c << ", frame " << n;
        }
        for (const Sound* s : {&six, &five})
            for (int c : {2, 3})
                for (long long n = 0; n < s->frames(); ++n)
                    ASSERT_EQ(s->at(n, c), 0.0) << "silent channel " << c << ", frame " << n;
    }
}

// --mono gives both channels (L + R) / 2 of the same frame: an impulse in the left channel
// comes out at its own frame, half as high, in both.
TEST_F(Cli, MonoMixesTheSamplesOfOneFrameAtThatFrame) {
    constexpr long long k = 20000;
    Sound input;
    input.samples.assign(static_cast<std::size_t>(44100) * 2, 0.0);
    input.samples[k * 2] = 0.5;
    write_sound("impulse.wav", input);
    const Result r = run(std::string(k_everything_off) + " --mono impulse.wav out.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Sound output = read_sound("out.wav");
    ASSERT_EQ(output.frames(), input.frames());
    for (long long n = 0; n < output.frames(); ++n)
        for (int c = 0; c < 2; ++c)
            ASSERT_NEAR(output.at(n, c), n == k ? 0.25 : 0.0, 2.0 / 32768) << n << "/" << c;
}

// A damaged input was restored as far as it could be read, with exit status 0: the archivist
// never learned that half of the side was missing.
TEST_F(Cli, ADamagedInputFailsUnlessWhatCanBeReadIsAskedFor) {
    write_sound("whole.wav", tone(4 * 44100));
    std::string bytes = read_text(dir.file("whole.wav"));
    bytes.resize(44 + (bytes.size() - 44) / 2);  // the header still promises four seconds
    write_text(dir.file("cut.wav"), bytes);

    Sound flac = tone(10 * 44100);
    flac.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    write_sound("whole.flac", flac);
    std::string coded = read_text(dir.file("whole.flac"));
    for (std::size_t i = coded.size() / 2; i < coded.size() / 2 + 4096; ++i)
        coded[i] = static_cast<char>(i * 37);
    write_text(dir.file("hurt.flac"), coded);

    for (const char* name : {"cut.wav", "hurt.flac"}) {
        const Result r = run(std::string(name) + " out.wav");
        EXPECT_EQ(r.exit_code, 1) << name;
        EXPECT_TRUE(one_line(r.err)) << r.err;
        EXPECT_NE(r.err.find(std::string(name) + ": damaged: "), std::string::npos) << r.err;
        EXPECT_FALSE(file_exists(dir.file("out.wav"))) << name;

        const Result kept = run(std::string("--keep-damaged ") + name + " out.wav");
        EXPECT_EQ(kept.exit_code, 0) << kept.err;
        EXPECT_NE(kept.err.find("restoring what could be read"), std::string::npos) << kept.err;
        EXPECT_GT(read_sound("out.wav").frames(), 0) << name;
        std::filesystem::remove(dir.file("out.wav"));
    }
    const Result cut = run("--keep-damaged cut.wav out.wav");
    EXPECT_NE(cut.err.find("only 2.0 s of 4.0 s"), std::string::npos) << cut.err;
    EXPECT_EQ(run("whole.wav out.wav").exit_code, 0);
}

// --bits cut the input to the output's width before processing, without dither: a quiet 24-bit
// recording lifted by the post amplifier came out as digital silence in 16 bits. The blocks keep
// the input's precision, and only the output is reduced, with dither.
TEST_F(Cli, ANarrowerOutputIsReducedAfterProcessingWithDither) {
    Sound quiet = tone(44100, 2, std::pow(10.0, -110.0 / 20.0), SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    write_sound("quiet.wav", quiet);
    const Sound input = read_sound("quiet.wav");
    // +48 dB: -110 dBFS becomes -62 dBFS, some 26 steps of 16 bits.
    const Result r =
        run(std::string(k_everything_off) +
            " --set \"Common/Post amplifier=251.18864315\" --bits 16 quiet.wav out.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const Sound output = read_sound("out.wav");
    ASSERT_EQ(output.frames(), input.frames());
    const double wanted = rms(input, 0, input.frames(), 0) * 251.18864315;
    EXPECT_NEAR(rms(output, 0, output.frames(), 0), wanted, 0.05 * wanted);
    // Each sample within a step of the exact value: rounded with dither, not cut.
    double worst = 0.0;
    for (long long n = 0; n < output.frames(); ++n)
        worst = std::max(worst, std::fabs(output.at(n, 0) - input.at(n, 0) * 251.18864315));
    EXPECT_LE(worst, 1.0 / 32768 + 1e-9);
}

// Floating-point samples beyond full scale were clipped even on their way to a floating-point
// output, in bypass too; samples that were no audio went unsaid, and so did clipping in an
// integer output, where sox counts it.
TEST_F(Cli, FloatAboveFullScaleStaysAndOnlyWhatAnIntegerOutputCannotHoldIsClipped) {
    Sound loud = tone(8000, 2, 0.5, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    loud.samples[100] = 1.5;
    loud.samples[101] = -2.0;
    loud.samples[102] = std::nan("");
    loud.samples[103] = INFINITY;
    loud.samples[104] = -1e30;
    write_sound("loud.wav", loud);
    for (const char* mode : {"--mode bypass", "--mode full"}) {
        SCOPED_TRACE(mode);
        const Result r = run(std::string(k_everything_off) + " " + mode + " loud.wav out.wav");
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.err.find("loud.wav: 1 samples were not numbers; they went to 0"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("loud.wav: 2 samples were infinite or beyond +24 dBFS; they went "
                             "to full scale"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find("peak in +6.0 dBFS, out +6.0 dBFS"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("clipped"), std::string::npos) << r.out;
        const Sound out = read_sound("out.wav");
        ASSERT_EQ(out.samples.size(), loud.samples.size());
        EXPECT_EQ(out.samples[100], 1.5);
        EXPECT_EQ(out.samples[101], -2.0);
        EXPECT_EQ(out.samples[102], 0.0);
        EXPECT_EQ(out.samples[103], 1.0);
        EXPECT_EQ(out.samples[104], -1.0);
        for (std::size_t i = 0; i < 100; ++i)
            ASSERT_EQ(out.samples[i], static_cast<float>(loud.samples[i])) << i;
    }
    // An integer output cannot hold 1.5 and -2.0: those two are clipped, and said to be; the
    // replaced infinities land on full scale, which is only rounded to the largest value.
    const Result narrow = run(std::string(k_everything_off) + " --bits 16 loud.wav out16.wav");
    ASSERT_EQ(narrow.exit_code, 0) << narrow.err;
    EXPECT_NE(narrow.out.find(", 2 samples clipped, "), std::string::npos) << narrow.out;
    const Sound out16 = read_sound("out16.wav");
    EXPECT_EQ(out16.samples[100], 32767.0 / 32768);
    EXPECT_EQ(out16.samples[101], -1.0);
}

// The count took every sample at the format's limits for clipped: a file that only touches full
// scale was said to be clipped, in bypass too. Now it counts exactly the samples the output could
// not hold.
TEST_F(Cli, TheClippingCountIsExact) {
    Sound touching = tone(8000, 2, 0.9);
    for (int i = 0; i < 40; ++i) touching.samples[200 + i] = i % 2 ? 1.0 : -1.0;
    write_sound("full.wav", touching);
    // As stored: libsndfile writes 1.0 as the largest 16-bit value.
    const Sound full = read_sound("full.wav");
    ASSERT_EQ(full.samples[201], 32767.0 / 32768);
    for (const char* mode : {"--mode bypass", "--mode full"}) {
        const Result r = run(std::string(k_everything_off) + " " + mode + " full.wav out.wav");
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out.find("clipped"), std::string::npos) << mode << ": " << r.out;
        EXPECT_TRUE(read_sound("out.wav").samples == full.samples) << mode;
    }
    // Doubled, with nothing else in the path, a 16-bit sample s comes out as 2s: clipped where
    // that lies more than a step beyond the range.
    const Result doubled =
        run(std::string(k_everything_off) + " --set \"Common/Post amplifier=2\" full.wav out2.wav");
    ASSERT_EQ(doubled.exit_code, 0) << doubled.err;
    long long beyond = 0;
    for (double v : full.samples) {
        const double twice = 2.0 * std::round(v * 32768);
        beyond += twice > 32768.0 || twice < -32769.0;
    }
    ASSERT_GT(beyond, 1000);
    EXPECT_NE(doubled.out.find(", " + std::to_string(beyond) + " samples clipped, "),
              std::string::npos)
        << doubled.out << " (expected " << beyond << ")";
}

// ".ogg" and ".mp3" were refused though libsndfile writes them (it lists them as ".oga" and
// ".m1a"), and an Opus rate it refuses came out only after the whole run.
TEST_F(Cli, OggAndMp3AreWrittenAndAnOpusRateIsRefusedBeforeTheRun) {
    write_sound("in.wav", tone(44100));
    for (const char* name : {"out.ogg", "out.mp3"}) {
        const Result r = run(std::string("in.wav ") + name);
        ASSERT_EQ(r.exit_code, 0) << name << ": " << r.err;
        const Sound back = read_sound(name);
        EXPECT_EQ(back.channels, 2) << name;
        EXPECT_GT(back.frames(), 40000) << name;
        EXPECT_GT(rms(back, 10000, 30000, 0), 0.1) << name;
    }
    const Result opus = run("in.wav out.opus");
    EXPECT_EQ(opus.exit_code, 1);
    EXPECT_TRUE(one_line(opus.err)) << opus.err;
    EXPECT_NE(opus.err.find("out.opus: cannot write: Opus files hold"), std::string::npos)
        << opus.err;
    EXPECT_EQ(opus.out, "") << "refused before the run, so no summary";
    EXPECT_FALSE(file_exists(dir.file("out.opus")));
}

// The title, artist and comments an archivist wrote into the digitised side were dropped.
TEST_F(Cli, TheFilesOwnTextFieldsComeAlong) {
    for (const int format : {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_WAV | SF_FORMAT_PCM_16}) {
        SCOPED_TRACE(format);
        const Sound sound = tone(20000);
        SF_INFO info = {};
        info.format = format;
        info.channels = 2;
        info.samplerate = 44100;
        SNDFILE* f = sf_open(dir.file("side.in").c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        sf_set_string(f, SF_STR_TITLE, "Side A");
        sf_set_string(f, SF_STR_ARTIST, "Unknown band, 1984");
        sf_set_string(f, SF_STR_COMMENT, "TDK SA-90, Dolby B");
        sf_writef_double(f, sound.samples.data(), sound.frames());
        sf_close(f);
        const std::string in = format & SF_FORMAT_FLAC ? "side.flac" : "side.wav";
        std::filesystem::rename(dir.file("side.in"), dir.file(in));
        const std::string out = "restored" + in.substr(in.find('.'));
        const Result r = run(in + " " + out);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        SF_INFO back = {};
        SNDFILE* g = sf_open(dir.file(out).c_str(), SFM_READ, &back);
        ASSERT_NE(g, nullptr);
        auto text = [g](int field) {
            const char* t = sf_get_string(g, field);
            return std::string(t ? t : "");
        };
        EXPECT_EQ(text(SF_STR_TITLE), "Side A");
        EXPECT_EQ(text(SF_STR_ARTIST), "Unknown band, 1984");
        EXPECT_EQ(text(SF_STR_COMMENT), "TDK SA-90, Dolby B");
        sf_close(g);
    }
}

// The tags an archive writes into its FLAC transfers were dropped: libsndfile knows ten names.
TEST_F(Cli, AFlacsOwnTagsComeAlongOrAreSaidToBeLeftOut) {
    Sound side = tone(20000);
    side.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    write_sound("side.flac", side);
    {
        FLAC__Metadata_Chain* chain = FLAC__metadata_chain_new();
        ASSERT_TRUE(FLAC__metadata_chain_read(chain, dir.file("side.flac").c_str()));
        FLAC__StreamMetadata* tags = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
        for (const char* c : {"TITLE=Side A", "TAPE=TDK SA-90", "TRANSFER_DECK=Nakamichi BX-300"}) {
            FLAC__StreamMetadata_VorbisComment_Entry e;
            e.entry = reinterpret_cast<FLAC__byte*>(const_cast<char*>(c));
            e.length = static_cast<FLAC__uint32>(std::strlen(c));
            ASSERT_TRUE(FLAC__metadata_object_vorbiscomment_append_comment(tags, e, true));
        }
        FLAC__Metadata_Iterator* it = FLAC__metadata_iterator_new();
        FLAC__metadata_iterator_init(it, chain);
        ASSERT_TRUE(FLAC__metadata_iterator_insert_block_after(it, tags));
        FLAC__metadata_iterator_delete(it);
        ASSERT_TRUE(FLAC__metadata_chain_write(chain, true, false));
        FLAC__metadata_chain_delete(chain);
    }
    auto comments = [this](const std::string& name) {
        std::vector<std::string> found;
        FLAC__StreamMetadata* tags = nullptr;
        if (FLAC__metadata_get_tags(dir.file(name).c_str(), &tags)) {
            for (FLAC__uint32 i = 0; i < tags->data.vorbis_comment.num_comments; ++i)
                found.emplace_back(
                    reinterpret_cast<const char*>(tags->data.vorbis_comment.comments[i].entry));
            FLAC__metadata_object_delete(tags);
        }
        return found;
    };
    const Result r = run("side.flac restored.flac");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> kept = comments("restored.flac");
    for (const char* c : {"TAPE=TDK SA-90", "TRANSFER_DECK=Nakamichi BX-300"})
        EXPECT_EQ(std::count(kept.begin(), kept.end(), c), 1) << c;
    EXPECT_TRUE(read_sound("restored.flac").frames() == side.frames());

    const Result wav = run("side.flac restored.wav");
    ASSERT_EQ(wav.exit_code, 0) << wav.err;
    EXPECT_TRUE(one_line(wav.err)) << wav.err;
    EXPECT_NE(wav.err.find("restored.wav: the tags TAPE and TRANSFER_DECK of the input cannot be "
                           "stored in this format; left out"),
              std::string::npos)
        << wav.err;
    SF_INFO info = {};
    SNDFILE* g = sf_open(dir.file("restored.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(g, nullptr);
    const char* title = sf_get_string(g, SF_STR_TITLE);
    EXPECT_STREQ(title ? title : "", "Side A");
    sf_close(g);
}

// A 5.1 extensible WAV came out as plain PCM without its layout, and a Broadcast WAV lost its
// extension, which archivists rely on; where the output's container cannot hold them, nothing
// was said.
TEST_F(Cli, ABroadcastWavsExtensionAndAChannelLayoutComeAlongOrAreSaidToBeLeftOut) {
    typedef SF_BROADCAST_INFO_VAR(1024) Bext;
    const std::string history = "A=ANALOGUE,M=stereo,T=TDK SA-90; Nakamichi BX-300\r\n";
    const int layout[6] = {SF_CHANNEL_MAP_LEFT,      SF_CHANNEL_MAP_RIGHT,
                           SF_CHANNEL_MAP_CENTER,    SF_CHANNEL_MAP_LFE,
                           SF_CHANNEL_MAP_REAR_LEFT, SF_CHANNEL_MAP_REAR_RIGHT};
    const Sound sound = tone(30000, 6);
    SF_INFO info = {};
    info.format = SF_FORMAT_WAVEX | SF_FORMAT_PCM_24;
    info.channels = 6;
    info.samplerate = 48000;
    SNDFILE* f = sf_open(dir.file("side.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    Bext bext = {};
    std::snprintf(bext.description, sizeof bext.description, "Side A, first transfer");
    std::snprintf(bext.originator, sizeof bext.originator, "Tape archive");
    bext.time_reference_low = 172800000;  // one hour at 48 kHz
    std::memcpy(bext.coding_history, history.data(), history.size());
    bext.coding_history_size = static_cast<std::uint32_t>(history.size());
    ASSERT_EQ(sf_command(f, SFC_SET_BROADCAST_INFO, &bext, sizeof bext), SF_TRUE);
    sf_command(f, SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(layout), sizeof layout);
    sf_writef_double(f, sound.samples.data(), sound.frames());
    sf_close(f);

    const Result r = run("side.wav restored.wav");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    SF_INFO back = {};
    SNDFILE* g = sf_open(dir.file("restored.wav").c_str(), SFM_READ, &back);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(back.format, SF_FORMAT_WAVEX | SF_FORMAT_PCM_24);
    int map[6] = {};
    ASSERT_EQ(sf_command(g, SFC_GET_CHANNEL_MAP_INFO, map, sizeof map), SF_TRUE);
    EXPECT_TRUE(std::equal(map, map + 6, layout));
    Bext kept = {};
    ASSERT_EQ(sf_command(g, SFC_GET_BROADCAST_INFO, &kept, sizeof kept), SF_TRUE);
    sf_close(g);
    EXPECT_STREQ(kept.description, "Side A, first transfer");
    EXPECT_STREQ(kept.originator, "Tape archive");
    EXPECT_EQ(kept.time_reference_low, 172800000u);
    // The history keeps its lines and gains one for this restore (libsndfile adds one of its
    // own for every file it writes, the test's too).
    const std::string kept_history(kept.coding_history);
    EXPECT_EQ(kept_history.rfind(history, 0), 0u) << kept_history;
    const std::size_t ours = kept_history.find("A=PCM,F=48000,W=24,T=varnolt ", history.size());
    ASSERT_NE(ours, std::string::npos) << kept_history;
    const std::string line = kept_history.substr(ours, kept_history.find('\n', ours) + 1 - ours);
    EXPECT_NE(line.find("restoration (on: bias, azimuth)\r\n"), std::string::npos) << line;

    // FLAC has no room for the extension or the layout: restored all the same, and said.
    const Result flac = run("side.wav restored.flac");
    ASSERT_EQ(flac.exit_code, 0) << flac.err;
    EXPECT_TRUE(one_line(flac.err)) << flac.err;
    EXPECT_NE(flac.err.find("restored.flac: the channel layout and the broadcast extension (bext) "
                            "of the input cannot be stored in this format; left out"),
              std::string::npos)
        << flac.err;
}

// Three channels to MP3 blamed floating point.
TEST_F(Cli, AFormatThatCannotHoldTheChannelsSaysSo) {
    write_sound("three.wav", tone(8000, 3));
    const Result r = run("three.wav out.mp3");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(one_line(r.err)) << r.err;
    EXPECT_NE(r.err.find("out.mp3: cannot write: \".mp3\" files cannot hold 3 channels\n"),
              std::string::npos)
        << r.err;
}

TEST_F(Cli, KeepsLengthChannelsRateAndFormat) {
    const struct {
        const char* in;
        int format;
        int channels;
        const char* out;
        const char* options;
        int expected;
    } cases[] = {
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, "o.wav", "",
         SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, "o.wav", "",
         SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, "o.wav", "",
         SF_FORMAT_WAV | SF_FORMAT_PCM_32},
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, "o.wav", "",
         SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, "o.wav", "",
         SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, "o.wav", "", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 2, "o.wav", "",
         SF_FORMAT_WAV | SF_FORMAT_DOUBLE},
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, "o.flac", "",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, "o.flac", "",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, "o.aiff", "",
         SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        // The extension names the container; --bits the width.
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, "o.flac", "",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, "o.wav", "--bits 24",
         SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, "o.wav", "--bits 16",
         SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, "o.wav", "--bits 32",
         SF_FORMAT_WAV | SF_FORMAT_PCM_32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.in) + " -> " + c.out + " " + c.options);
        Sound input = tone(7000, c.channels, 0.25, c.format);
        input.rate = 48000;
        write_sound(c.in, input);
        Result r = run(std::string(c.options) + " " + c.in + " " + c.out);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const Sound output = read_sound(c.out);
        EXPECT_EQ(output.format, c.expected);
        EXPECT_EQ(output.channels, c.channels);
        EXPECT_EQ(output.rate, 48000);
        EXPECT_EQ(output.frames(), input.frames());
        EXPECT_GT(rms(output, 2048, 6000, 0), 0.1) << "the sound came through";
    }
}

// Integer samples come back exactly: the dither only decides between the two neighbours of a
// value that falls between steps, and an untouched sample falls on one.
TEST_F(Cli, WithEveryStageOffTheInputComesBackWithinTheDither) {
    const struct {
        int format;
        double step;  // the largest difference allowed, full scale 1.0
    } cases[] = {
        {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 0.0},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.0},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0.0},
        {SF_FORMAT_WAV | SF_FORMAT_PCM_32, 0.0},
        // Blocks of 32 bits, stored back at the float's 24-bit precision.
        {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1.0 / 16777216},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        write_sound("in.wav", tone(20000, 2, 0.7, c.format));
        const Sound input = read_sound("in.wav");  // as the file holds it
        Result r = run(std::string(k_everything_off) + " in.wav out.wav");
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const Sound output = read_sound("out.wav");
        ASSERT_EQ(output.samples.size(), input.samples.size());
        double worst = 0.0;
        for (std::size_t i = 0; i < input.samples.size(); ++i)
            worst = std::max(worst, std::fabs(output.samples[i] - input.samples[i]));
        EXPECT_LE(worst, c.step * 1.01);
    }
}

TEST_F(Cli, NeverOverwritesItsInput) {
    write_sound("in.wav", tone(2000));
    const std::string before = read_text(dir.file("in.wav"));
    for (const char* args :
         {"in.wav in.wav", "in.wav ./in.wav", "-o . in.wav", "--report=in.png in.wav in.png"}) {
        Result r = run(args);
        EXPECT_NE(r.exit_code, 0) << args;
        EXPECT_TRUE(one_line(r.err)) << args << ": " << r.err;
        EXPECT_EQ(read_text(dir.file("in.wav")), before) << args;
    }
    Result r = run("in.wav in.wav");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("overwrite the input"), std::string::npos) << r.err;
}

TEST_F(Cli, BadFilesGetAOneLineErrorNamingThemAndNoOutput) {
    write_sound("in.wav", tone(2000));
    write_text(dir.file("text.wav"), "not audio at all");
    const struct {
        const char* args;
        const char* says;
    } cases[] = {
        {"missing.wav out.wav", "missing.wav: cannot read"},
        {"text.wav out.wav", "text.wav: cannot read"},
        {"in.wav out.xyz", "out.xyz: cannot write"},
        {"in.wav nowhere/out.wav", "nowhere/out.wav: cannot write"},
        {"--bits 32 in.wav out.flac", "out.flac: cannot write"},
    };
    for (const auto& c : cases) {
        Result r = run(c.args);
        EXPECT_EQ(r.exit_code, 1) << c.args;
        EXPECT_TRUE(one_line(r.err)) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
        for (const char* name : {"out.wav", "out.wav.partial", "out.xyz", "out.flac"})
            EXPECT_FALSE(file_exists(dir.file(name))) << c.args << ": " << name;
    }
}

}  // namespace
}  // namespace varnolt::testing
