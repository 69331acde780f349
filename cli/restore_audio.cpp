#include "restore_audio.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include <memory>
#include <optional>

#include "block_layout.h"
#include "chain/chain.h"
#include "chain/display_pacing.h"
#include "chain/host_block.h"
#include "chain/instance.h"
#include "interruption.h"
#include "processors/azimuth_units.h"
#include "processors/processor.h"
#include "processors/stereo.h"
#include "settings/parameters.h"
#include "ui/colour_ramps.h"
#include "ui/displays.h"

namespace varnolt::cli {
namespace {

// Cassette speed, 4.76 cm/s: the azimuth correction measures its slope in micrometres of tape
// per bin spacing, as its settings do.
constexpr int k_progress_blocks = 64;  // blocks between progress reports

// The chain's working scale: 16-bit units.
constexpr double k_working_full_scale = 32768.0;

double peak_of(const double* samples, std::size_t count) {
    double peak = 0.0;
    for (std::size_t i = 0; i < count; ++i) peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

// Keeps one point per block until the history is full, then every other one, and from then on
// points half as often: bounded, and spread over the whole file.
void record_azimuth(std::vector<AzimuthPoint>& history, long long& spacing, long long block,
                    AzimuthPoint point) {
    if (block % spacing != 0) return;
    if (history.size() == k_most_azimuth_points) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < history.size(); i += 2) history[kept++] = history[i];
        history.resize(kept);
        spacing *= 2;
        if (block % spacing != 0) return;
    }
    history.push_back(point);
}

// Restored samples on their way out: the delay's samples skipped, whole frames handed on, and
// no more than the output's length once the input's end has fixed it.
class OutputStage {
  public:
    OutputStage(int channels, int block_frames, long long delay)
        : channels_(channels),
          to_skip_(delay),
          // A block, what is left of a frame, and the frame one lane may stage ahead of another.
          staged_(static_cast<std::size_t>(block_frames + 2) * channels) {}

    void limit_to(long long samples) { limit_ = samples; }

    // Takes `count` restored samples; returns the whole frames ready, left in frames().
    long long take(const double* samples, long long count) {
        const long long skipped = std::min(to_skip_, count);
        to_skip_ -= skipped;
        const long long room = limit_ - passed_ - staged_count_;
        const long long keep = std::min(count - skipped, room);
        std::copy(samples + skipped, samples + skipped + keep, staged_.begin() + staged_count_);
        staged_count_ += keep;
        return staged_count_ / channels_;
    }

    double* frames() { return staged_.data(); }

    // The ready frames have been handed on: keep what is left of a frame for the next block.
    void release(long long frames) {
        const long long used = frames * channels_;
        std::copy(staged_.begin() + used, staged_.begin() + staged_count_, staged_.begin());
        staged_count_ -= used;
        passed_ += used;
    }

  private:
    int channels_;
    long long to_skip_;
    long long limit_ = LLONG_MAX;
    long long passed_ = 0;
    long long staged_count_ = 0;
    std::vector<double> staged_;
};

}  // namespace

double slope_micrometres(double slope, double sample_rate) {
    return azimuth_slope_um(slope, sample_rate);
}

long long processing_delay_samples(Instance& instance, int channels) {
    // One chain call per sample; a mono sample takes two (both sides of the chain).
    const long long calls = output_delay_calls(instance);
    return channels == 1 ? calls / 2 : calls;
}

namespace {

std::unique_ptr<Instance> started_instance(const LiveParameters& parameters) {
    auto instance = std::make_unique<Instance>();
    create_processors(*instance);
    instance->live = parameters;
    return instance;
}

// One channel pair of the stream, or its odd last channel, through an instance of its own. Its
// delay is taken out of its own flat sample stream, not in whole frames, so each of its channels
// stays where it was.
struct Lane {
    Lane(int first, int count, const RestoreSettings& settings, const LiveParameters& parameters)
        : instance(started_instance(parameters)),
          first_channel(first),
          channels(count),
          latency(processing_delay_samples(*instance, count)),
          samples(static_cast<std::size_t>(settings.block_frames) * count),
          integers(settings.bits != 0 ? samples.size() : 0),
          bytes(samples.size() * settings.bits / 8),
          stage(count, settings.block_frames, settings.keep_latency ? 0 : latency) {
        // A mono lane runs through both sides of the chain.
        const std::vector<double>& volumes = settings.channel_pc_volume;
        double side_volume[2] = {0.0, 0.0};
        for (int side = 0; side < 2; ++side) {
            const std::size_t channel = static_cast<std::size_t>(first + std::min(side, count - 1));
            if (channel < volumes.size()) side_volume[side] = volumes[channel];
        }
        set_channel_pc_volumes(*instance, side_volume[0], side_volume[1]);
    }

