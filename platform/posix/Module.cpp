#include "platform/Module.h"

#include <dlfcn.h>

namespace vel::platform {

void* LoadModuleBeside(const void* anchor, const char* fileName, std::string& path,
                       std::string& error) {
    Dl_info self{};
    path = fileName;
    if (dladdr(anchor, &self) && self.dli_fname) {
        const std::string library(self.dli_fname);
        const size_t slash = library.rfind('/');
        if (slash != std::string::npos) {
            path = library.substr(0, slash + 1) + path;
        }
    }
    // Never unloaded: a window toolkit cannot be.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!module) {
        const char* reason = dlerror();
        error = reason ? reason : "unknown error";
    }
    return module;
}

void* ModuleSymbol(void* module, const char* name) {
    return module ? dlsym(module, name) : nullptr;
}

}  // namespace vel::platform
