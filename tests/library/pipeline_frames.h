// Frame helpers for the frame pipeline tests: camera noise, an uneven light change, host
// frame bytes, and the comparison of a foreground mask with a silhouette at working resolution.
#ifndef OLVAR_TESTS_LIBRARY_PIPELINE_FRAMES_H
#define OLVAR_TESTS_LIBRARY_PIPELINE_FRAMES_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace olvar::frames {

// Adds Gaussian camera noise of the given deviation to every channel.
inline cv::Mat WithNoise(const cv::Mat& clean, double sigma, cv::RNG& rng) {
    cv::Mat noise(clean.size(), CV_16SC3);
    rng.fill(noise, cv::RNG::NORMAL, 0, sigma);
    cv::Mat noisy;
    cv::add(clean, noise, noisy, cv::noArray(), CV_8UC3);
    return noisy;
}

// Multiplies the brightness by a gain that grows from `left` at column 0 to `right` at the
// last column (a light change that is uneven across the room).
inline cv::Mat WithLightGain(const cv::Mat& image, double left, double right) {
    cv::Mat out(image.size(), image.type());
    for (int x = 0; x < image.cols; ++x) {
        const double gain = left + (right - left) * x / std::max(1, image.cols - 1);
        image.col(x).convertTo(out.col(x), CV_8UC3, gain);
    }
    return out;
}

// The frame as a host hands it over: packed rows of 3 bytes per pixel.
inline std::vector<unsigned char> HostBytes(const cv::Mat& frame) {
    const cv::Mat packed = frame.isContinuous() ? frame : frame.clone();
    return std::vector<unsigned char>(packed.data, packed.data + packed.total() * 3);
}

// The silhouette at working resolution: a working pixel belongs to the person when the person
// covers at least half of it.
inline cv::Mat WorkingSilhouette(const cv::Mat& silhouette, cv::Size working) {
    cv::Mat scaled;
    silhouette.convertTo(scaled, CV_32F);
    cv::resize(scaled, scaled, working, 0, 0, cv::INTER_AREA);
    cv::Mat mask = scaled >= 0.5;
    return mask / 255;
}

// Intersection over union of two masks (non-zero = set); 1 when both are empty.
inline double IntersectionOverUnion(const cv::Mat& a, const cv::Mat& b) {
    const cv::Mat setA = a != 0, setB = b != 0;
    const int both = cv::countNonZero(setA & setB);
    const int either = cv::countNonZero(setA | setB);
    return either == 0 ? 1.0 : static_cast<double>(both) / either;
}

}  // namespace olvar::frames

#endif  // OLVAR_TESTS_LIBRARY_PIPELINE_FRAMES_H
