#include <dlfcn.h>

#include "platform/DynamicLibrary.h"
#include "platform/LibraryLoader.h"

namespace vr {

namespace loader {

void* Load(const std::string& name, std::string& reason) {
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = dlerror();
        reason = text != nullptr ? text : "erro desconhecido";
    }
    return handle;
}

void* Find(void* handle, const std::string& symbol) { return dlsym(handle, symbol.c_str()); }

void Unload(void* handle) { dlclose(handle); }

}  // namespace loader

std::vector<std::string> FirebirdClientLibraryNames() { return {"libfbclient.so.2", "libfbclient.so"}; }

}  // namespace vr
