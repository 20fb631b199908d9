#pragma once
// Large sample buffers (tile bands, whole planes): made without a fill, and on Linux asked to
// sit on huge pages, so that the first touch of each takes a few hundred page faults instead
// of hundreds of thousands and the transforms' strided reads miss the TLB less.

#include <cstddef>
#include <memory>

namespace vel {

// count floats, undefined until written. Throws std::bad_alloc as new does.
std::unique_ptr<float[]> MakeSampleBuffer(size_t count);

}  // namespace vel
