// Deliberately wrong plug-in DLLs, so that the table check is seen to fail:
// VELNR_EXTRA_EXPORT adds an export beyond the list; VELNR_FOREIGN_IMPORT imports a non-system DLL.

#include <cstdint>

extern "C" {

#ifdef VELNR_FOREIGN_IMPORT
__declspec(dllimport) int VelnrDependency(void);
#endif

const char* GetName(void) {
#ifdef VELNR_FOREIGN_IMPORT
    return VelnrDependency() ? "a" : "b";
#else
    return "probe";
#endif
}
void GetSettings(const char*, int32_t) {}
void SetSettings(const char*, int32_t) {}
void OpenPlugin(int32_t, int32_t, int32_t, float*, int32_t, int32_t, const char*, const char*) {}
void SetHostCallbacks(void*, void*, const volatile unsigned char*) {}
int32_t GetLastRunResult(void) {
    return 0;
}
int32_t GetNoiseProfile(float*, int32_t) {
    return 0;
}

#ifdef VELNR_EXTRA_EXPORT
__declspec(dllexport) int Extra(void) {
    return 1;
}
#endif

#ifdef VELNR_DEPENDENCY
__declspec(dllexport) int VelnrDependency(void) {
    return 1;
}
#endif
}
