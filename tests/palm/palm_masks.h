// Small hand-made masks for the palm tests: a palm disc with fingers as thick strokes.
#ifndef OLVAR_TESTS_PALM_PALM_MASKS_H
#define OLVAR_TESTS_PALM_PALM_MASKS_H

#include <cmath>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "imaging/integral.h"
#include "imaging/integral_of.h"

namespace olvar::palm_masks {

using test_imaging::IntegralOf;

inline cv::Mat Blank(int width, int height) {
    return cv::Mat::zeros(height, width, CV_8UC1);
}

// A filled disc of value 1.
inline void Disc(cv::Mat& mask, cv::Point centre, int radius) {
    cv::circle(mask, centre, radius, cv::Scalar(1), cv::FILLED);
}

// A stroke of value 1 from `from` along `angle` (0 image-right, pi/2 image-up).
inline void Stroke(cv::Mat& mask, cv::Point from, double angle, double length, int thickness) {
    const cv::Point to(static_cast<int>(from.x + length * std::cos(angle)),
                       static_cast<int>(from.y - length * std::sin(angle)));
    cv::line(mask, from, to, cv::Scalar(1), thickness);
}

// An open hand pointing up: a palm disc of radius r at `centre` and four fingers of 1.8 r whose
// roots lie across the top of the palm (0.55 r apart), fanning out by 0.2 rad each.
inline cv::Point FingerRoot(cv::Point centre, int r, int finger) {
    return {static_cast<int>(centre.x + (finger - 1.5) * 0.55 * r),
            static_cast<int>(centre.y - 0.75 * r)};
}
inline double FingerAngle(int finger) {
    return 1.5707963267948966 - (finger - 1.5) * 0.2;
}
inline void OpenHand(cv::Mat& mask, cv::Point centre, int r) {
    Disc(mask, centre, r);
    for (int f = 0; f < 4; ++f) {
        Stroke(mask, FingerRoot(centre, r, f), FingerAngle(f), 1.8 * r, std::max(2, r / 3));
    }
}

}  // namespace olvar::palm_masks

#endif  // OLVAR_TESTS_PALM_PALM_MASKS_H
