#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <utility>

#include "common/Error.h"

namespace vr {

namespace {

std::string LastDlError() {
    const char* text = dlerror();
    return text != nullptr ? text : "erro desconhecido";
}

}  // namespace

DynamicLibrary DynamicLibrary::OpenFirst(const std::vector<std::string>& names, const std::string& symbol) {
    std::string failures;
    for (const std::string& name : names) {
        void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        std::string reason;
        if (handle == nullptr) {
            reason = LastDlError();
        } else if (dlsym(handle, symbol.c_str()) == nullptr) {
            // A library of the right name but an older version: say so rather than "missing".
            reason = "a biblioteca não exporta " + symbol + " (versão antiga demais)";
            dlclose(handle);
            handle = nullptr;
        } else {
            return DynamicLibrary(handle, name);
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
        if (handle_ != nullptr) dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        name_ = std::move(other.name_);
    }
    return *this;
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
}

void* DynamicLibrary::Symbol(const std::string& name) const {
    return handle_ != nullptr ? dlsym(handle_, name.c_str()) : nullptr;
}

std::vector<std::string> FirebirdClientLibraryNames() { return {"libfbclient.so.2", "libfbclient.so"}; }

}  // namespace vr
