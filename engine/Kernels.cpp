#include "engine/Kernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace vel {
namespace {

bool CpuHasAvx2() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    // GCC's check includes the system's saving of the AVX registers (XCR0).
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
}

const KernelSet* Choose(KernelChoice choice) {
    switch (choice) {
        case KernelChoice::Avx2:
            return CpuHasAvx2() ? Avx2Kernels() : nullptr;
        case KernelChoice::Sse2:
            return Sse2Kernels();
        case KernelChoice::Reference:
            break;
    }
    return nullptr;
}

const KernelSet* DefaultKernels() {
    if (ReferenceForcedByEnvironment()) {
        return nullptr;
    }
    if (const KernelSet* avx2 = Choose(KernelChoice::Avx2)) {
        return avx2;
    }
    return Choose(KernelChoice::Sse2);
}

struct Selection {
    std::atomic<bool> forced{false};
    std::atomic<const KernelSet*> set{nullptr};
};

Selection& Selected() {
    static Selection selection;
    return selection;
}

}  // namespace

bool ReferenceForcedByEnvironment() {
    const char* forced = std::getenv("VELNR_REFERENCE");
    return forced && std::strcmp(forced, "") != 0 && std::strcmp(forced, "0") != 0;
}

const KernelSet* ActiveKernels() {
    static const KernelSet* const kDefault = DefaultKernels();
    const Selection& s = Selected();
    return s.forced.load(std::memory_order_acquire) ? s.set.load(std::memory_order_acquire)
                                                    : kDefault;
}

const WaveletKernels* ActiveWaveletKernels() {
    const KernelSet* set = ActiveKernels();
    return set ? set->wavelet : nullptr;
}

bool KernelsAvailable(KernelChoice choice) {
    return choice == KernelChoice::Reference || Choose(choice) != nullptr;
}

bool SelectKernels(KernelChoice choice) {
    if (!KernelsAvailable(choice)) {
        return false;
    }
    Selection& s = Selected();
    s.set.store(Choose(choice), std::memory_order_release);
    s.forced.store(true, std::memory_order_release);
    return true;
}

void ResetKernels() {
    Selected().forced.store(false, std::memory_order_release);
}

}  // namespace vel
