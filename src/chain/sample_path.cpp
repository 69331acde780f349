#include "chain/sample_path.h"

namespace varnolt {

SamplePathState sample_path;

}  // namespace varnolt
