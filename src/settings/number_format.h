#pragma once
// The text form of numbers in the INI and preset files, independent of the process locale.

#include <string>

namespace varnolt {

// Longest text format_number produces: sign, ten integer digits, point, nine decimals.
constexpr int k_number_text_capacity = 24;

// "%s%d.%09d" of sign, integer part and rounded nine-decimal fraction, with trailing zeros and
// then a trailing point removed: 1.0 -> "1", -2.25 -> "-2.25", 4.565376186997809e-06 ->
// "0.000004565". A fraction that rounds up to a whole unit carries into the integer part.
std::string format_number(double value);

// The C runtime's decimal conversion as the loader uses it: leading white space, an optional
// sign and the longest decimal number that follows; the rest of the text is ignored, and a text
// without a number gives 0. "inf", "nan" and overflowing exponents give non-finite values, which
// the caller rejects. The decimal separator is always ".".
double parse_real(const char* text);

// Integer conversion as the C runtime's atoi: leading white space, optional sign, digits; other
// text gives 0. Values beyond the int range saturate.
int parse_int(const char* text);

}  // namespace varnolt
