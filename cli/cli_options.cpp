#include "cli_options.h"
#include "text_format.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "dolby_level_use.h"
#include "settings/control_ranges.h"
#include "strict_number.h"

namespace varnolt::cli {
namespace {

constexpr const char* k_version = VARNOLT_VERSION;

// One documented option: the same words go into --help and the man page.
struct OptionDoc {
    const char* names;     // "-o, --output-dir"
    const char* argument;  // "DIR", or empty
    const char* text;
    const char* example;  // a whole command line
};

const OptionDoc k_option_docs[] = {
    {"-o, --output-dir", "DIR",
     "Restore every IN into DIR under its own file name (DIR is created when missing). Without "
     "it the tool takes exactly one IN and one OUT.",
     "varnolt -o restored/ side-a.flac side-b.flac"},
    {"--report", "[FILE.png]",
     "Write a picture of what the restoration did: the window's displays as they stand at the "
     "end of the file, the azimuth correction over the whole file and the spectra of input and "
     "output (1000 x 933 pixels; when the Dolby B stage ran, a section on its decoder and Dolby "
     "level below). Without a file name, and with -o DIR and several files, each "
     "report goes beside its output with the extension .png.",
     "varnolt --report tape.png tape.wav restored.wav"},
    {"--bits", "16|24|32",
     "Write integer samples of this width. By default the output keeps the input's bit depth, "
     "and floating-point input is written back as floating point, with what lies above full "
     "scale; an integer output clips that, and the summary counts what it clipped.",
     "varnolt --bits 24 tape.wav restored.flac"},
    {"--block", "FRAMES", "Frames per processing call, as the player's blocks (default 576).",
     "varnolt --block 1152 tape.wav restored.wav"},
    {"--keep-latency", "",
     "Leave the processing delay in the output, as the player hears it: the output is longer "
     "than the input by the delay, so nothing is lost. By default the output lines up with the "
     "input.",
     "varnolt --keep-latency tape.wav restored.wav"},
    {"--keep-damaged", "",
     "Restore what a damaged input holds (a file cut short; a FLAC with damaged frames, which "
     "become silence at their place) and say what is missing. By default such a file fails "
     "with exit status 1.",
     "varnolt --keep-damaged broken.flac restored.flac"},
    {"--player-settings", "",
     "Start from the player's settings: dsp_varnolt.ini in the folder USERPROFILE names (or the "
     "current folder), read only, never written. Without it every run starts from the "
     "first-start values, whatever INI file lies around.",
     "USERPROFILE=/mnt/c/Users/me varnolt --player-settings tape.wav restored.wav"},
    {"--settings", "FILE",
     "Load an INI file or a preset (.vnt) saved from the window, through the plug-in's own "
     "loader, which matches section and key names as the player does (in any case, blanks "
     "around them ignored).",
     "varnolt --settings deck.vnt tape.wav restored.wav"},
    {"--set", "\"Section/Key=value\"",
     "Set one parameter by its INI section and key; repeatable, applied after --settings. "
     "Unknown names are rejected with the closest valid ones; --print-settings lists them all. "
     "A value outside the range of the window's slider is kept, as the plug-in keeps one from a "
     "file, with a warning that says what the processing makes of it.",
     "varnolt --set \"Dolby B Remover/Enabled=1\" --set \"Common/Post amplifier=0.8\" tape.wav "
     "restored.wav"},
    {"--azimuth", "on|off", "Switch the azimuth correction on (the start value) or off.",
     "varnolt --azimuth off tape.wav restored.wav"},
    {"--azimuth-limit", "UM",
     "Largest azimuth correction in micrometres of tape, 0 to 50 (default 20).",
     "varnolt --azimuth-limit 10 tape.wav restored.wav"},
    {"--azimuth-speed", "UM_PER_S",
     "How fast the azimuth correction may follow, in micrometres per second, 0 to 5 (default "
     "0.4).",
     "varnolt --azimuth-speed 1.5 tape.wav restored.wav"},
    {"--mono", "", "Mix the output to mono (both channels carry the mean).",
     "varnolt --mono tape.wav restored.wav"},
    {"--mode", "full|no-dolby|bypass",
     "Processing as the tray icon switches it: everything (default), everything but the Dolby B "
     "remover, or nothing at all.",
     "varnolt --mode no-dolby tape.wav restored.wav"},
    {"--quality", "high|normal|low",
     "Quality of the block processors, as the window's radio buttons (default normal).",
     "varnolt --quality high tape.wav restored.wav"},
    {"--save-settings", "FILE",
     "Write the effective settings as a preset (.vnt), as the window's SAVE does; the player "
     "can LOAD it. Works without files to restore. It writes only a new file, an empty one or a "
     "settings file, whose other lines it keeps; a write that fails exits with status 1 and "
     "leaves the file as it was.",
     "varnolt --settings deck.vnt --set \"Bias/Enabled=0\" --save-settings deck2.vnt"},
    {"--dolby-decoder", "standard|table",
     "The Dolby B decoder the remover runs: \"standard\", the exact inverse of a Dolby B "
     "encoder, or \"table\", the player's remover, which comes near Dolby B at the level fitted "
     "for it. Without the option the settings say which (\"Dolby B Remover/Standard decoder\"; "
     "at the first start the table remover); a preset keeps it. Either works at the Dolby level "
     "\"PC Recording Volume\" stands for, which --dolby-level sets. Whenever the Dolby B stage "
     "runs, standard error names the decoder, the Dolby level and where the level came from.",
     "varnolt --dolby-decoder standard --dolby-level -20 tape.wav restored.wav"},
    {"--dolby-level", "auto|measure|DBFS",
     "Set the Dolby level the Dolby B decoder works at, and switch the remover on. The Dolby "
     "level is the peak level, in the transfer, of a sine at the tape's Dolby level, such as its "
     "400 Hz line-up tone. A number from -60 to 6 gives it in dBFS; \"auto\" measures it in "
     "each file by a pass through an analysis of its levels before restoring it: from a 400 Hz "
     "line-up tone at Dolby level in the first minute, else estimated from the level of the "
     "programme's treble, to within 12 dB either way. Channels whose line-up tones differ get a "
     "level each. The level sets \"PC Recording Volume\": exactly for the standard decoder, on "
     "the window slider's steps for the table remover, whose value for a level is a fit to the "
     "published Dolby B points (standard error says how near it comes). \"measure\" only "
     "prints the decoder and the level for each file and restores nothing. With "
     "--print-settings the list shows the value for the level, ready to set on the window's "
     "slider (for auto, that of the one file named, no OUT needed); --save-settings keeps the "
     "value of a level given in dBFS.",
     "varnolt --dolby-level auto tape.wav restored.wav"},
    {"--print-settings", "",
     "List every parameter with its value as \"Section/Key=value\", then the live-only "
     "switches, and exit; with --dolby-level auto, after measuring the one file named.",
     "varnolt --settings deck.vnt --print-settings"},
    {"-j, --jobs", "N",
     "Restore up to N files at once, each on a thread of its own (default: one per "
     "processor).",
     "varnolt -j 2 -o restored/ tapes/*.wav"},
    {"-q, --quiet", "",
     "No progress bar and no summary lines, and no line on the Dolby B stage unless "
     "--dolby-level asked for its level; errors are still reported.",
     "varnolt -q tape.wav restored.wav"},
    {"-h, --help", "", "Show this text.", "varnolt --help"},
    {"--version", "", "Show the version.", "varnolt --version"},
};

const char* const k_description =
    "Restores cassette-tape recordings with the Varnolt processing chain: the same sample path "
    "the player plug-in runs (its hidden module, 576-frame blocks), with the Dolby B remover, "
    "the bias equaliser, the azimuth correction, the FM stereo hiss filter, the post amplifier "
    "and the mono mix. It reads every format libsndfile reads (WAV, AIFF, OGG and more), FLAC "
    "through libFLAC and MP3 through libmpg123 (the Windows build reads and writes WAV), and "
    "writes OUT in the format its extension names, with the input's sample rate, channels and "
    "bit depth; a .wav output too long for a WAV's 4 GiB is written as RF64. Text fields, a "
    "channel layout, a Broadcast WAV's extension and a FLAC's tags come along where the output "
    "can hold them; what it cannot is named. It reads, restores and writes a block at a time: a "
    "two-hour side takes no more memory than a one-minute take. A file of more than two "
    "channels (at most 64) is restored as independent channel pairs (1+2, 3+4, ...), each pair "
    "as the player restores stereo and an odd last channel as the player restores mono; every "
    "pair is lined up with the input. IN and OUT are files: \"-\" for standard input or output is "
    "not "
    "supported. After \"--\" every word is a file, also one whose name starts with \"-\".";

const char* const k_settings_text =
    "Every run starts from the first-start values of the plug-in. --player-settings, then "
    "--settings, then each --set, then the switches (--azimuth, --azimuth-limit, "
    "--azimuth-speed, --mono, --mode, --quality, --dolby-decoder), then --dolby-level change "
    "them, in that order.";

const char* const k_exit_text =
    "0 when every file was restored, 1 when a file failed (the others are still restored; a "
    "failed file leaves no output behind), 2 for a usage error. Errors are one line naming the "
    "file and the cause. A run stopped by a signal removes what was unfinished and exits with "
    "128 + its number: 130 for Ctrl-C (SIGINT), 143 for SIGTERM, 129 for SIGHUP (unless the "
    "tool was started with it ignored, as nohup starts it), and 141 when standard output or "
    "standard error was closed (SIGPIPE, e.g. a pipe into head).";

std::string wrap(const std::string& text, std::size_t indent, std::size_t width) {
    std::string out, line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && indent + line.size() + 1 + word.size() > width) {
            out += std::string(indent, ' ') + line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    if (!line.empty()) out += std::string(indent, ' ') + line + "\n";
    return out;
}

// roff: backslashes doubled, hyphens as minus signs, a leading dot or quote kept literal.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

std::string names_with_argument(const OptionDoc& d) {
    return std::string(d.names) + (d.argument[0] ? std::string(" ") + d.argument : "");
}

// What a --report without a file name becomes: the report goes beside the output.
constexpr const char* k_report_beside = "--report-beside-output";

bool names_png(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".png";
}

// --report takes the next argument as its file only when that names a PNG picture, so
// "-o DIR --report a.wav b.wav" keeps a.wav a file to restore. After "--" every word is a file,
// one named "--report" too.
std::vector<std::string> report_arguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            args.insert(args.end(), argv + i, argv + argc);
            break;
        }
        if (a == "--report") {
            const bool named = i + 1 < argc && names_png(argv[i + 1]);
            args.push_back(named ? "--report=" + std::string(argv[++i]) : k_report_beside);
        } else {
            args.push_back(a);
        }
    }
    return args;
}

