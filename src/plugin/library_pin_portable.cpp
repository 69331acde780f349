// Where the core is linked into a program rather than loaded as a DLL, nothing can unmap it.

#include "plugin/library_pin.h"

namespace varnolt {

void keep_library_mapped() {}

}  // namespace varnolt
