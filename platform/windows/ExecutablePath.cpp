#include "platform/ExecutablePath.h"

#include <windows.h>

#include <string>

#include "common/Error.h"
#include "platform/windows/WindowsText.h"

namespace vr {

std::filesystem::path ExecutablePath() {
    // The loader's own record of the module, whatever the working directory or argv[0]. Paths
    // may exceed MAX_PATH, so the buffer grows until the name fits.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            throw Error("Não foi possível determinar o caminho do executável: " +
                        win::SystemReason(GetLastError()));
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return std::filesystem::path(buffer);
        }
        if (buffer.size() >= 32768) {
            throw Error("Não foi possível determinar o caminho do executável: caminho longo demais");
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace vr