// CLI11's own range check lets "nan" through (it compares false with both ends) and reads
// "0x10" as 16: a value must be a plain finite decimal number within [lowest, highest].
CLI::Validator finite_number_in(double lowest, double highest) {
    return CLI::Validator(
        [lowest, highest](std::string& text) -> std::string {
            double value = 0.0;
            if (!strict_number(text, value)) return "\"" + text + "\" is not a number";
            if (value < lowest || value > highest)
                return text + " is not in " + short_number_text(lowest) + " .. " +
                       short_number_text(highest);
            return std::string();
        },
        "NUMBER in [" + short_number_text(lowest) + " - " + short_number_text(highest) + "]");
}

// A whole number is written in digits: "1e1" and "2.5" are refused here with our own words,
// not left for the conversion to int to refuse with CLI11's.
CLI::Validator whole_number_in(int lowest, int highest) {
    return CLI::Validator(
        [lowest, highest](std::string& text) -> std::string {
            const bool digits = !text.empty() && text.size() <= 9 &&
                                std::all_of(text.begin(), text.end(), [](char c) {
                                    return std::isdigit(static_cast<unsigned char>(c)) != 0;
                                });
            if (!digits || std::stoi(text) < lowest || std::stoi(text) > highest)
                return "\"" + text + "\" is not a whole number from " + std::to_string(lowest) +
                       " to " + std::to_string(highest);
            return std::string();
        },
        "N in [" + std::to_string(lowest) + " - " + std::to_string(highest) + "]");
}

