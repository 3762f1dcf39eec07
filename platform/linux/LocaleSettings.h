#pragma once

// The Linux reading of regional settings, split so that the rules from the C library's locale
// facts to the settings can be tested without installing locales.

#include <string>

#include "common/RegionalSettings.h"

namespace vr::posix {

// What the C library reports for a locale, each in the locale's own codeset.
struct LocaleFacts {
    std::string radix;       // RADIXCHAR
    std::string dateFormat;  // D_FMT, strftime style
    std::string timeFormat;  // T_FMT
    std::string codeset;     // CODESET
};

// The locale names that apply to numbers, times and characters, from environment values
// (LC_ALL first, then the category's own variable, then LANG; "C" when none is set).
struct LocaleNames {
    std::string numeric;
    std::string time;
    std::string characters;
};

using EnvironmentLookup = const char* (*)(const char* name);
LocaleNames LocaleNamesFrom(EnvironmentLookup lookup);

// Asks the C library about the named locales; a name it rejects gives the C locale's facts.
LocaleFacts ReadLocaleFacts(const LocaleNames& names);

RegionalSettings SettingsFromFacts(const LocaleFacts& facts);

}  // namespace vr::posix