    // Takes this lane's channels out of `n` interleaved frames of `all` channels, runs them
    // through the instance, and stages what comes out.
    long long restore(const double* interleaved, int all, long long n, int bits, int rate) {
        const std::size_t count = static_cast<std::size_t>(n) * channels;
        for (long long f = 0; f < n; ++f)
            for (int c = 0; c < channels; ++c)
                samples[f * channels + c] = interleaved[f * all + first_channel + c];
        if (bits != 0)
            restore_through_blocks(count, bits, rate);
        else
            restore_floating(count, rate);
        return stage.take(samples.data(), static_cast<long long>(count));
    }

    // As the player restores a block of integers: exact integers in, its dither and saturation
    // on the way out.
    void restore_through_blocks(std::size_t count, int bits, int rate) {
        for (std::size_t i = 0; i < count; ++i) integers[i] = left_aligned(samples[i]);
        pack_block(integers.data(), count, bits, bytes.data());
        restore_host_block(*instance, reinterpret_cast<short*>(bytes.data()),
                           static_cast<int>(count / channels), bits, channels, rate);
        unpack_block(bytes.data(), count, bits, integers.data());
        for (std::size_t i = 0; i < count; ++i)
            samples[i] = integers[i] / k_left_aligned_full_scale;
    }

    // The chain's result as it is: no rounding to a format's steps, nothing clipped.
    void restore_floating(std::size_t count, int rate) {
        if (instance->live.processing_mode == k_mode_bypass) return;
        for (std::size_t i = 0; i < count; ++i)
            samples[i] =
                chain_stream_sample(*instance, samples[i] * k_working_full_scale, channels, rate) /
                k_working_full_scale;
    }

    // Puts `frames` staged frames back among `all` channels.
    void copy_out(double* interleaved, int all, long long frames) {
        const double* staged = stage.frames();
        for (long long f = 0; f < frames; ++f)
            for (int c = 0; c < channels; ++c)
                interleaved[f * all + first_channel + c] = staged[f * channels + c];
    }

    std::unique_ptr<Instance> instance;
    int first_channel;
    int channels;
    long long latency;            // samples of this lane's own stream
    std::vector<double> samples;  // this lane's channels of one block
    std::vector<std::int32_t> integers;
    std::vector<std::uint8_t> bytes;  // the player's block
    OutputStage stage;
};

std::vector<std::unique_ptr<Lane>> channel_lanes(int channels, const RestoreSettings& settings,
                                                 const LiveParameters& parameters) {
    std::vector<std::unique_ptr<Lane>> lanes;
    for (int first = 0; first < channels; first += 2)
        lanes.push_back(
            std::make_unique<Lane>(first, std::min(2, channels - first), settings, parameters));
    return lanes;
}

// The window's displays of one instance drawn into a picture as the player's ModifySamples
// draws them into an open window: everything at the start, then paced by the audio.
class PicturePacing {
  public:
    PicturePacing(Instance& instance, DisplaySurface& picture)
        : instance_(instance), picture_(picture), displays_(std::make_unique<Displays>(instance)) {
        fill_colour_ramps(displays_->colour_ramps);
        draw(true);
    }

    void before_block(int frames) { paced_ = begin_paced_block(instance_, frames); }
    void after_block() {
        if (paced_)
            end_paced_block(instance_, instance_.live.values.screen_refresh_speed,
                            [this] { draw(false); });
    }

  private:
    void draw(bool force) {
        take_refresh_credit(instance_.sample_path);
        draw_displays(*displays_, picture_, force);
    }

    Instance& instance_;
    DisplaySurface& picture_;
    std::unique_ptr<Displays> displays_;  // about 5 MB
    bool paced_ = false;                  // the block under way is paced (not bypassed)
};

}  // namespace

