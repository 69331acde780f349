// Must not build: the signal processing sits below the window and knows nothing of it.
#include "ui/plugin_state.h"
