#pragma once

#include <filesystem>

namespace vr {

// The directory of the running executable's real path (not the working directory), where the
// INI file, the activity log and the answer dump live. Throws vr::Error when it cannot be found.
std::filesystem::path ExecutableDirectory();

}  // namespace vr
