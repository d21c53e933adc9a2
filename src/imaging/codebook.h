// Per-pixel colour codebook of the background (at most two codewords per pixel).
#ifndef OLVAR_IMAGING_CODEBOOK_H
#define OLVAR_IMAGING_CODEBOOK_H

#include <cstdint>
#include <vector>

namespace olvar {

class ZykCB {
public:
    virtual ~ZykCB() = default;

    int CellCount() const { return static_cast<int>(cellCount_); }

private:
    std::vector<uint8_t> cells_;
    int32_t cellCount_ = 0;
    int32_t channels_ = 3;
    int32_t parameters_[3] = {10, 5, 5};
};

}  // namespace olvar

#endif  // OLVAR_IMAGING_CODEBOOK_H
