#include "platform/DynamicLibrary.h"

#include <windows.h>

#include <cstdint>
#include <utility>

#include "common/Error.h"
#include "platform/windows/WindowsText.h"

namespace vr {

namespace {

HMODULE AsModule(void* handle) { return static_cast<HMODULE>(handle); }

void* AsAddress(FARPROC proc) { return reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(proc)); }

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

DynamicLibrary DynamicLibrary::OpenFirst(const std::vector<std::string>& names, const std::string& symbol) {
    NoErrorDialogs quiet;
    std::string failures;
    for (const std::string& name : names) {
        HMODULE module = LoadLibraryW(win::Widen(name).c_str());
        std::string reason;
        if (module == nullptr) {
            reason = win::SystemReason(GetLastError());
        } else if (GetProcAddress(module, symbol.c_str()) == nullptr) {
            // A library of the right name but an older version: say so rather than "missing".
            reason = "a biblioteca não exporta " + symbol + " (versão antiga demais)";
            FreeLibrary(module);
        } else {
            return DynamicLibrary(module, name);
        }
        if (!failures.empty()) failures += "; ";
        failures += name + ": " + reason;
    }
    if (names.empty()) failures = "nenhum nome de biblioteca informado";
    throw Error("Não foi possível carregar a biblioteca cliente (" + failures + ")");
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), name_(std::move(other.name_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) FreeLibrary(AsModule(handle_));
        handle_ = std::exchange(other.handle_, nullptr);
        name_ = std::move(other.name_);
    }
    return *this;
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_ != nullptr) FreeLibrary(AsModule(handle_));
}

void* DynamicLibrary::Symbol(const std::string& name) const {
    return handle_ != nullptr ? AsAddress(GetProcAddress(AsModule(handle_), name.c_str())) : nullptr;
}

std::vector<std::string> FirebirdClientLibraryNames() { return {"fbclient.dll", "fbembed.dll"}; }

}  // namespace vr
