#include <windows.h>

#include <cstdint>

#include "platform/DynamicLibrary.h"
#include "platform/LibraryLoader.h"
#include "platform/windows/WindowsText.h"

namespace vr {

namespace {

HMODULE AsModule(void* handle) { return static_cast<HMODULE>(handle); }

// A library whose own dependencies are missing would otherwise show a dialog that nobody sees
// in a service and that blocks the load until dismissed.
class NoErrorDialogs {
public:
    NoErrorDialogs() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_); }
    ~NoErrorDialogs() { SetThreadErrorMode(old_, nullptr); }
    NoErrorDialogs(const NoErrorDialogs&) = delete;
    NoErrorDialogs& operator=(const NoErrorDialogs&) = delete;

private:
    DWORD old_ = 0;
};

}  // namespace

namespace loader {

void* Load(const std::string& name, std::string& reason) {
    const NoErrorDialogs quiet;
    HMODULE module = LoadLibraryW(win::Widen(name).c_str());
    if (module == nullptr) reason = win::SystemReason(GetLastError());
    return module;
}

void* Find(void* handle, const std::string& symbol) {
    return reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(GetProcAddress(AsModule(handle), symbol.c_str())));
}

void Unload(void* handle) { FreeLibrary(AsModule(handle)); }

}  // namespace loader

std::vector<std::string> FirebirdClientLibraryNames() { return {"fbclient.dll", "fbembed.dll"}; }

}  // namespace vr
