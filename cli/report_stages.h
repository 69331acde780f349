#pragma once
// Which of the plug-in's stages ran on a file, as the report needs to know them: a display whose
// stage did not run shows what the window drew when it opened, which tells a reader nothing.

#include <string>

namespace varnolt {
struct LiveParameters;
}

namespace varnolt::cli {

struct ReportStages {
    // Everything on, so a report whose stages were never filled in still shows every display.
    bool processed = true;          // not bypassed: the chain and its level meters ran
    bool dolby = true;              // the Dolby B remover (full mode only)
    bool standard_decoder = false;  // the remover runs the standard decoder, not the table
    bool bias = true;               // the tape bias equaliser
    bool fm = true;                 // the FM stereo hiss filter
    bool azimuth = true;            // the azimuth correction
    bool compressor = true;         // "Constant volume"; it has no display of its own
    bool mono = false;              // the mono mix
    bool tone_history = false;      // the balance display keeps the 2 kHz tone rows at its bottom

    // The table remover's band work: the standard decoder runs beside the tape processor, whose
    // band displays then show the bias equaliser alone.
    bool table_remover() const { return dolby && !standard_decoder; }
    // The band displays (graphs, sidechain columns, balance) come from the tape processor,
    // which works its bands for the table remover or the bias equaliser.
    bool band_levels() const { return processed && (table_remover() || bias); }
};

// The stages that ran with these switches and processing mode.
ReportStages stages_in_use(const LiveParameters& live);

// The summary's line of what ran: "on: Dolby B remover, bias, …" ("Dolby B standard decoder"
// when that one decodes), or why nothing did.
std::string stages_text(const ReportStages& stages);

}  // namespace varnolt::cli
