#pragma once
// Numbers on the command line: plain decimal text, finite, nothing after it.

#include <string>

namespace varnolt::cli {

// True with `value` set when all of `text` is one finite decimal number ("1.5", "-2", "1e3");
// "nan", "inf", "0x10" and "2abc" are not.
bool strict_number(const std::string& text, double& value);

}  // namespace varnolt::cli
