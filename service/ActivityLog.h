#pragma once

#include <filesystem>
#include <string_view>

#include "common/Clock.h"
#include "common/RegionalSettings.h"

namespace vr {

// The operators' activity log: VevoveRazara.log in the given directory, one timestamped entry
// per event.
class ActivityLog {
public:
    ActivityLog(std::filesystem::path directory, RegionalSettings settings, const Clock& clock);

    // Appends one entry for message. Throws vr::Error when the file cannot be written.
    void Append(std::string_view message);

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    RegionalSettings settings_;
    const Clock& clock_;
};

}  // namespace vr
