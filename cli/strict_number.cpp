#include "strict_number.h"

#include <cmath>
#include <locale>
#include <sstream>

namespace varnolt::cli {

bool strict_number(const std::string& text, double& value) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double read = 0.0;
    in >> read;
    if (in.fail()) return false;
    in >> std::ws;
    if (!in.eof() || !std::isfinite(read)) return false;
    value = read;
    return true;
}

}  // namespace varnolt::cli