RestoreOutcome restore_stream(int channels, int sample_rate, const LiveParameters& parameters,
                              const SampleStreams& streams, const RestoreSettings& settings,
                              const ProgressCallback& progress, RestoreMeasures& measures) {
    measures = RestoreMeasures{};
    measures.azimuth.reserve(k_most_azimuth_points);
    const int block_frames = settings.block_frames;
    const std::vector<std::unique_ptr<Lane>> lanes = channel_lanes(channels, settings, parameters);
    Instance& first = *lanes.front()->instance;
    // Silence after the input flushes the longest delay; with the latency kept, the output
    // keeps that tail too.
    long long pad_frames = 0;
    for (const auto& lane : lanes)
        pad_frames = std::max(pad_frames, (lane->latency + lane->channels - 1) / lane->channels);
    std::vector<double> samples(static_cast<std::size_t>(block_frames) * channels);
    std::vector<double> out(lanes.size() > 1 ? static_cast<std::size_t>(block_frames + 2) * channels
                                             : 0);
    std::optional<DitherReducer> reducer;
    if (settings.output_bits != 0) reducer.emplace(settings.output_bits);
    std::optional<PicturePacing> picture;
    if (settings.window_picture != nullptr) picture.emplace(first, *settings.window_picture);

    measures.azimuth_running =
        first.live.processing_mode != k_mode_bypass && first.live.azimuth_enabled != 0;
    long long azimuth_spacing = 1;
    long long pad_left = -1;  // frames of flushing silence still to go; -1 while input comes
    for (long long block = 0;; ++block) {
        if (interrupted()) return RestoreOutcome::interrupted;
        long long n = 0;
        if (pad_left < 0) {
            // A block ends where the input does, as the player's last block of a file would.
            n = streams.read(samples.data(), block_frames);
            const std::size_t count = static_cast<std::size_t>(n) * channels;
            measures.input_peak = std::max(measures.input_peak, peak_of(samples.data(), count));
            if (streams.watch_input) streams.watch_input(samples.data(), n);
            measures.input_frames += n;
        } else {
            n = std::min<long long>(block_frames, pad_left);
            std::fill_n(samples.begin(), n * channels, 0.0);
            pad_left -= n;
        }
        const bool input_ended = pad_left < 0 && n < block_frames;
        if (n > 0) {
            if (picture) picture->before_block(static_cast<int>(n));
            long long ready = LLONG_MAX;
            for (const auto& lane : lanes)
                ready = std::min(
                    ready, lane->restore(samples.data(), channels, n, settings.bits, sample_rate));
            if (picture) picture->after_block();
            if (measures.azimuth_running && pad_left < 0) {
                const double um = slope_micrometres(first.stereo_state.current_slope, sample_rate);
                record_azimuth(measures.azimuth, azimuth_spacing, block,
                               {static_cast<double>(measures.input_frames) / sample_rate, um});
            }
            // Every lane hands on as many whole frames as the one with fewest has; one lane of
            // every channel hands on its own staged frames.
            double* frames = lanes.front()->stage.frames();
            if (lanes.size() > 1) {
                for (const auto& lane : lanes) lane->copy_out(out.data(), channels, ready);
                frames = out.data();
            }
            const std::size_t out_count = static_cast<std::size_t>(ready) * channels;
            measures.output_peak = std::max(measures.output_peak, peak_of(frames, out_count));
            if (streams.watch_output) streams.watch_output(frames, ready);
            if (reducer) measures.clipped += reducer->reduce(frames, out_count);
            if (ready > 0 && !streams.write(frames, ready)) return RestoreOutcome::write_failed;
            measures.output_frames += ready;
            for (const auto& lane : lanes) lane->stage.release(ready);
        }
        if (progress && block % k_progress_blocks == 0 && settings.expected_frames > 0)
            progress(std::min(1.0, static_cast<double>(measures.input_frames) /
                                       static_cast<double>(settings.expected_frames)));
        if (input_ended) {
            // The report shows the displays as the file's end leaves them, not the flushing
            // silence.
            picture.reset();
            pad_left = pad_frames;
            const long long out_frames =
                measures.input_frames + (settings.keep_latency ? pad_frames : 0);
            for (const auto& lane : lanes) lane->stage.limit_to(out_frames * lane->channels);
        } else if (pad_left == 0) {
            break;
        }
    }
    // What the player's conversion clipped on the way out of the blocks.
    for (const auto& lane : lanes) measures.clipped += lane->instance->sample_path.clipped_samples;
    measures.azimuth_end = slope_micrometres(first.stereo_state.current_slope, sample_rate);
    if (progress) progress(1.0);
    return RestoreOutcome::done;
}

}  // namespace varnolt::cli
