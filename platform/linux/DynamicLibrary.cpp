#include <dlfcn.h>
#include <link.h>

#include "platform/DynamicLibrary.h"
#include "platform/LibraryLoader.h"

namespace vr {

namespace loader {

// The name alone, searched the dynamic linker's way.
std::vector<Candidate> Candidates(const std::string& name) { return {{name, name}}; }

void* Load(const Candidate& candidate, std::string& reason) {
    void* handle = dlopen(candidate.file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = dlerror();
        reason = text != nullptr ? text : "erro desconhecido";
    }
    return handle;
}

void* Find(void* handle, const std::string& symbol) { return dlsym(handle, symbol.c_str()); }

std::string PathOf(void* handle) {
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) return {};
    return map->l_name;
}

void Unload(void* handle) { dlclose(handle); }

}  // namespace loader

std::vector<std::string> FirebirdClientLibraryNames() { return {"libfbclient.so.2", "libfbclient.so"}; }

}  // namespace vr
