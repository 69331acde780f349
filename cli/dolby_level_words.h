#pragma once
// The words for the Dolby B stage's calibration, shared by the tool's line on standard error and
// the report: which decoder runs, the Dolby level it works at, where that level came from and how
// sure it is, and the "PC Recording Volume" it calls for. The table remover's volume is only
// fitted to Dolby B, so its words say how near the fit comes; the standard decoder's follows from
// the level exactly.

#include <string>

#include "dolby_level_use.h"

namespace varnolt::cli {

// "standard decoder" or "table remover".
std::string decoder_name(bool standard_decoder);

// A pair of a measured file, a given level or a setting (`lane` null): its Dolby level, where the
// level came from, and the volume.
std::string dolby_level_words(const DolbyLevelUse& use, const DolbyLevelChoice* lane,
                              int first_channel);

// The whole statement for one line: the decoder, then the file's level or each channel pair's
// ("; channels 3-4: ..."), and a word when the processing mode leaves the stage out.
std::string dolby_level_use_text(const DolbyLevelUse& use);

// The first pair's statement, as the report's first line of its Dolby B section.
std::string first_dolby_level_text(const DolbyLevelUse& use);

// "channel 5: " or "channels 3-4: ", before a further pair's words.
std::string lane_title(int first_channel, int channels);

}  // namespace varnolt::cli
