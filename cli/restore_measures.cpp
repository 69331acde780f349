#include "restore_measures.h"

#include <cmath>

#include "text_format.h"

namespace varnolt::cli {

std::string dbfs_text(double peak) {
    if (!(peak > 0.0)) return "-inf dBFS";
    const double db = 20.0 * std::log10(peak);
    // Above full scale (a floating-point file may go there) the sign says so.
    return formatted(db >= 0.05 ? "+%.1f dBFS" : "%.1f dBFS", db);
}

}  // namespace varnolt::cli
