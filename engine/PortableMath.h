#pragma once
// exp and cos built from IEEE basic operations only (+, -, *, / and exact conversions), so that
// they give the same bits on every platform and compiler. The C libraries do not: glibc,
// the Windows runtimes and x87-based i686 code may differ in the last bit, and the engine's
// gains and blending windows, and through them every output pixel, are built from these two
// functions. Both are accurate to well within one unit in the last place of double.

namespace vel {

// e^x. Overflow gives +inf, underflow 0 (subnormal results are rounded twice, so they may be
// a unit further off), NaN stays NaN, -inf gives 0 and +inf gives +inf.
double PortableExp(double x);

// Largest |x| for which PortableCos reduces its argument itself. Beyond it (never reached by
// the engine, whose phases lie in [0, 2*pi]) it returns the C library's std::cos, whose bits,
// and for huge arguments even its accuracy, then depend on the platform.
inline constexpr double kPortableCosLimit = 524288.0;  // 2^19

// cos x. NaN and +-inf give NaN.
double PortableCos(double x);

}  // namespace vel
