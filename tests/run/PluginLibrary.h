#pragma once
// The plug-in library loaded at run time, as a host loads it; unloaded when the object goes.

#ifdef _WIN32
#include "platform/win32/WinApi.h"
#else
#include <dlfcn.h>
#endif

#include <cstring>
#include <memory>
#include <type_traits>

namespace vel::test {

class PluginLibrary {
  public:
#ifdef _WIN32
    explicit PluginLibrary(const char* path) : handle_(LoadLibraryA(path)) {}
#else
    explicit PluginLibrary(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
#endif
    bool Loaded() const {
        return handle_ != nullptr;
    }

    // The export as the function type Fn; null without it or without the library.
    template <typename Fn>
    Fn Find(const char* name) const {
#ifdef _WIN32
        FARPROC symbol = handle_ ? GetProcAddress(handle_.get(), name) : nullptr;
#else
        void* symbol = handle_ ? dlsym(handle_.get(), name) : nullptr;
#endif
        Fn fn = nullptr;
        static_assert(sizeof fn == sizeof symbol);
        std::memcpy(&fn, &symbol, sizeof fn);
        return fn;
    }

  private:
#ifdef _WIN32
    struct Unload {
        void operator()(HMODULE handle) const { FreeLibrary(handle); }
    };
    std::unique_ptr<std::remove_pointer_t<HMODULE>, Unload> handle_;
#else
    struct Unload {
        void operator()(void* handle) const { dlclose(handle); }
    };
    std::unique_ptr<void, Unload> handle_;
#endif
};

}  // namespace vel::test
