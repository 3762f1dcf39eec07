#pragma once

#include <string>
#include <string_view>

#include "common/Json.h"
#include "common/RegionalSettings.h"

namespace vr::test {

inline RegionalSettings CommaLocale() {
    RegionalSettings settings;
    settings.decimalSeparator = ",";
    return settings;
}

inline RegionalSettings PointLocale() {
    RegionalSettings settings;
    settings.decimalSeparator = ".";
    return settings;
}

}  // namespace vr::test
