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

// One stream's run, block by block: the next block read (or, after the input, padded with
// silence), restored by every lane, and what the lanes have ready gathered, measured and
// written; the input's end fixes the output's length and starts the flushing silence.
class StreamRestoration {
  public:
    StreamRestoration(int channels, int sample_rate, const LiveParameters& parameters,
                      const SampleStreams& streams, const RestoreSettings& settings,
                      const ProgressCallback& progress, RestoreMeasures& measures)
        : channels_(channels),
          sample_rate_(sample_rate),
          streams_(streams),
          settings_(settings),
          progress_(progress),
          measures_(measures),
          lanes_(channel_lanes(channels, settings, parameters)),
          first_(*lanes_.front()->instance),
          samples_(static_cast<std::size_t>(settings.block_frames) * channels),
          out_(lanes_.size() > 1 ? static_cast<std::size_t>(settings.block_frames + 2) * channels
                                 : 0) {
        measures_ = RestoreMeasures{};
        measures_.azimuth.reserve(k_most_azimuth_points);
        // Silence after the input flushes the longest delay; with the latency kept, the output
        // keeps that tail too.
        for (const auto& lane : lanes_)
            pad_frames_ =
                std::max(pad_frames_, (lane->latency + lane->channels - 1) / lane->channels);
        if (settings.output_bits != 0) reducer_.emplace(settings.output_bits);
        if (settings.window_picture != nullptr) picture_.emplace(first_, *settings.window_picture);
        measures_.azimuth_running =
            first_.live.processing_mode != k_mode_bypass && first_.live.azimuth_enabled != 0;
    }

    RestoreOutcome run() {
        for (long long block = 0;; ++block) {
            if (interrupted()) return RestoreOutcome::interrupted;
            const long long n = next_block();
            const bool input_ended = pad_left_ < 0 && n < settings_.block_frames;
            if (n > 0) {
                const long long ready = restore_lanes(n);
                note_azimuth(block);
                if (!hand_on(ready)) return RestoreOutcome::write_failed;
            }
            report_progress(block);
            if (input_ended)
                note_input_end();
            else if (pad_left_ == 0)
                break;
        }
        finish();
        return RestoreOutcome::done;
    }

  private:
    // Fills samples_ with the next block: read from the input while it comes (a block ends
    // where the input does, as the player's last block of a file would), then the flushing
    // silence. Returns its frames.
    long long next_block() {
        if (pad_left_ >= 0) {
            const long long n = std::min<long long>(settings_.block_frames, pad_left_);
            std::fill_n(samples_.begin(), n * channels_, 0.0);
            pad_left_ -= n;
            return n;
        }
        const long long n = streams_.read(samples_.data(), settings_.block_frames);
        const std::size_t count = static_cast<std::size_t>(n) * channels_;
        measures_.input_peak = std::max(measures_.input_peak, peak_of(samples_.data(), count));
        if (streams_.watch_input) streams_.watch_input(samples_.data(), n);
        measures_.input_frames += n;
        return n;
    }

    // Every lane restores its channels of the block, with the picture paced around it; returns
    // the whole frames every lane has ready.
    long long restore_lanes(long long n) {
        if (picture_) picture_->before_block(static_cast<int>(n));
        long long ready = LLONG_MAX;
        for (const auto& lane : lanes_)
            ready = std::min(
                ready, lane->restore(samples_.data(), channels_, n, settings_.bits, sample_rate_));
        if (picture_) picture_->after_block();
        return ready;
    }

    // The azimuth correction's slope while the input comes.
    void note_azimuth(long long block) {
        if (!measures_.azimuth_running || pad_left_ >= 0) return;
        const double um = slope_micrometres(first_.stereo_state.current_slope, sample_rate_);
        record_azimuth(measures_.azimuth, azimuth_spacing_, block,
                       {static_cast<double>(measures_.input_frames) / sample_rate_, um});
    }

    // Every lane hands on as many whole frames as the one with fewest has; one lane of every
    // channel hands on its own staged frames. They are measured, reduced and written. False
    // when the write failed.
    bool hand_on(long long ready) {
        double* frames = lanes_.front()->stage.frames();
        if (lanes_.size() > 1) {
            for (const auto& lane : lanes_) lane->copy_out(out_.data(), channels_, ready);
            frames = out_.data();
        }
        const std::size_t out_count = static_cast<std::size_t>(ready) * channels_;
        measures_.output_peak = std::max(measures_.output_peak, peak_of(frames, out_count));
        if (streams_.watch_output) streams_.watch_output(frames, ready);
        if (reducer_) measures_.clipped += reducer_->reduce(frames, out_count);
        if (ready > 0 && !streams_.write(frames, ready)) return false;
        measures_.output_frames += ready;
        for (const auto& lane : lanes_) lane->stage.release(ready);
        return true;
    }

    void report_progress(long long block) {
        if (progress_ && block % k_progress_blocks == 0 && settings_.expected_frames > 0)
            progress_(std::min(1.0, static_cast<double>(measures_.input_frames) /
                                        static_cast<double>(settings_.expected_frames)));
    }

    // The input has ended: the flushing silence starts, and the output's length is fixed.
    void note_input_end() {
        // The report shows the displays as the file's end leaves them, not the flushing
        // silence.
        picture_.reset();
        pad_left_ = pad_frames_;
        const long long out_frames =
            measures_.input_frames + (settings_.keep_latency ? pad_frames_ : 0);
        for (const auto& lane : lanes_) lane->stage.limit_to(out_frames * lane->channels);
    }

    void finish() {
        // What the player's conversion clipped on the way out of the blocks.
        for (const auto& lane : lanes_)
            measures_.clipped += lane->instance->sample_path.clipped_samples;
        measures_.azimuth_end = slope_micrometres(first_.stereo_state.current_slope, sample_rate_);
        if (progress_) progress_(1.0);
    }

    const int channels_;
    const int sample_rate_;
    const SampleStreams& streams_;
    const RestoreSettings& settings_;
    const ProgressCallback& progress_;
    RestoreMeasures& measures_;
    const std::vector<std::unique_ptr<Lane>> lanes_;
    Instance& first_;  // the first lane's: its displays and azimuth are reported
    long long pad_frames_ = 0;
    std::vector<double> samples_;  // the block, interleaved
    std::vector<double> out_;      // the lanes' frames gathered, with more than one lane
    std::optional<DitherReducer> reducer_;
    std::optional<PicturePacing> picture_;
    long long azimuth_spacing_ = 1;
    long long pad_left_ = -1;  // frames of flushing silence still to go; -1 while input comes
};

}  // namespace

RestoreOutcome restore_stream(int channels, int sample_rate, const LiveParameters& parameters,
                              const SampleStreams& streams, const RestoreSettings& settings,
                              const ProgressCallback& progress, RestoreMeasures& measures) {
    return StreamRestoration(channels, sample_rate, parameters, streams, settings, progress,
                             measures)
        .run();
}

}  // namespace varnolt::cli
