#pragma once
// The "Dolby level" control input and the "Dolby level in use" output: the one calibration both
// Dolby B decoders need, given as a level in the stream rather than as the "PC Recording Volume"
// factor it becomes. Audio thread (run()), allocation-free.

namespace varnolt::lv2 {

// The "PC Recording Volume" a value of the Dolby level port sets, or 0 where the value leaves
// the "PC Recording Volume" port in force: at or below k_dolby_level_from_volume_dbfs (the
// default, which a project saved before the port existed plays with), and for NaN, which stands
// for that default. Others are clamped to the port's range and give the level's volume exactly,
// not rounded to the slider's steps: the standard decoder undoes the encoding only at the level
// it was made at.
double volume_for_dolby_level_port(float level_dbfs);

// The "Dolby level in use" port's value for the volume the chain works at, within its bounds.
double dolby_level_in_use(double volume);

}  // namespace varnolt::lv2
