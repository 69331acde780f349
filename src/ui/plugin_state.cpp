#include "ui/plugin_state.h"

namespace varnolt {

PluginState plugin;

}  // namespace varnolt
