#pragma once

// The Windows reading of regional settings, split so that any locale's settings can be tested,
// not only those of the user running the tests.

#include <windows.h>

#include <string>

#include "common/RegionalSettings.h"

namespace vr::win {

// The separators of the locale and the code page name the converter accepts for ansiCodePage.
RegionalSettings SettingsOf(LCID locale, UINT ansiCodePage);

// "WINDOWS-1252", "UTF-8" or "CP<n>".
std::string CodePageName(UINT codePage);

}  // namespace vr::win
