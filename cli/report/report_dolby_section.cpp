#include "report_dolby_section.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "report.h"
#include "report_level_plot.h"
#include "text_format.h"

namespace varnolt::cli {
namespace {

constexpr int k_margin = 20;  // as the report's other rows
constexpr int k_title_size = 13;
constexpr int k_value_size = 13;  // the value itself, as the summary's lines
constexpr int k_value_line = 16;
constexpr int k_note_size = 11;
constexpr int k_note_line = 14;
constexpr rgb k_note = 0x404040;
constexpr int k_first_baseline = 10;  // under the section's top row
constexpr int k_plot_gap = 30;        // from the last line of text to the plot's top row
constexpr int k_plot_width = 660;
constexpr int k_legend_gap = 16;
constexpr int k_swatch = 10;
constexpr int k_legend_descent = 4;  // under a legend line's baseline
constexpr int k_text_width = k_report_width - 2 * k_margin;

// Words onto lines no wider than `width`; a word longer than that gets a line of its own.
std::vector<std::string> wrapped(TextPainter& text, const std::string& s, int size, int width) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t space = s.find(' ', i);
        const std::size_t end = space == std::string::npos ? s.size() : space;
        const std::string word = s.substr(i, end - i);
        const std::string longer = line.empty() ? word : line + " " + word;
        if (!line.empty() && text.width(longer, size) > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = longer;
        }
        i = end + 1;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

struct TextLine {
    std::string text;
    int size;
    rgb colour;
    int advance;
};

// The value's line in the summary's size, the measures under it as notes.
std::vector<TextLine> laid_out(TextPainter& text, const ReportDolbyLevel& level) {
    std::vector<TextLine> lines;
    const std::vector<std::string> paragraphs = dolby_level_lines(level);
    for (std::size_t p = 0; p < paragraphs.size(); ++p) {
        const bool value = p == 0;
        const int size = value ? k_value_size : k_note_size;
        for (const std::string& s : wrapped(text, paragraphs[p], size, k_text_width))
            lines.push_back(
                {s, size, value ? report_colour::ink : k_note, value ? k_value_line : k_note_line});
    }
    return lines;
}

int plot_height(const ReportDolbyLevel& level) {
    const std::vector<DolbyLevelChoice>& lanes = level.use.lanes;
    if (lanes.empty() || !lanes.front().remover_on) return 0;
    return plots_distribution(lanes.front()) ? k_distribution_plot_height : k_tone_plot_height;
}

std::string plot_title(const ReportDolbyLevel& level) {
    const std::string pair = level.use.channels > k_most_level_channels ? ", channels 1-2" : "";
    if (plots_distribution(level.use.lanes.front()))
        return "Share of the programme's 0.4 s windows whose treble lies at or below a level" +
               pair;
    return "The line-up tone's peak level" + pair;
}

std::string section_title(const ReportDolbyLevel& level) {
    switch (level.use.origin) {
        case DolbyLevelOrigin::measured:
            return "Dolby B decoding: the Dolby level measured in the file (--dolby-level auto)";
        case DolbyLevelOrigin::given:
            return "Dolby B decoding: the Dolby level given (--dolby-level)";
        case DolbyLevelOrigin::setting:
            break;
    }
    return "Dolby B decoding: the Dolby level PC Recording Volume stands for";
}

class Legend {
  public:
    Legend(Image& image, TextPainter& text, int x, int y)
        : image_(image), text_(text), x_(x), y_(y) {}
    // A swatch and its words, on one line or two.
    void item(rgb colour, const std::string& s, const std::string& more = "") {
        image_.fill(x_, y_ - 9, k_swatch, k_swatch, colour);
        image_.outline(x_, y_ - 9, k_swatch, k_swatch, 0x808080);
        text_.draw(image_, x_ + 16, y_, s, k_note_size, k_note);
        if (!more.empty()) {
            y_ += k_note_line;
            text_.draw(image_, x_ + 16, y_, more, k_note_size, k_note);
        }
        y_ += k_note_line + 4;
    }
    void note(const std::string& s) {
        text_.draw(image_, x_, y_, s, k_note_size, k_note);
        y_ += k_note_line;
    }
    void gap() { y_ += 4; }
    int bottom() const { return y_; }

  private:
    Image& image_;
    TextPainter& text_;
    int x_, y_;
};

// "left channel" in a stereo file, else "channel 1".
std::string channel_title(int channel, int channels) {
    const std::string name = level_channel_name(channel, channels);
    return channels == 2 ? name + " channel" : name;
}

int programme_channels(const DolbyLevelChoice& lane) {
    int n = 0;
    for (int c = 0; c < lane.channels; ++c)
        n += lane.channel[c].basis == DolbyLevelBasis::programme;
    return n;
}

// Returns the first free row under the legend.
int legend(Image& image, TextPainter& text, const ReportDolbyLevel& level, int x, int top) {
    const DolbyLevelChoice& lane = level.use.lanes.front();
    const bool distribution = plots_distribution(lane);
    const int channels = std::min(lane.channels, level.use.channels);
    Legend l(image, text, x, top + 10);
    for (int c = 0; c < channels; ++c)
        l.item(c == 0 ? report_colour::left : report_colour::right,
               channel_title(c, level.use.channels) + (distribution ? "" : "'s tone"));
    if (distribution) {
        l.item(report_colour::percentile,
               formatted("the %.0fth percentile (dashed); a curve", k_treble_percentile),
               "crosses it at the level its channel gives");
        l.item(report_colour::chosen, "the chosen value",
               programme_channels(lane) > 1 ? "at the channels' mean level" : "");
        l.item(report_colour::uncertainty,
               formatted("a factor of %.0f either way of it: the",
                         std::pow(10.0, k_programme_uncertainty_db / 20.0)),
               "estimate's spread");
    } else {
        l.item(report_colour::chosen,
               lane.per_channel ? "the window's value, between the channels'" : "the chosen value");
    }
    l.gap();
    l.note("Above the plot: the PC Recording Volume each");
    l.note("level calls for. The ruled part is the slider's");
    l.note("range; a level beyond calls for the slider's end.");
    if (distribution) {
        l.gap();
        l.note(formatted("Windows quieter than %.0f dBFS in all are pauses", k_pause_dbfs));
        l.note("and not counted.");
    }
    return l.bottom();
}

}  // namespace

PlotArea dolby_level_plot_area(TextPainter& text, const ReportDolbyLevel& level, int top) {
    int baseline = top + k_first_baseline;
    for (const TextLine& line : laid_out(text, level)) baseline += line.advance;
    return {k_margin, baseline - k_note_line + k_plot_gap, k_plot_width, plot_height(level)};
}

int draw_dolby_level_section(Image& image, TextPainter& text, const ReportDolbyLevel& level,
                             int top) {
    text.draw(image, k_margin, top - 8, section_title(level), k_title_size, report_colour::ink);
    int baseline = top + k_first_baseline;
    for (const TextLine& line : laid_out(text, level)) {
        text.draw(image, k_margin, baseline, line.text, line.size, line.colour);
        baseline += line.advance;
    }
    const PlotArea area = dolby_level_plot_area(text, level, top);
    if (area.height == 0) return baseline;
    text.draw(image, area.x, area.y - 8, plot_title(level), k_title_size, report_colour::ink);
    draw_level_plot(image, text, area, level);
    const int legend_end = legend(image, text, level, area.x + area.width + k_legend_gap, area.y);
    // The legend's last line has its baseline a line above legend_end.
    return std::max(area.y + area.height, legend_end - k_note_line + k_legend_descent);
}

}  // namespace varnolt::cli
