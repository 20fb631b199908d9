#pragma once
// Loading a module of this program's own at run time (POSIX systems: the dialogs' module).

#include <string>

namespace vel::platform {

// The module fileName from the folder of the module that holds anchor (a function of the
// caller's), loaded for good; null when it cannot be, with the reason in error. path receives
// the file tried.
void* LoadModuleBeside(const void* anchor, const char* fileName, std::string& path,
                       std::string& error);
// The address of an exported symbol, or null.
void* ModuleSymbol(void* module, const char* name);

}  // namespace vel::platform
