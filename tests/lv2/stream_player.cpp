#include "stream_player.h"

namespace varnolt::lv2_test {

const PluginWorld& bundle_world() {
    static const PluginWorld world(VARNOLT_LV2_BUNDLES);
    return world;
}

double hiss(long n, int ch) {
    unsigned seed = static_cast<unsigned>(n * 2 + ch) * 2654435761u;
    seed ^= seed >> 13;
    seed *= 0x5bd1e995u;
    return static_cast<int>(seed >> 8) / 8388608.0 - 1.0;
}

float music(long n, int ch, double rate) {
    const double t = n / rate;
    const double envelope = 0.5 + 0.45 * std::sin(2.0 * M_PI * 0.7 * t);
    const double note = 330.0 * std::pow(2.0, static_cast<int>(t * 4.0) % 5 / 12.0);
    const double beat = std::fmod(t, 0.5);
    const double chord = std::sin(2.0 * M_PI * 220.0 * t + 0.3 * ch) +
                         0.7 * std::sin(2.0 * M_PI * 277.2 * t) +
                         0.5 * std::sin(2.0 * M_PI * 329.6 * t + ch);
    const double melody =
        std::sin(2.0 * M_PI * note * t) + 0.3 * envelope * std::sin(2.0 * M_PI * 4.0 * note * t);
    const double drum = std::exp(-beat * 40.0) * std::sin(2.0 * M_PI * 90.0 * beat);
    return static_cast<float>(0.05 * envelope * (chord + melody) + 0.1 * drum +
                              0.003 * hiss(n, ch));
}

double music_rms(double rate) {
    const long frames = static_cast<long>(10.0 * rate);  // whole periods of the envelope
    double sum = 0.0;
    for (long n = 0; n < frames; ++n) {
        const double x = music(n, 0, rate);
        sum += x * x;
    }
    return std::sqrt(sum / frames);
}

StreamPlayer::StreamPlayer(const std::string& uri, double at_rate)
    : rate(at_rate), host(bundle_world(), uri, at_rate, k_player_block) {
    output.resize(host.audio_outputs());
}

double StreamPlayer::peak(long from) const {
    double largest = 0.0;
    for (const std::vector<float>& channel : output)
        for (std::size_t i = static_cast<std::size_t>(std::max(0L, from)); i < channel.size(); ++i)
            largest = std::max(largest, std::fabs(static_cast<double>(channel[i])));
    return largest;
}

}  // namespace varnolt::lv2_test
