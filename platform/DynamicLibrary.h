#pragma once

// Loading shared libraries by name at run time, so that a missing library is an error of the
// operation that needs it, not a failure to start the program.

#include <string>
#include <utility>
#include <vector>

namespace vr {

class DynamicLibrary {
public:
    // Loads the first of names that loads and exports symbol, each name looked for where the
    // platform looks for it. Throws vr::Error naming every attempt and why it failed.
    static DynamicLibrary OpenFirst(const std::vector<std::string>& names, const std::string& symbol);

    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;
    ~DynamicLibrary();  // unloads the library

    // The address of an exported symbol, or nullptr when the library does not export it.
    void* Symbol(const std::string& name) const;
    const std::string& name() const { return name_; }
    // The file that was loaded, with its full path.
    const std::string& path() const { return path_; }

private:
    DynamicLibrary(void* handle, std::string name, std::string path)
        : handle_(handle), name_(std::move(name)), path_(std::move(path)) {}
    void* handle_ = nullptr;
    std::string name_;
    std::string path_;
};

// The names under which the Firebird client library is looked for, in order.
std::vector<std::string> FirebirdClientLibraryNames();

}  // namespace vr
