#pragma once

// The operating system's primitives under DynamicLibrary, one implementation per system; the
// order of names and the failure texts are DynamicLibrary's own, the same everywhere.

#include <string>
#include <vector>

namespace vr::loader {

// One place a library of a given name is looked for: what to load, and how a failure names it.
struct Candidate {
    std::string file;
    std::string shown;
};
// The places a library of this name is looked for, in order.
std::vector<Candidate> Candidates(const std::string& name);

// Loads the candidate's file; on failure returns nullptr and sets reason to the system's
// description (and what the system leaves unsaid, such as a library built for another machine).
void* Load(const Candidate& candidate, std::string& reason);
// The exported symbol's address, or nullptr.
void* Find(void* handle, const std::string& symbol);
// The full path of the file the handle was loaded from.
std::string PathOf(void* handle);
void Unload(void* handle);

}  // namespace vr::loader
