/* The plug-in's C interface, as a host sees it. Hosts load the library at run time and look
 * these names up (dlsym / GetProcAddress); the typedefs give the pointer types. All exports
 * use the C calling convention (cdecl on 32-bit Windows) and undecorated names. The exports
 * are not re-entrant: call them from one thread, never while OpenPlugin runs. */
#ifndef VEL_NOISE_REDUCTION_H
#define VEL_NOISE_REDUCTION_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* "VEL Noise Reduction"; the same pointer on every call; never freed by the caller. */
typedef const char* (*VelGetNameFn)(void);
/* Store the current settings into section "VEL Noise Reduction <slot>" of the file. */
typedef void (*VelGetSettingsFn)(const char* settingsPath, int32_t slot);
/* Load the current settings from section "VEL Noise Reduction <slot>" of the file. */
typedef void (*VelSetSettingsFn)(const char* settingsPath, int32_t slot);
/* Process width x height interleaved float RGB pixels (nominal 0..1) in place. Only the low
 * byte of noInteraction counts: non-zero runs silently with the current settings. reserved1
 * and reserved2 are accepted and ignored. The profiles serve the interactive preview only.
 * After a cancelled or failed run the pixels are exactly what the host passed. */
typedef void (*VelOpenPluginFn)(int32_t noInteraction, int32_t width, int32_t height,
                                float* pixels, int32_t reserved1, int32_t reserved2,
                                const char* imageProfilePath, const char* displayProfilePath);

/* Optional export for hosts that want progress and cancellation of their runs:
 * SetHostCallbacks(progress, context, cancel). progress (may be null) is called on the
 * host's thread while OpenPlugin waits, with the running job's status text ("Image
 * pre-analysis...", "VEL Noise Reduction...") and percentage; cancel (may be
 * null) points to a byte that the host sets non-zero, from any thread or a signal handler,
 * to cancel the running job. Stays in force until called again; pass nulls to remove. */
typedef void (*VelHostProgressFn)(void* context, const char* status, float percent);
typedef void (*VelSetHostCallbacksFn)(VelHostProgressFn progress, void* context,
                                      const volatile unsigned char* cancel);

#ifdef __cplusplus
}
#endif

#endif