// One of a few words, said in our words when it is not.
CLI::Validator one_of(const std::vector<std::string>& words) {
    std::string listed;
    for (std::size_t i = 0; i < words.size(); ++i)
        listed += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
    return CLI::Validator(
        [words, listed](std::string& text) -> std::string {
            if (std::find(words.begin(), words.end(), text) != words.end()) return std::string();
            return "\"" + text + "\" is not " + listed;
        },
        listed);
}

// --dolby-level's argument: one of its words, or a Dolby level in dBFS within the range a
// transfer's line-up tone can lie in.
CLI::Validator dolby_level_argument() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (text == "auto" || text == "measure") return std::string();
            double level = 0.0;
            if (!strict_number(text, level))
                return "\"" + text + "\" is not auto, measure or a Dolby level in dBFS";
            if (level < k_lowest_given_dolby_level_dbfs || level > k_highest_given_dolby_level_dbfs)
                return text + " dBFS is not in " +
                       short_number_text(k_lowest_given_dolby_level_dbfs) + " .. " +
                       short_number_text(k_highest_given_dolby_level_dbfs) + " dBFS";
            return std::string();
        },
        "auto|measure|DBFS");
}

// The documented argument of an option ("N" for "--jobs"), or "a value".
std::string argument_of(const std::string& option) {
    for (const OptionDoc& d : k_option_docs) {
        const std::string names = std::string(d.names) + ",";
        if (d.argument[0] && names.find(option + ",") != std::string::npos) return d.argument;
    }
    return "a value";
}

