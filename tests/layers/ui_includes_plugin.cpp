// Must not build: the window sits below the plug-in frame that drives it.
#include "plugin/modify_samples.h"
