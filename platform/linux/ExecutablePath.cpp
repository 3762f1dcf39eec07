#include "platform/ExecutablePath.h"

#include <system_error>

#include "common/Error.h"

namespace vr {

std::filesystem::path ExecutablePath() {
    // The kernel's link names the executable itself, whatever the working directory or argv[0].
    std::error_code error;
    std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        throw Error("Não foi possível determinar o caminho do executável: " + error.message());
    }
    return executable;
}

}  // namespace vr