// The word after `marker` in `text`, up to the next blank.
std::string word_after(const std::string& text, const std::string& marker) {
    const std::size_t at = text.find(marker);
    if (at == std::string::npos) return std::string();
    const std::size_t start = at + marker.size();
    return text.substr(start, text.find(' ', start) - start);
}

// CLI11's message in our words: one line naming the option, and where to read more.
std::string usage_message(const CLI::ParseError& e) {
    const std::string text = e.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
        const std::string word = word_after(text, "expected: ");
        return word + ": " +
               (word.size() > 1 && word[0] == '-' ? "no such option" : "not expected") +
               " (varnolt --help lists the options)";
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr) {
        const std::string option = text.substr(0, text.find(':'));
        return option + ": give " + argument_of(option) + " after it";
    }
    if (dynamic_cast<const CLI::ConversionError*>(&e) != nullptr) {
        const std::string option = word_after(text, "convert: ");
        return option + ": \"" + word_after(text, " = ") + "\" is not " + argument_of(option) +
               " (see varnolt --help)";
    }
    return text;
}

}  // namespace

bool parse_command_line(int argc, char** argv, CliOptions& o, std::string& error) {
    CLI::App app{k_description, "varnolt"};
    app.set_help_flag();  // --help is ours, from the same text as the man page
    app.add_flag("-h,--help", o.help);
    app.add_flag("--version", o.version);
    app.add_flag("--man", o.man)->group("");
    app.add_option("files", o.files);
    app.add_option("-o,--output-dir", o.output_dir);
    app.add_option("--report", o.report_path);
    bool report_beside = false;
    app.add_flag(k_report_beside, report_beside)->group("");
    app.add_option("--bits", o.job.bits)->check(one_of({"16", "24", "32"}));
    app.add_option("--block", o.job.block_frames)->check(whole_number_in(1, 1 << 20));
    app.add_flag("--keep-latency", o.job.keep_latency);
    app.add_flag("--keep-damaged", o.job.keep_damaged);
    SettingsRequest& s = o.settings;
    app.add_flag("--player-settings", s.player_settings);
    app.add_option("--settings", s.settings_file);
    app.add_option("--set", s.sets)->allow_extra_args(false);
    app.add_option("--azimuth", s.azimuth)->check(one_of({"on", "off"}));
    double limit = 0.0, speed = 0.0;
    CLI::Option* limit_option = app.add_option("--azimuth-limit", limit)
                                    ->check(finite_number_in(control_range::azimuth_limit.lowest,
                                                             control_range::azimuth_limit.highest));
    CLI::Option* speed_option = app.add_option("--azimuth-speed", speed)
                                    ->check(finite_number_in(control_range::azimuth_speed.lowest,
                                                             control_range::azimuth_speed.highest));
    app.add_flag("--mono", s.mono);
    app.add_option("--mode", s.mode)->check(one_of({"full", "no-dolby", "bypass"}));
    app.add_option("--quality", s.quality)->check(one_of({"high", "normal", "low"}));
    app.add_option("--save-settings", o.save_settings);
    app.add_option("--dolby-decoder", s.dolby_decoder)->check(one_of({"standard", "table"}));
    app.add_option("--dolby-level", o.dolby_level)->check(dolby_level_argument());
    app.add_flag("--print-settings", o.print_settings);
    app.add_option("-j,--jobs", o.jobs)->check(whole_number_in(1, 64));
    app.add_flag("-q,--quiet", o.quiet);
    CLI::Option* report_option = app.get_option("--report");
    try {
        std::vector<std::string> args = report_arguments(argc, argv);
        std::reverse(args.begin(), args.end());  // CLI11 takes them last first
        app.parse(args);
    } catch (const CLI::ParseError& e) {
        error = usage_message(e);
        return false;
    }
    o.report = report_option->count() > 0 || report_beside;
    if (limit_option->count()) s.azimuth_limit = limit;
    if (speed_option->count()) s.azimuth_speed = speed;
    if (o.help || o.version || o.man) return true;
    if (!o.report_path.empty() && !names_png(o.report_path)) {
        error = "--report=" + o.report_path + ": the report is a PNG picture, name it *.png";
        return false;
    }
    // The tool reads and writes files it can seek in and name in its messages.
    if (std::find(o.files.begin(), o.files.end(), "-") != o.files.end()) {
        error =
            "-: standard input and output are not supported; name the file (a file called - "
            "is ./-)";
        return false;
    }
    const bool settings_only = o.print_settings || !o.save_settings.empty();
    o.job.automatic_dolby_level = o.dolby_level == "auto";
    if (double level = 0.0; strict_number(o.dolby_level, level)) o.job.dolby_level_dbfs = level;
    o.job.quiet = o.quiet;
    // The list with the Dolby level the file calls for needs the file, and nothing to write.
    const bool measured_listing =
        o.print_settings && o.job.automatic_dolby_level && o.files.size() == 1;
    if (o.dolby_level == "measure") {
        // Every file named is measured; nothing is written.
        if (o.files.empty()) {
            error = "--dolby-level measure: give the files to measure";
            return false;
        }
    } else if (o.output_dir.empty()) {
        if (o.files.size() != 2 && !(settings_only && o.files.empty()) && !measured_listing) {
            error = "give IN OUT, or -o DIR IN... (see varnolt --help)";
            return false;
        }
    } else {
        if (o.files.empty()) {
            error = "-o " + o.output_dir + ": no files to restore";
            return false;
        }
        if (!o.report_path.empty() && o.files.size() > 1) {
            error = "--report " + o.report_path +
                    ": with -o DIR each report goes beside its output; give --report alone";
            return false;
        }
    }
    return validate_settings_request(s, error);
}

