#pragma once

// What the fuzz targets share: a failed property aborts with a message, which libFuzzer reports
// as a crash and keeps the input of; the two locales every text is read under.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/RegionalSettings.h"

namespace vr::fuzz {

[[noreturn]] inline void Fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "property failed: %s\n%.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

inline void Check(bool condition, const char* what, std::string_view detail = {}) {
    if (!condition) Fail(what, detail);
}

inline RegionalSettings Locale(std::string_view separator) {
    RegionalSettings settings;
    settings.decimalSeparator = std::string(separator);
    settings.ansiCodePage = "WINDOWS-1252";
    return settings;
}

// Input taken apart into pieces at a byte that seed files can hold: "\x01".
class Pieces {
public:
    Pieces(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}
    std::string_view Next() {
        const std::size_t cut = rest_.find('\x01');
        const std::string_view piece = rest_.substr(0, cut);
        rest_ = cut == std::string_view::npos ? std::string_view() : rest_.substr(cut + 1);
        return piece;
    }
    std::string_view Rest() const { return rest_; }

private:
    std::string_view rest_;
};

}  // namespace vr::fuzz
