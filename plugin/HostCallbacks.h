#pragma once
// Progress and cancellation for hosts that ask for them through the optional export.

#include "plugin/VELNoiseReduction.h"

namespace vel {

void SetHostCallbacksImpl(VelHostProgressFn progress, void* context,
                          const volatile unsigned char* cancel);
// Called on the host's thread while a run waits for its job.
void ReportHostProgress(const char* status, float percent);
// True when the host's cancel byte is set.
bool HostCancelRequested();

}  // namespace vel
