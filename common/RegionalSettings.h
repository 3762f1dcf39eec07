#pragma once

#include <string>

namespace vr {

// The process's regional settings, read once at start by the platform layer and passed
// explicitly to every rule that formats or parses, so that no rule depends on a global locale.
struct RegionalSettings {
    std::string decimalSeparator = ".";  // one character, UTF-8
    std::string dateSeparator = "/";
    std::string timeSeparator = ":";
    // The 8-bit code page that new log files and the answer dump are written in.
    std::string ansiCodePage = "UTF-8";
};

}  // namespace vr
