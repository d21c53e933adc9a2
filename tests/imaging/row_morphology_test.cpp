// The one-row erosion and dilation against OpenCV's 3 x 3 morphology on a one-row image (default
// element and border), which the finger length probe used before.
#include <gtest/gtest.h>

#include <vector>

#include <opencv2/imgproc.hpp>

#include "imaging/mask_cleanup.h"

namespace olvar {
namespace {

TEST(RowMorphology, MatchesOpenCvOnOneRowImages) {
    cv::RNG rng(77);
    const int lengths[] = {1, 2, 3, 7, 40, 130};
    const int iterations[] = {1, 2, 3, 5, 17};
    for (const int length : lengths) {
        for (const int n : iterations) {
            for (int trial = 0; trial < 5; ++trial) {
                SCOPED_TRACE(testing::Message() << length << " pixels, " << n << " steps");
                cv::Mat row(1, length, CV_8UC1);
                rng.fill(row, cv::RNG::UNIFORM, 0, 2);  // a 0/1 run with gaps and specks
                std::vector<uint8_t> ours(row.ptr<uint8_t>(0), row.ptr<uint8_t>(0) + length);
                std::vector<uint8_t> scratch(length);
                cv::Mat expected;
                cv::dilate(row, expected, cv::Mat(), cv::Point(-1, -1), n);
                DilateRow(ours.data(), length, n, scratch.data());
                EXPECT_EQ(cv::countNonZero(cv::Mat(1, length, CV_8UC1, ours.data()) != expected),
                          0);
                cv::erode(expected, expected, cv::Mat(), cv::Point(-1, -1), n);
                ErodeRow(ours.data(), length, n, scratch.data());
                EXPECT_EQ(cv::countNonZero(cv::Mat(1, length, CV_8UC1, ours.data()) != expected),
                          0);
            }
        }
    }
}

}  // namespace
}  // namespace olvar
