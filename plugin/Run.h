#pragma once
// One processing run on the working image, and the guard that keeps the exports from
// running into each other.

#include <cstdint>
#include <optional>

namespace vel {

class PlaneImage;
struct PluginInstance;

inline constexpr int32_t kRunCompleted = 0;
inline constexpr int32_t kRunCancelled = 1;
inline constexpr int32_t kRunNotPossible = 2;

// Settings (dialog or current), R,G,B -> Y,U,V, optional whole-image analysis, reduction,
// back to R,G,B. kRunCompleted when the image holds the result; otherwise (cancelled by the
// user, or not possible: no dialog, a failed job) it holds no usable result.
// The instance's settings, profile, host callbacks and steps are the run's.
int32_t RunPlugin(PluginInstance& instance, PlaneImage& image, bool showSettingsDialog,
                  bool showProgress, const char* imageProfilePath, const char* displayProfilePath);

// Whether a run of a width x height picture (sides > 0) on `threads` engine threads certainly
// cannot have its memory: the three working planes do not fit in one block of at most
// largestBlock bytes, or the planes and the tiles' least scratch exceed `available` bytes of
// address space (empty: unknown, never too little). Computed without overflow.
bool RunCannotFit(int32_t width, int32_t height, int32_t threads, uint64_t largestBlock,
                  std::optional<uint64_t> available);

// The body of the OpenPlugin export: the host buffer changes only when a run completes.
// Gives kRunCompleted, kRunCancelled or kRunNotPossible; a picture that cannot fit (RunCannotFit
// with this process's limits) is refused before anything is allocated for it.
int32_t OpenPluginImpl(PluginInstance& instance, int32_t noInteraction, int32_t width,
                       int32_t height, float* pixels, const char* imageProfilePath,
                       const char* displayProfilePath);

// Held while an export works on the instance. A call that finds it taken (a second call while
// a run waits, from a callback or another thread) must return at once.
class ExportGuard {
  public:
    explicit ExportGuard(PluginInstance& instance);
    ~ExportGuard();
    ExportGuard(const ExportGuard&) = delete;
    ExportGuard& operator=(const ExportGuard&) = delete;
    bool Acquired() const { return acquired_; }

  private:
    PluginInstance& instance_;
    bool acquired_;
};

}  // namespace vel
