#pragma once
// One allocation holding the sub-band planes of a decomposition, with the band table that
// points into it: entry i is plane i.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "wavelet/Wavelet.h"

namespace vel {

class SubbandBlock {
  public:
    // planes planes of planeSize floats each; contents are left for the decomposition to write.
    SubbandBlock(int32_t planes, size_t planeSize)
        : samples_(
              std::make_unique_for_overwrite<float[]>(static_cast<size_t>(planes) * planeSize)),
          table_(std::make_unique<float*[]>(static_cast<size_t>(planes))) {
        for (int32_t i = 0; i < planes; ++i) {
            table_[static_cast<size_t>(i)] = samples_.get() + static_cast<size_t>(i) * planeSize;
        }
    }

    BandTable Table() const { return table_.get(); }
    float* Plane(int32_t i) const { return table_[static_cast<size_t>(i)]; }

  private:
    std::unique_ptr<float[]> samples_;
    std::unique_ptr<float*[]> table_;
};

}  // namespace vel
