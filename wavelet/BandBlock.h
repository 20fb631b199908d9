#pragma once
// Storage for the band table of one plane: one block of levels * S full-size planes and the
// table pointing into it (entry i at float offset i * (width * height + a small gap)).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "wavelet/Wavelet.h"

namespace vel {

class BandBlock {
  public:
    // Throws std::bad_alloc when the block cannot be had (including a size that does not fit
    // in memory at all). Sizes or a level count below 1 give an empty block. The samples
    // start undefined: WaveletDecompose writes every one of them.
    BandBlock(int32_t width, int32_t height, int32_t levels, WaveletKind kind);

    BandTable table() const { return table_.data(); }
    // Band b of level j.
    float* band(int32_t level, int32_t b) const {
        return table_[static_cast<size_t>(level) * static_cast<size_t>(bandsPerLevel_) +
                      static_cast<size_t>(b)];
    }
    // DirectionalScratchFloats for the block's size and levels (null for Isotropic): the rows
    // WaveletDecompose's directional kernels keep.
    float* scratch() const { return scratch_.get(); }
    int32_t levels() const { return levels_; }
    int32_t bandsPerLevel() const { return bandsPerLevel_; }
    size_t planeSize() const { return planeSize_; }

  private:
    std::unique_ptr<float[]> storage_;
    std::unique_ptr<float[]> scratch_;
    std::vector<float*> table_;
    size_t planeSize_ = 0;
    int32_t levels_ = 0;
    int32_t bandsPerLevel_ = 0;
};

}  // namespace vel
