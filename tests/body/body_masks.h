// Small hand-made masks at the working size for the body-part tests.
#ifndef OLVAR_TESTS_BODY_BODY_MASKS_H
#define OLVAR_TESTS_BODY_BODY_MASKS_H

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/integral.h"
#include "imaging/integral_of.h"

namespace olvar::test_masks {

constexpr int kW = 200, kH = 150;

using test_imaging::IntegralOf;

// A head on a torso block: shoulder line at row y, torso half-width t, the block reaching the
// bottom of the frame.
inline cv::Mat Body(int cx, int y, int t) {
    cv::Mat mask = cv::Mat::zeros(kH, kW, CV_8UC1);
    cv::rectangle(mask, cv::Point(cx - t, y), cv::Point(cx + t, kH - 1), cv::Scalar(1), cv::FILLED);
    cv::rectangle(mask, cv::Point(cx - t / 3, y - 2 * t), cv::Point(cx + t / 3, y), cv::Scalar(1),
                  cv::FILLED);
    return mask;
}

}  // namespace olvar::test_masks

#endif  // OLVAR_TESTS_BODY_BODY_MASKS_H
