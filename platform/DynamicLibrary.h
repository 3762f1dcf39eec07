#pragma once

// Loading shared libraries by name at run time, so that a missing library is an error of the
// operation that needs it, not a failure to start the program.

#include <string>
#include <utility>
#include <vector>

namespace vr {

class DynamicLibrary {
public:
    // Loads the first of names that loads and exports symbol (searched the platform's standard
    // way). Throws vr::Error naming every attempt and why it failed.
    static DynamicLibrary OpenFirst(const std::vector<std::string>& names, const std::string& symbol);

    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    ~DynamicLibrary();  // unloads the library

    // The address of an exported symbol, or nullptr when the library does not export it.
    void* Symbol(const std::string& name) const;
    const std::string& name() const { return name_; }

private:
    DynamicLibrary(void* handle, std::string name) : handle_(handle), name_(std::move(name)) {}
    void* handle_ = nullptr;
    std::string name_;
};

// The names under which the Firebird client library is looked for, in order.
std::vector<std::string> FirebirdClientLibraryNames();

}  // namespace vr
