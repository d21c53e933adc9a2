// A 0/1 mask together with its integral array: the form in which the palm analysis hands masks
// to its steps.
#ifndef OLVAR_PALM_MASK_VIEW_H
#define OLVAR_PALM_MASK_VIEW_H

#include <cstdint>

#include <opencv2/core.hpp>

#include "imaging/integral.h"

namespace olvar {

struct MaskView {
    // The integral must hold one entry per pixel of the mask.
    MaskView(const cv::Mat& m, const int32_t* i) : mask(m), integral(i) {}
    // An integral of another size than the mask is not used: the view reads no density.
    MaskView(const cv::Mat& m, const Integral& i)
        : mask(m),
          integral(i.size() == static_cast<size_t>(m.cols) * m.rows && !i.empty() ? i.data()
                                                                                  : nullptr) {}

    const cv::Mat& mask;
    const int32_t* integral;

    // BoxDensity over this mask (0 when the view has no usable integral).
    double Density(double x, double y, double length, double width, double angle) const;
};

}  // namespace olvar

#endif  // OLVAR_PALM_MASK_VIEW_H
