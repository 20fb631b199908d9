#include "engine/Kernels.h"

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

}  // namespace

const KernelSet* KernelsFor(KernelChoice choice) {
    return Choose(choice);
}

bool KernelsAvailable(KernelChoice choice) {
    return choice == KernelChoice::Reference || Choose(choice) != nullptr;
}

const KernelSet* BestKernels() {
    if (const KernelSet* avx2 = Choose(KernelChoice::Avx2)) {
        return avx2;
    }
    return Choose(KernelChoice::Sse2);
}

}  // namespace vel
