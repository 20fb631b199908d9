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
typedef void (*VelOpenPluginFn)(int32_t noInteraction, int32_t width, int32_t height, float* pixels,
                                int32_t reserved1, int32_t reserved2, const char* imageProfilePath,
                                const char* displayProfilePath);

/* Optional export for hosts that want progress and cancellation of their runs:
 * SetHostCallbacks(progress, context, cancel). progress (may be null) is called on the
 * host's thread while OpenPlugin waits, with the running job's status text ("Image
 * pre-analysis...", "VEL Noise Reduction...") and percentage; cancel (may be
 * null) points to a byte that the host sets non-zero, from any thread or a signal handler,
 * to cancel the running job. Stays in force until called again; pass nulls to remove. */
typedef void (*VelHostProgressFn)(void* context, const char* status, float percent);
typedef void (*VelSetHostCallbacksFn)(VelHostProgressFn progress, void* context,
                                      const volatile unsigned char* cancel);

/* Optional export: what the last OpenPlugin call did. The pixels of any result but
 * VEL_RUN_COMPLETED are exactly what the host passed. */
#define VEL_RUN_NONE (-1)   /* no OpenPlugin call yet (or one refused while a run waits) */
#define VEL_RUN_COMPLETED 0 /* the pixels hold the result */
#define VEL_RUN_CANCELLED                                          \
    1 /* the user cancelled: in the dialog, the progress window or \
       * through the host's cancel byte */
#define VEL_RUN_NOT_POSSIBLE                                        \
    2 /* the run could not happen: no settings dialog can be shown, \
       * bad arguments, not enough memory, a failed job */
typedef int32_t (*VelGetLastRunResultFn)(void);

/* Optional export: the noise levels the latest analysis measured (the settings dialog's
 * pre-analysis or a run's whole-image analysis), on the 0..255 scale of the Y, U and V
 * planes. Entry channel * (4 * S) + level * S + band for channel 0..2 (Y, U, V), level 0..3
 * (0 finest) and band 0..S-1, where band 0 is the level's smooth band and bands 1.. its
 * detail bands; S = 2, or 4 when the analysis ran with "High Quality". Copies up to
 * capacity entries into levels (null when capacity is 0) and gives the number of entries:
 * 48 after an analysis, 0 when there is none (a silent run without "Reanalyze Whole"
 * empties it). */
typedef int32_t (*VelGetNoiseProfileFn)(float* levels, int32_t capacity);

#ifdef __cplusplus
}
#endif

#endif
