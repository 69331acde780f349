// Builds: the window reads the parameters and the chain below it.
#include "chain/chain.h"
#include "settings/parameters.h"
#include "ui/plugin_state.h"
