#include "platform/DynamicLibrary.h"

#include <utility>

#include "common/Error.h"
#include "platform/LibraryLoader.h"

namespace vr {

DynamicLibrary DynamicLibrary::OpenFirst(const std::vector<std::string>& names, const std::string& symbol) {
    std::string failures;
    for (const std::string& name : names) {
        for (const loader::Candidate& candidate : loader::Candidates(name)) {
            std::string reason;
            void* handle = loader::Load(candidate, reason);
            if (handle != nullptr && loader::Find(handle, symbol) == nullptr) {
                // A library of the right name but an older version: say so rather than "missing".
                reason = "a biblioteca não exporta " + symbol + " (versão antiga demais)";
                loader::Unload(handle);
                handle = nullptr;
            }
            if (handle != nullptr) return DynamicLibrary(handle, name, loader::PathOf(handle));
            if (!failures.empty()) failures += "; ";
            failures += candidate.shown + ": " + reason;
        }
    }
    if (names.empty()) failures = "nenhum nome de biblioteca informado";
    throw Error("Não foi possível carregar a biblioteca cliente (" + failures + ")");
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      name_(std::move(other.name_)),
      path_(std::move(other.path_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) loader::Unload(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        name_ = std::move(other.name_);
        path_ = std::move(other.path_);
    }
    return *this;
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_ != nullptr) loader::Unload(handle_);
}

void* DynamicLibrary::Symbol(const std::string& name) const {
    return handle_ != nullptr ? loader::Find(handle_, name) : nullptr;
}

}  // namespace vr
