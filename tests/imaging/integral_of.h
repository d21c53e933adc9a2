// The integral of a small test mask, for tests that sample masks through the box-sum helpers.
#ifndef OLVAR_TESTS_IMAGING_INTEGRAL_OF_H
#define OLVAR_TESTS_IMAGING_INTEGRAL_OF_H

#include <opencv2/core.hpp>

#include "imaging/integral.h"

namespace olvar::test_imaging {

inline Integral IntegralOf(const cv::Mat& mask) {
    Integral integral;
    BuildIntegral(integral, mask);
    return integral;
}

}  // namespace olvar::test_imaging

#endif
