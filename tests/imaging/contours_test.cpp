// Outer contours are traced inside the image's one-pixel frame, for whole images and for region
// views alike.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "imaging/contours.h"

namespace olvar {
namespace {

TEST(OuterContours, BlobsAtTheEdgeAreTracedFromInside) {
    struct Case {
        const char* name;
        cv::Rect blob;      // set pixels in a 20 x 15 mask
        cv::Rect expected;  // bounding box of the single contour
    };
    const Case cases[] = {
        {"inside", {5, 4, 6, 5}, {5, 4, 6, 5}},
        {"top-left corner", {0, 0, 6, 5}, {1, 1, 5, 4}},
        {"bottom edge", {5, 10, 6, 5}, {5, 10, 6, 4}},
        {"right edge", {14, 4, 6, 5}, {14, 4, 5, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat mask = cv::Mat::zeros(15, 20, CV_8UC1);
        mask(c.blob).setTo(1);
        const auto contours = FindOuterContours(mask);
        ASSERT_EQ(contours.size(), 1u);
        EXPECT_EQ(cv::boundingRect(contours[0]), c.expected);
    }
}

TEST(OuterContours, RegionViewHasItsOwnFrame) {
    // A block crossing the view's left edge: the view's first column is cleared in the parent
    // image, the parent's pixels outside the view are untouched.
    cv::Mat image = cv::Mat::zeros(15, 20, CV_8UC1);
    image(cv::Rect(6, 4, 6, 5)).setTo(1);
    cv::Mat view = image(cv::Rect(8, 0, 12, 15));
    const auto contours = FindOuterContours(view);
    ASSERT_EQ(contours.size(), 1u);
    EXPECT_EQ(cv::boundingRect(contours[0]), cv::Rect(1, 4, 3, 5));
    EXPECT_EQ(image.at<uint8_t>(6, 8), 0);
    EXPECT_EQ(image.at<uint8_t>(6, 7), 1);
}

TEST(OuterContours, EmptyMaskHasNone) {
    cv::Mat empty;
    EXPECT_TRUE(FindOuterContours(empty).empty());
    cv::Mat blank = cv::Mat::zeros(4, 4, CV_8UC1);
    EXPECT_TRUE(FindOuterContours(blank).empty());
}

}  // namespace
}  // namespace olvar
