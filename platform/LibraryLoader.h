#pragma once

// The operating system's primitives under DynamicLibrary, one implementation per system; the
// search order and the failure texts are DynamicLibrary's own, the same everywhere.

#include <string>

namespace vr::loader {

// Loads the library by name the platform's standard way; on failure returns nullptr and sets
// reason to the system's description.
void* Load(const std::string& name, std::string& reason);
// The exported symbol's address, or nullptr.
void* Find(void* handle, const std::string& symbol);
void Unload(void* handle);

}  // namespace vr::loader
