#pragma once

#include "common/RegionalSettings.h"

namespace vr {

// Reads the regional settings of the process's environment once, at start. The global locale is
// left untouched, so nothing else in the process changes behaviour.
RegionalSettings ReadRegionalSettings();

}  // namespace vr