std::string help_text() {
    std::string out = "Usage: varnolt [options] IN OUT\n       varnolt [options] -o DIR IN...\n\n";
    out += wrap(k_description, 0, 100) + "\nOptions:\n";
    for (const OptionDoc& d : k_option_docs) {
        out += "  " + names_with_argument(d) + "\n";
        out += wrap(d.text, 6, 100);
        out += "      e.g. " + std::string(d.example) + "\n";
    }
    out += "\nSettings:\n" + wrap(k_settings_text, 2, 100);
    out += "\nExit status:\n" + wrap(k_exit_text, 2, 100);
    return out;
}

std::string man_page() {
    std::string out =
        ".TH VARNOLT 1 \"\" \"varnolt " + std::string(k_version) + "\" \"User Commands\"\n";
    out += ".SH NAME\nvarnolt \\- restore cassette\\-tape recordings\n";
    out += ".SH SYNOPSIS\n.B varnolt\n[\\fIoptions\\fR] \\fIIN\\fR \\fIOUT\\fR\n.br\n";
    out += ".B varnolt\n[\\fIoptions\\fR] \\fB\\-o\\fR \\fIDIR\\fR \\fIIN\\fR...\n";
    out += ".SH DESCRIPTION\n" + roff(k_description) + "\n.SH OPTIONS\n";
    for (const OptionDoc& d : k_option_docs) {
        out += ".TP\n\\fB" + roff(d.names) + "\\fR";
        if (d.argument[0]) out += " \\fI" + roff(d.argument) + "\\fR";
        out += "\n" + roff(d.text) + "\n.RS\n.EX\n" + roff(d.example) + "\n.EE\n.RE\n";
    }
    out += ".SH SETTINGS\n" + roff(k_settings_text) + "\n";
    out += ".SH EXIT STATUS\n" + roff(k_exit_text) + "\n";
    return out;
}

std::string version_text() {
    return std::string("varnolt ") + k_version + "\n";
}

}  // namespace varnolt::cli
