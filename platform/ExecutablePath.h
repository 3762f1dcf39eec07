#pragma once

#include <filesystem>

namespace vr {

// The running executable's real path (not argv[0], not the working directory). Throws
// vr::Error when it cannot be found.
std::filesystem::path ExecutablePath();

// Its directory, where the INI file, the activity log and the answer dump live.
inline std::filesystem::path ExecutableDirectory() { return ExecutablePath().parent_path(); }

}  // namespace vr
