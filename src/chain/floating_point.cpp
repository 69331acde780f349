#include "chain/floating_point.h"

#ifdef _WIN32
#include <float.h>
#else
#include <cfenv>
#endif

namespace varnolt {

void set_up_floating_point() {
#ifdef _WIN32
    _clearfp();
    _controlfp(_MCW_EM, _MCW_EM);
    _controlfp(_PC_53, _MCW_PC);
    _controlfp(_RC_NEAR, _MCW_RC);
#else
    // SSE arithmetic is always double precision and masks every exception by default; only the
    // flags and the rounding direction can have been changed.
    std::feclearexcept(FE_ALL_EXCEPT);
    std::fesetround(FE_TONEAREST);
#endif
}

}  // namespace varnolt
