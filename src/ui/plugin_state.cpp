#include "ui/plugin_state.h"

namespace varnolt {

PluginState plugin;
Instance plugin_instance;

}  // namespace varnolt
