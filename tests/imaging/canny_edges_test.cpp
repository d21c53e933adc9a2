// The kept-buffer Canny detector against OpenCV's, run the way the palm's edge map was built
// before: the grey rectangle copied into a cleared image and cv::Canny (aperture 3, L1) run on
// that rectangle as a view, in place (OpenCV's detector sees the view alone: it repeats the
// view's border pixels, it does not read the zeros around it).
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "imaging/canny_edges.h"

namespace olvar {
namespace {

cv::Mat OpenCvEdges(const cv::Mat& grey, cv::Rect roi, int low, int high) {
    cv::Mat edges = cv::Mat::zeros(grey.size(), CV_8UC1);
    const cv::Rect r = roi & cv::Rect(0, 0, grey.cols, grey.rows);
    if (!r.empty()) {
        grey(r).copyTo(edges(r));
        cv::Mat view = edges(r);
        cv::Canny(view, view, low, high, 3, false);
    }
    return edges;
}

// Scenes with every kind of edge: blobs of several contrasts (straight, diagonal and curved
// boundaries, ties between equal gradients), thin strokes, smooth ramps and noise.
cv::Mat Scene(int kind, cv::Size size) {
    cv::Mat grey(size, CV_8UC1, cv::Scalar(40));
    cv::RNG rng(1234 + kind);
    switch (kind) {
        case 0:  // axis-aligned squares: exact ties along straight edges
            grey(cv::Rect(10, 10, 30, 20)).setTo(200);
            grey(cv::Rect(60, 15, 25, 25)).setTo(110);
            break;
        case 1:  // a hand-like blob: disc and rounded strokes at many angles
            cv::circle(grey, {60, 60}, 18, cv::Scalar(190), cv::FILLED, cv::LINE_AA);
            for (int f = 0; f < 5; ++f) {
                const double a = 0.5 + 0.45 * f;
                cv::line(grey, {60, 60},
                         {60 + static_cast<int>(40 * std::cos(a)),
                          60 - static_cast<int>(40 * std::sin(a))},
                         cv::Scalar(170 + 10 * f), 5, cv::LINE_AA);
            }
            break;
        case 2: {  // smoothed noise: many weak ridges that hysteresis must join or drop
            cv::Mat noise(size, CV_8UC1);
            rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
            cv::GaussianBlur(noise, grey, cv::Size(5, 5), 1.2);
            break;
        }
        default:  // a ramp with a bright corner touching the image border
            for (int y = 0; y < size.height; ++y) {
                for (int x = 0; x < size.width; ++x) {
                    grey.at<uint8_t>(y, x) = cv::saturate_cast<uint8_t>(x * 2 + y);
                }
            }
            grey(cv::Rect(size.width - 20, 0, 20, 15)).setTo(250);
            break;
    }
    return grey;
}

TEST(CannyEdges, MatchesOpenCvOnRectanglesAnywhereInTheImage) {
    const cv::Size size(120, 100);
    CannyWork work;  // one work store for every call, as the palm analysis keeps it
    // A camera-size frame, where OpenCV splits its work into stripes.
    for (int kind = 1; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        const cv::Mat big = Scene(kind, cv::Size(640, 480));
        cv::Mat edges = cv::Mat::zeros(big.size(), CV_8UC1);
        CannyEdges(big, cv::Rect(0, 0, 640, 480), 150, 250, &work, edges);
        EXPECT_EQ(cv::countNonZero(edges != OpenCvEdges(big, cv::Rect(0, 0, 640, 480), 150, 250)),
                  0);
    }
    const cv::Rect rois[] = {
        {5, 5, 100, 80},    // inside, with a frame of zeros around it
        {0, 0, 120, 100},   // the whole image: the image border repeats its pixels
        {0, 20, 50, 80},    // touching the left and bottom borders
        {70, 0, 50, 40},    // touching the top and right borders
        {30, 30, 1, 40},    // one pixel wide
        {50, 40, 7, 3},     // tiny
        {-10, -10, 60, 60}  // past the corner: clipped
    };
    const int thresholds[][2] = {{150, 250}, {20, 60}, {250, 150}};
    for (int kind = 0; kind < 4; ++kind) {
        const cv::Mat grey = Scene(kind, size);
        for (const cv::Rect& roi : rois) {
            for (const auto& t : thresholds) {
                SCOPED_TRACE(testing::Message()
                             << "scene " << kind << " roi " << roi << " " << t[0] << "/" << t[1]);
                cv::Mat edges(size, CV_8UC1, cv::Scalar(77));
                edges.setTo(0);
                CannyEdges(grey, roi, t[0], t[1], &work, edges);
                const cv::Mat expected = OpenCvEdges(grey, roi, t[0], t[1]);
                EXPECT_EQ(cv::countNonZero(edges != expected), 0);
            }
        }
    }
}

TEST(CannyEdges, LeavesEverythingOutsideTheRectangleAndRejectsBadImages) {
    const cv::Mat grey = Scene(1, cv::Size(120, 100));
    cv::Mat edges(grey.size(), CV_8UC1, cv::Scalar(9));
    CannyWork work;
    CannyEdges(grey, cv::Rect(20, 20, 50, 50), 150, 250, &work, edges);
    cv::Mat outside = edges.clone();
    outside(cv::Rect(20, 20, 50, 50)).setTo(9);
    EXPECT_EQ(cv::countNonZero(outside != 9), 0);

    cv::Mat wrongSize(50, 50, CV_8UC1, cv::Scalar(9));
    CannyEdges(grey, cv::Rect(0, 0, 40, 40), 150, 250, &work, wrongSize);
    EXPECT_EQ(cv::countNonZero(wrongSize != 9), 0);
    cv::Mat colour(grey.size(), CV_8UC3);
    CannyEdges(colour, cv::Rect(0, 0, 40, 40), 150, 250, &work, edges);
    CannyEdges(grey, cv::Rect(0, 0, 40, 40), 150, 250, nullptr, edges);
    CannyEdges(grey, cv::Rect(200, 200, 40, 40), 150, 250, &work, edges);
    cv::Mat untouched = edges.clone();
    untouched(cv::Rect(20, 20, 50, 50)).setTo(9);
    EXPECT_EQ(cv::countNonZero(untouched != 9), 0) << "the rejected calls wrote nothing";
}

}  // namespace
}  // namespace olvar
