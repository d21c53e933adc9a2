// Integral arrays and the box sums read from them.
//
// Rotated boxes are checked against the region the scan actually covers, recovered pixel by
// pixel with unit masks (a mask holding a single 1 sums to 1 exactly when that pixel is counted),
// and that region is compared with the geometric rectangle.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "imaging/integral.h"

namespace olvar {
namespace {

constexpr double kPi = 3.14159265358979323846;

cv::Mat RandomMask(int W, int H, unsigned seed) {
    std::mt19937 rng(seed);
    cv::Mat mask(H, W, CV_8UC1);
    for (int v = 0; v < H; ++v) {
        for (int u = 0; u < W; ++u) {
            mask.at<uint8_t>(v, u) = static_cast<uint8_t>(rng() & 1u);
        }
    }
    return mask;
}

Integral IntegralOf(const cv::Mat& mask) {
    Integral integral;
    EXPECT_TRUE(BuildIntegral(integral, mask));
    return integral;
}

// Sum of the mask over x0 < u <= x1, y0 < v <= y1, counted pixel by pixel.
int CountExclusiveRect(const cv::Mat& mask, int x0, int y0, int x1, int y1) {
    int sum = 0;
    for (int v = y0 + 1; v <= y1; ++v) {
        for (int u = x0 + 1; u <= x1; ++u) {
            sum += mask.at<uint8_t>(v, u);
        }
    }
    return sum;
}

struct Box {
    double x, y, L, w, theta;
};

std::string Describe(const Box& b) {
    return "box at (" + std::to_string(b.x) + ", " + std::to_string(b.y) + ") L " +
           std::to_string(b.L) + " w " + std::to_string(b.w) + " theta " + std::to_string(b.theta);
}

// The pixels a box's sum counts: pixel p is counted exactly when the box sum over the integral
// of a mask holding only p is 1.
cv::Mat CountedRegion(int W, int H, const Box& b) {
    cv::Mat region = cv::Mat::zeros(H, W, CV_8UC1);
    Integral unit(static_cast<size_t>(W) * H);
    for (int py = 0; py < H; ++py) {
        for (int px = 0; px < W; ++px) {
            for (int y = 0; y < H; ++y) {
                for (int x = 0; x < W; ++x) {
                    unit[static_cast<size_t>(y) * W + x] = (x >= px && y >= py) ? 1 : 0;
                }
            }
            const int sum = BoxSum(W, H, b.x, b.y, b.L, b.w, b.theta, unit.data());
            EXPECT_TRUE(sum == 0 || sum == 1) << Describe(b) << " pixel " << px << "," << py;
            region.at<uint8_t>(py, px) = static_cast<uint8_t>(sum);
        }
    }
    return region;
}

// Position of a pixel in the box's own frame: along the box from the anchor, and across it.
void BoxCoordinates(const Box& b, int u, int v, double* along, double* across) {
    const double c = std::cos(b.theta), s = std::sin(b.theta);
    const double dx = u - b.x, dy = v - b.y;
    *along = dx * c - dy * s;   // direction (cos, -sin)
    *across = dx * s + dy * c;  // perpendicular (sin, cos)
}

// ---------------------------------------------------------------------------------------------
// BuildIntegral

TEST(BuildIntegral, HoldsInclusivePrefixSumsReadWithTheImageRowStep) {
    // A view into a wider image: its row step is larger than its width, and the pixels beside
    // the view must not leak into the sums.
    cv::Mat wide(23, 50, CV_8UC1, cv::Scalar(200));
    cv::Mat image = wide(cv::Rect(5, 0, 37, 23));
    std::mt19937 rng(7);
    for (int v = 0; v < image.rows; ++v) {
        for (int u = 0; u < image.cols; ++u) {
            image.at<uint8_t>(v, u) = static_cast<uint8_t>(rng() % 256);
        }
    }
    ASSERT_GT(image.step[0], static_cast<size_t>(image.cols));

    const Integral integral = IntegralOf(image);
    ASSERT_EQ(integral.size(), static_cast<size_t>(37 * 23));
    for (int y = 0; y < image.rows; ++y) {
        for (int x = 0; x < image.cols; ++x) {
            int expected = 0;
            for (int v = 0; v <= y; ++v) {
                for (int u = 0; u <= x; ++u) {
                    expected += image.at<uint8_t>(v, u);
                }
            }
            ASSERT_EQ(integral[static_cast<size_t>(y) * 37 + x], expected) << x << "," << y;
        }
    }
    EXPECT_EQ(IntegralTotal(integral), static_cast<int>(cv::sum(image)[0]));
}

TEST(BuildIntegral, OnePixelImageGivesThatPixel) {
    const cv::Mat image(1, 1, CV_8UC1, cv::Scalar(7));
    const Integral integral = IntegralOf(image);
    ASSERT_EQ(integral.size(), 1u);
    EXPECT_EQ(integral[0], 7);
}

TEST(BuildIntegral, RefusesAMissingOrNonMaskImageAndLeavesTheArray) {
    Integral integral = {1, 2, 3};
    EXPECT_FALSE(BuildIntegral(integral, cv::Mat()));
    EXPECT_FALSE(BuildIntegral(integral, cv::Mat(4, 4, CV_8UC3, cv::Scalar::all(1))));
    EXPECT_EQ(integral, (Integral{1, 2, 3}));
}

TEST(ClampedCornerSum, ClampsEveryCornerIntoTheImage) {
    const cv::Mat mask = RandomMask(9, 7, 3);
    const Integral integral = IntegralOf(mask);
    // Corners beyond the image clamp to its edges; the first row and column stay excluded.
    EXPECT_EQ(ClampedCornerSum(integral.data(), 9, 7, -4, -9, 30, 12),
              CountExclusiveRect(mask, 0, 0, 8, 6));
    EXPECT_EQ(ClampedCornerSum(integral.data(), 9, 7, 2, 1, 5, 4),
              CountExclusiveRect(mask, 2, 1, 5, 4));
    // An empty image has no corners to read.
    EXPECT_EQ(ClampedCornerSum(integral.data(), 0, 0, 0, 0, 3, 3), 0);
}

// ---------------------------------------------------------------------------------------------
// Axis-aligned boxes

TEST(BoxSum, AxisBoxesCountTheirIndexRectangleWithoutItsFirstRowAndColumn) {
    constexpr int W = 40, H = 30;
    struct Case {
        const char* name;
        Box box;
        int x0, y0, x1, y1;  // the index rectangle the box becomes
    };
    const Case cases[] = {
        // theta 0: from the anchor to the right, w/2 above and below.
        {"right", {5.7, 10.2, 12.5, 6.0, 0.0}, 5, 7, 18, 13},
        {"right, clipped at the right and top edge", {30.5, 1.5, 20.0, 8.0, 0.0}, 30, 0, 39, 5},
        {"right within the tolerance", {5.7, 10.2, 12.5, 6.0, 0.0099}, 5, 7, 18, 13},
        {"right after a whole turn", {5.7, 10.2, 12.5, 6.0, 2 * kPi + 0.005}, 5, 7, 18, 13},
        // pi/2: upward from the anchor.
        {"up", {20.5, 25.7, 10.2, 5.0, kPi / 2}, 18, 15, 23, 25},
        {"up, clipped at the top edge", {20.5, 5.5, 10.0, 5.0, kPi / 2}, 18, 0, 23, 5},
        {"up within the tolerance", {20.5, 25.7, 10.2, 5.0, kPi / 2 + 0.0099}, 18, 15, 23, 25},
        {"up from -3pi/2", {20.5, 25.7, 10.2, 5.0, -1.5 * kPi}, 18, 15, 23, 25},
        // pi and -pi: to the left of the anchor.
        {"left", {30.9, 12.5, 11.4, 4.2, kPi}, 19, 10, 30, 14},
        {"left at -pi", {30.9, 12.5, 11.4, 4.2, -kPi}, 19, 10, 30, 14},
        {"left from 3pi", {30.9, 12.5, 11.4, 4.2, 3 * kPi}, 19, 10, 30, 14},
        {"left, clipped at the left edge", {6.5, 12.5, 11.4, 4.2, kPi}, 0, 10, 6, 14},
        // -pi/2: downward.
        {"down", {10.5, 5.5, 14.0, 7.0, -kPi / 2}, 7, 5, 14, 19},
        {"down, clipped at the bottom edge", {10.5, 25.5, 10.0, 7.0, -kPi / 2}, 7, 25, 14, 29},
    };
    const cv::Mat mask = RandomMask(W, H, 11);
    const Integral integral = IntegralOf(mask);
    const Integral ones = IntegralOf(cv::Mat::ones(H, W, CV_8UC1));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Box& b = c.box;
        const int expected = CountExclusiveRect(mask, c.x0, c.y0, c.x1, c.y1);
        const double area = static_cast<double>(c.x1 - c.x0) * (c.y1 - c.y0);
        EXPECT_EQ(BoxSum(W, H, b.x, b.y, b.L, b.w, b.theta, integral.data()), expected);
        EXPECT_DOUBLE_EQ(BoxDensity(W, H, b.x, b.y, b.L, b.w, b.theta, integral.data()),
                         expected / area);
        // On a full mask the sum is the area: the first row and column are not counted.
        EXPECT_EQ(BoxSum(W, H, b.x, b.y, b.L, b.w, b.theta, ones.data()),
                  (c.x1 - c.x0) * (c.y1 - c.y0));
    }
}

TEST(BoxSum, DegenerateAxisBoxesHaveNoAreaAndANonFiniteDensity) {
    const cv::Mat full = cv::Mat::ones(30, 40, CV_8UC1);
    const Integral integral = IntegralOf(full);
    struct Case {
        const char* name;
        Box box;
    };
    const Case cases[] = {
        {"zero width", {10.5, 10.5, 8.0, 0.0, 0.0}},
        {"index rectangle of a single row", {10.5, 10.2, 8.0, 0.2, 0.0}},
        {"zero length upward", {10.5, 10.5, 0.0, 6.0, kPi / 2}},
        {"index rectangle of a single column", {10.2, 10.5, 8.0, 0.2, -kPi / 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Box& b = c.box;
        EXPECT_EQ(BoxSum(40, 30, b.x, b.y, b.L, b.w, b.theta, integral.data()), 0);
        EXPECT_FALSE(
            std::isfinite(BoxDensity(40, 30, b.x, b.y, b.L, b.w, b.theta, integral.data())));
    }
}

TEST(BoxSum, EveryAxisBoxOverAOnePixelImageIsEmpty) {
    const Integral integral = IntegralOf(cv::Mat::ones(1, 1, CV_8UC1));
    for (double theta : {0.0, kPi / 2, kPi, -kPi / 2}) {
        SCOPED_TRACE(theta);
        EXPECT_EQ(BoxSum(1, 1, 0.0, 0.0, 5.0, 4.0, theta, integral.data()), 0);
        EXPECT_FALSE(std::isfinite(BoxDensity(1, 1, 0.0, 0.0, 5.0, 4.0, theta, integral.data())));
    }
}

// ---------------------------------------------------------------------------------------------
// Angle normalisation

TEST(NormaliseAngle, BringsAnglesIntoMinusPiToPiByWholeTurns) {
    struct Case {
        double theta, expected;
    };
    const Case cases[] = {
        {2 * kPi + 0.005, 0.005}, {kPi, kPi},           {-kPi, -kPi}, {3 * kPi, kPi},
        {-3 * kPi, -kPi},         {7.0, 7.0 - 2 * kPi}, {-0.3, -0.3}, {-9.0, -9.0 + 2 * kPi},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(NormaliseAngle(c.theta), c.expected, 1e-12) << c.theta;
    }
}

TEST(BoxSum, AnglesBeyondTheToleranceTakeTheRotatedScan) {
    // The box at (10, 20), 20 long and 10 wide. As an axis box it counts rows 16..25; turned by
    // 0.02 its scan starts at row 15 (its upper vertices truncate to rows 14 and 15) and ends
    // at row 23.
    cv::Mat mask = cv::Mat::zeros(40, 40, CV_8UC1);
    mask.at<uint8_t>(15, 20) = 1;
    cv::Mat lower = cv::Mat::zeros(40, 40, CV_8UC1);
    lower.at<uint8_t>(25, 20) = 1;
    const Integral upperPixel = IntegralOf(mask), lowerPixel = IntegralOf(lower);

    for (double axisLike : {0.0, 0.005, 2 * kPi + 0.005}) {
        SCOPED_TRACE(axisLike);
        EXPECT_EQ(BoxSum(40, 40, 10, 20, 20, 10, axisLike, upperPixel.data()), 0);
        EXPECT_EQ(BoxSum(40, 40, 10, 20, 20, 10, axisLike, lowerPixel.data()), 1);
    }
    EXPECT_EQ(BoxSum(40, 40, 10, 20, 20, 10, 0.02, upperPixel.data()), 1);
    EXPECT_EQ(BoxSum(40, 40, 10, 20, 20, 10, 0.02, lowerPixel.data()), 0);
}

// ---------------------------------------------------------------------------------------------
// Rotated boxes

class RotatedBox : public ::testing::Test {
  protected:
    static constexpr int W = 40, H = 40;

    // Boxes around the image centre in all four quadrants; long thin boxes and short wide
    // ones reach the left or the right vertex first, so both band orders are scanned.
    static std::vector<Box> Boxes() {
        std::vector<Box> boxes;
        for (double theta : {0.3, 0.8, 1.3, 1.9, 2.5, 3.0, -0.4, -1.0, -1.45, -1.8, -2.4, -3.0}) {
            boxes.push_back({20.3, 19.6, 12.0, 5.0, theta});
            boxes.push_back({19.5, 20.4, 5.0, 13.0, theta});
        }
        return boxes;
    }
};

TEST_F(RotatedBox, CountsTheRectangleRowByRowInEveryQuadrant) {
    const cv::Mat mask = RandomMask(W, H, 5);
    const Integral integral = IntegralOf(mask);
    const Integral ones = IntegralOf(cv::Mat::ones(H, W, CV_8UC1));
    // The scan truncates the vertices and leaves out the pixel on each row's left boundary, so
    // the counted region may stray from the true rectangle by up to two pixels.
    constexpr double kSlack = 2.0;
    for (const Box& b : Boxes()) {
        SCOPED_TRACE(Describe(b));
        const cv::Mat region = CountedRegion(W, H, b);
        int regionPixels = 0, maskInRegion = 0;
        for (int v = 0; v < H; ++v) {
            int first = -1, last = -1;
            for (int u = 0; u < W; ++u) {
                double along, across;
                BoxCoordinates(b, u, v, &along, &across);
                const bool counted = region.at<uint8_t>(v, u) != 0;
                if (counted) {
                    ++regionPixels;
                    maskInRegion += mask.at<uint8_t>(v, u);
                    if (first < 0)
                        first = u;
                    last = u;
                    EXPECT_TRUE(along >= -kSlack && along <= b.L + kSlack &&
                                std::fabs(across) <= b.w / 2 + kSlack)
                        << "counted pixel " << u << "," << v << " lies outside the box";
                }
                const bool wellInside = along >= kSlack && along <= b.L - kSlack &&
                                        std::fabs(across) <= b.w / 2 - kSlack;
                EXPECT_TRUE(!wellInside || counted)
                    << "pixel " << u << "," << v << " inside the box is not counted";
            }
            if (first >= 0) {
                EXPECT_EQ(last - first + 1, cv::countNonZero(region.row(v)))
                    << "row " << v << " is not one run";
            }
        }
        // The sum over any mask is the sum of its pixels in that region, and the density divides
        // by the number of pixels scanned.
        EXPECT_EQ(BoxSum(W, H, b.x, b.y, b.L, b.w, b.theta, integral.data()), maskInRegion);
        EXPECT_EQ(BoxSum(W, H, b.x, b.y, b.L, b.w, b.theta, ones.data()), regionPixels);
        EXPECT_DOUBLE_EQ(BoxDensity(W, H, b.x, b.y, b.L, b.w, b.theta, integral.data()),
                         static_cast<double>(maskInRegion) / regionPixels);
        // Roughly the rectangle's area.
        EXPECT_NEAR(regionPixels, b.L * b.w, 2 * (b.L + b.w));
    }
}

TEST(RotatedRectSum, ScansADiamondInThreeBands) {
    // Vertices top (5, 2), left (2, 5), bottom (5, 8), right (8, 5). The rows 2..7 are scanned
    // with boundaries (5,5), (4,6), (3,7), (2,8), (3,7), (4,6); each row counts a < u <= b.
    const cv::Mat ones = cv::Mat::ones(10, 10, CV_8UC1);
    const Integral integral = IntegralOf(ones);
    const RotatedRectResult full =
        RotatedRectSum(integral.data(), 10, 10, {5, 2}, {2, 5}, {5, 8}, {8, 5});
    EXPECT_EQ(full.sum, 18);
    EXPECT_EQ(full.count, 18);

    const int rowStart[] = {5, 4, 3, 2, 3, 4};
    const int rowEnd[] = {5, 6, 7, 8, 7, 6};
    for (int v = 0; v < 10; ++v) {
        for (int u = 0; u < 10; ++u) {
            cv::Mat unit = cv::Mat::zeros(10, 10, CV_8UC1);
            unit.at<uint8_t>(v, u) = 1;
            const Integral single = IntegralOf(unit);
            const bool expected = v >= 2 && v <= 7 && u > rowStart[v - 2] && u <= rowEnd[v - 2];
            EXPECT_EQ(RotatedRectSum(single.data(), 10, 10, {5, 2}, {2, 5}, {5, 8}, {8, 5}).sum,
                      expected ? 1 : 0)
                << u << "," << v;
        }
    }
}

TEST(BoxSum, RotatedBoxWithAVertexOnTheBorderCountsAsEmpty) {
    // theta = pi/4 with L = 10*sqrt(2) and w = 6*sqrt(2) puts the vertices at
    // P1 = (x+3, y+3), P2 = (x+13, y-7), P3 = (x+7, y-13), P4 = (x-3, y-3), before truncation
    // toward zero. Each rejected box has one vertex just outside; its neighbour, one pixel
    // further in, is counted.
    constexpr int W = 40, H = 40;
    const double L = 10 * std::sqrt(2.0), w = 6 * std::sqrt(2.0), theta = kPi / 4;
    const Integral ones = IntegralOf(cv::Mat::ones(H, W, CV_8UC1));
    struct Case {
        const char* name;
        double x, y;
        bool counted;
    };
    const Case cases[] = {
        {"left vertex at column -1", 1.5, 20.0, false},
        {"left vertex at column 0", 2.5, 20.0, true},
        {"right vertex at column W", 27.5, 20.0, false},
        {"right vertex at column W - 1", 26.5, 20.0, true},
        {"top vertex at row 0", 20.0, 13.5, false},
        {"top vertex at row 1", 20.0, 14.5, true},
        {"bottom vertex at row H", 20.0, 37.5, false},
        {"bottom vertex at row H - 1", 20.0, 36.5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int sum = BoxSum(W, H, c.x, c.y, L, w, theta, ones.data());
        const double density = BoxDensity(W, H, c.x, c.y, L, w, theta, ones.data());
        if (c.counted) {
            EXPECT_GT(sum, 100);
            EXPECT_DOUBLE_EQ(density, 1.0);
        } else {
            EXPECT_EQ(sum, 0);
            EXPECT_EQ(density, 0.0);
        }
    }
}

TEST(BoxSum, InsideOutBoxesCountAsEmpty) {
    // A negative length or width swaps the vertices' roles; scanning such a box ran its bands
    // outside the image. Every box of this grid is centred well inside the image.
    constexpr int W = 40, H = 40;
    const Integral ones = IntegralOf(cv::Mat::ones(H, W, CV_8UC1));
    cv::Mat image = cv::Mat::ones(H, W, CV_8UC1);
    for (double theta = -3.1; theta < 3.15; theta += 0.2) {
        for (double L : {-25.0, -10.0, 6.0}) {
            for (double w : {-12.0, -3.0, 4.0}) {
                if (L > 0 && w > 0) {
                    continue;
                }
                SCOPED_TRACE(Describe({20.5, 20.5, L, w, theta}));
                EXPECT_EQ(BoxSum(W, H, 20.5, 20.5, L, w, theta, ones.data()), 0);
                EXPECT_EQ(BoxDensity(W, H, 20.5, 20.5, L, w, theta, ones.data()), 0.0);
                ClearBox(image, 20.5, 20.5, L, w, theta);
                EXPECT_EQ(cv::countNonZero(image), W * H);
            }
        }
    }
}

TEST(BoxSum, NonFiniteBoxesAreEmpty) {
    const Integral ones = IntegralOf(cv::Mat::ones(20, 20, CV_8UC1));
    const double nan = std::nan(""), inf = HUGE_VAL;
    const Box boxes[] = {{nan, 10, 5, 5, 0.5},
                         {10, inf, 5, 5, 0},
                         {10, 10, nan, 5, 1.0},
                         {10, 10, 5, -inf, kPi / 2},
                         {10, 10, 5, 5, nan}};
    cv::Mat image = cv::Mat::ones(20, 20, CV_8UC1);
    for (const Box& b : boxes) {
        SCOPED_TRACE(Describe(b));
        EXPECT_EQ(BoxSum(20, 20, b.x, b.y, b.L, b.w, b.theta, ones.data()), 0);
        ClearBox(image, b.x, b.y, b.L, b.w, b.theta);
    }
    EXPECT_EQ(cv::countNonZero(image), 400);
}

// ---------------------------------------------------------------------------------------------
// ClearBox

TEST(ClearBox, AxisBoxesClearTheirWholeIndexRectangle) {
    constexpr int W = 40, H = 30;
    struct Case {
        const char* name;
        Box box;
        int x0, y0, x1, y1;  // inclusive; x1 < x0 when nothing is cleared
    };
    const Case cases[] = {
        {"right", {5.7, 10.2, 12.5, 6.0, 0.0}, 5, 7, 18, 13},
        {"up", {20.5, 25.7, 10.2, 5.0, kPi / 2}, 18, 15, 23, 25},
        {"left", {30.9, 12.5, 11.4, 4.2, -kPi}, 19, 10, 30, 14},
        {"down, clipped at the bottom", {10.5, 25.5, 10.0, 7.0, -kPi / 2}, 7, 25, 14, 29},
        // Anchors outside the image: nothing of these boxes lies inside, so nothing is cleared
        // (in particular not the border column the anchor would be clamped onto).
        {"right of the image", {55.0, 10.5, 5.0, 4.0, 0.0}, 0, 0, -1, -1},
        {"left of the image", {-50.0, 10.5, 5.0, 4.0, kPi}, 0, 0, -1, -1},
        {"below the image", {10.5, 45.0, 5.0, 4.0, -kPi / 2}, 0, 0, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat image = cv::Mat::ones(H, W, CV_8UC1);
        ClearBox(image, c.box.x, c.box.y, c.box.L, c.box.w, c.box.theta);
        for (int v = 0; v < H; ++v) {
            for (int u = 0; u < W; ++u) {
                const bool inside = u >= c.x0 && u <= c.x1 && v >= c.y0 && v <= c.y1;
                ASSERT_EQ(image.at<uint8_t>(v, u), inside ? 0 : 1) << u << "," << v;
            }
        }
    }
}

TEST_F(RotatedBox, ClearBoxClearsTheCountedRowsAndTheirLeftBoundary) {
    // Clearing covers each scanned row from its left boundary to its right boundary inclusive:
    // the counted pixels plus the boundary pixel just left of them.
    for (const Box& b : Boxes()) {
        SCOPED_TRACE(Describe(b));
        const cv::Mat region = CountedRegion(W, H, b);
        cv::Mat image = cv::Mat::ones(H, W, CV_8UC1);
        ClearBox(image, b.x, b.y, b.L, b.w, b.theta);
        for (int v = 0; v < H; ++v) {
            int first = -1, last = -1;
            for (int u = 0; u < W; ++u) {
                if (region.at<uint8_t>(v, u) != 0) {
                    if (first < 0)
                        first = u;
                    last = u;
                }
            }
            const int cleared = W - cv::countNonZero(image.row(v));
            if (first < 0) {
                EXPECT_LE(cleared, 1) << "row " << v;  // a row with equal boundaries
                continue;
            }
            EXPECT_EQ(cleared, last - first + 2) << "row " << v;
            for (int u = first - 1; u <= last; ++u) {
                EXPECT_EQ(image.at<uint8_t>(v, u), 0) << u << "," << v;
            }
        }
    }
}

TEST(ClearBox, RotatedBoxTouchingTheBorderClearsNothing) {
    cv::Mat image = cv::Mat::ones(40, 40, CV_8UC1);
    const double L = 10 * std::sqrt(2.0), w = 6 * std::sqrt(2.0);
    ClearBox(image, 1.5, 20.0, L, w, kPi / 4);   // left vertex at column -1
    ClearBox(image, 20.0, 13.5, L, w, kPi / 4);  // top vertex at row 0
    EXPECT_EQ(cv::countNonZero(image), 1600);
    ClearBox(image, 2.5, 20.0, L, w, kPi / 4);  // one column further in
    EXPECT_LT(cv::countNonZero(image), 1600 - 100);
}

// Erasing a finger after finger from a mask and keeping its integral up to date in place must
// give exactly the integral of the erased mask, for axis and rotated boxes, boxes over the
// border, boxes over clear pixels and a mask with values other than 1.
TEST(ClearBoxInIntegral, KeepsTheIntegralOfTheErasedMask) {
    const int W = 97, H = 61;
    cv::RNG rng(5);
    cv::Mat image(H, W, CV_8UC1);
    rng.fill(image, cv::RNG::UNIFORM, 0, 3);  // values 0, 1, 2
    image(cv::Rect(0, 0, 20, 15)).setTo(0);   // a clear corner
    Integral integral;
    ASSERT_TRUE(BuildIntegral(integral, image));
    ClearedPixels work;
    struct Erase {
        double x, y, L, w, theta;
    };
    const Erase erasures[] = {
        {40.5, 30.5, 12, 5, 0},          // axis, pointing right
        {60.2, 40.7, 14, 6, kPi / 2},    // axis, pointing up
        {30.3, 50.1, 18, 4, 2.3},        // rotated
        {70.9, 20.4, 25, 7, -0.7},       // rotated, down and right
        {5.5, 5.5, 8, 4, 0.4},           // over the clear corner only
        {90.0, 58.0, 20, 6, 0},          // past the right border
        {48.0, 30.0, 30, 9, kPi},        // axis, pointing left, over earlier erasures
        {1.5, 20.0, 14.1, 8.5, kPi / 4}  // vertex outside: clears nothing
    };
    for (const Erase& e : erasures) {
        SCOPED_TRACE(testing::Message() << e.x << "," << e.y << " angle " << e.theta);
        cv::Mat expected = image.clone();
        ClearBox(expected, e.x, e.y, e.L, e.w, e.theta);
        Integral rebuilt;
        BuildIntegral(rebuilt, expected);
        ClearBoxInIntegral(image, integral, e.x, e.y, e.L, e.w, e.theta, &work);
        EXPECT_EQ(cv::countNonZero(image != expected), 0);
        EXPECT_EQ(integral, rebuilt);
    }
    // Without a work store, or with an integral of another size, it is rebuilt whole.
    Integral wrong(10, 0);
    ClearBoxInIntegral(image, wrong, 50, 30, 10, 4, 0.3, &work);
    Integral rebuilt;
    BuildIntegral(rebuilt, image);
    EXPECT_EQ(wrong, rebuilt);
    ClearBoxInIntegral(image, integral, 20, 40, 10, 4, 1.1, nullptr);
    BuildIntegral(rebuilt, image);
    EXPECT_EQ(integral, rebuilt);
}

// ---------------------------------------------------------------------------------------------
// StripPairDensity

TEST(StripPairDensity, AddsTheDensitiesOfTheBandsTwoEdgeStrips) {
    // A band 20 wide around the line through (20.5, 20.5) with 5-pixel edge strips. Upward
    // (theta = pi/2) the strip anchors are the means of truncated points, kept in floating
    // point: x = (10 + 15) / 2 = 12.5 and (30 + 25) / 2 = 27.5, so the strips count columns
    // 11..15 and 26..30; sideways (theta = 0) the same holds for rows.
    struct Case {
        const char* name;
        double theta;
        bool vertical;  // strips are columns (true) or rows (false)
        int firstFrom, firstTo, secondFrom, secondTo;
    };
    const Case cases[] = {
        {"upward band", kPi / 2, true, 11, 15, 26, 30},
        {"rightward band", 0.0, false, 11, 15, 26, 30},
    };
    constexpr int W = 42, H = 42;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto stripe = [&](int from, int to) {
            cv::Mat mask = cv::Mat::zeros(H, W, CV_8UC1);
            cv::Rect r = c.vertical ? cv::Rect(from, 0, to - from + 1, H)
                                    : cv::Rect(0, from, W, to - from + 1);
            mask(r).setTo(1);
            return IntegralOf(mask);
        };
        auto density = [&](const Integral& integral) {
            return StripPairDensity(W, H, 20.5, 20.5, 10.0, c.theta, 20.0, 5.0, integral.data());
        };
        EXPECT_DOUBLE_EQ(density(stripe(c.firstFrom, c.firstTo)), 1.0);
        EXPECT_DOUBLE_EQ(density(stripe(c.secondFrom, c.secondTo)), 1.0);
        EXPECT_DOUBLE_EQ(density(stripe(c.firstTo + 1, c.secondFrom - 1)), 0.0);  // the middle
        EXPECT_DOUBLE_EQ(density(IntegralOf(cv::Mat::ones(H, W, CV_8UC1))), 2.0);
    }
}

TEST(StripPairDensity, ABandFarOffTheImageCountsNothing) {
    // Its strip anchors saturate at the int limit; their mean must stay there.
    const Integral ones = IntegralOf(cv::Mat::ones(40, 40, CV_8UC1));
    for (double x : {1e300, 3e9}) {
        SCOPED_TRACE(x);
        EXPECT_FALSE(StripPairDensity(40, 40, x, 20.5, 10.0, kPi / 2, 20.0, 5.0, ones.data()) > 0);
    }
}

TEST(StripPairDensity, RotatedBandSeesOnlyItsEdges) {
    // A band at 0.6 rad drawn as a filled rectangle 20 wide: its edge strips lie inside it and
    // are nearly full, while a thin line along the band's centre leaves them empty.
    constexpr int W = 60, H = 60;
    const double theta = 0.6, x = 20.0, y = 38.0, L = 20.0;
    const double s = std::sin(theta), c = std::cos(theta);
    cv::Mat band = cv::Mat::zeros(H, W, CV_8UC1), centre = cv::Mat::zeros(H, W, CV_8UC1);
    for (int v = 0; v < H; ++v) {
        for (int u = 0; u < W; ++u) {
            const double along = (u - x) * c - (v - y) * s;
            const double across = (u - x) * s + (v - y) * c;
            if (along > -4 && along < L + 4 && std::fabs(across) <= 11)
                band.at<uint8_t>(v, u) = 1;
            if (along > -4 && along < L + 4 && std::fabs(across) <= 2)
                centre.at<uint8_t>(v, u) = 1;
        }
    }
    const Integral bandIntegral = IntegralOf(band), centreIntegral = IntegralOf(centre);
    EXPECT_GT(StripPairDensity(W, H, x, y, L, theta, 20.0, 4.0, bandIntegral.data()), 1.9);
    EXPECT_EQ(StripPairDensity(W, H, x, y, L, theta, 20.0, 4.0, centreIntegral.data()), 0.0);
}

// ---------------------------------------------------------------------------------------------
// LineHitDistance

TEST(LineHitDistance, NoHitOnAnEmptyMaskOrAtAnIsolatedPixel) {
    cv::Mat mask = cv::Mat::zeros(30, 30, CV_8UC1);
    EXPECT_EQ(LineHitDistance(mask, 5, 5, 20, 12), 10.0);
    mask.at<uint8_t>(5, 10) = 1;  // on the horizontal line below, alone
    EXPECT_EQ(LineHitDistance(mask, 5, 5, 20, 5), 10.0);
    mask.at<uint8_t>(5, 12) = 1;  // two set pixels with a gap are still no hit
    EXPECT_EQ(LineHitDistance(mask, 5, 5, 20, 5), 10.0);
}

TEST(LineHitDistance, FindsTheFirstPairInEveryDirectionFromTheStart) {
    // Segments of 10 steps from (20, 20). Pairs of set pixels at steps 1-2 and 7-8: walking
    // from the start, the hit is the pixel at step 1, 4 steps from the midpoint at step 5.
    const int directions[8][2] = {{1, 0},  {1, 1},   {0, 1},  {-1, 1},
                                  {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
    for (const auto& d : directions) {
        SCOPED_TRACE(std::to_string(d[0]) + "," + std::to_string(d[1]));
        cv::Mat mask = cv::Mat::zeros(41, 41, CV_8UC1);
        for (int step : {1, 2, 7, 8}) {
            mask.at<uint8_t>(20 + step * d[1], 20 + step * d[0]) = 1;
        }
        const double stepLength = std::hypot(d[0], d[1]);
        EXPECT_DOUBLE_EQ(LineHitDistance(mask, 20, 20, 20 + 10 * d[0], 20 + 10 * d[1]),
                         4 * stepLength);
        // The walk covers both end points: a pair at steps 9 and 10 alone is found.
        mask.setTo(0);
        mask.at<uint8_t>(20 + 9 * d[1], 20 + 9 * d[0]) = 1;
        mask.at<uint8_t>(20 + 10 * d[1], 20 + 10 * d[0]) = 1;
        EXPECT_DOUBLE_EQ(LineHitDistance(mask, 20, 20, 20 + 10 * d[0], 20 + 10 * d[1]),
                         4 * stepLength);
    }
}

TEST(LineHitDistance, FollowsTheMinorCoordinateWithAnErrorTermFromMinusHalf) {
    // (0, 0) to (10, 5): the minor coordinate steps as soon as the error reaches 0, so the walk
    // visits (0,0) (1,1) (2,1) (3,2) (4,2) (5,3) (6,3) (7,4) (8,4) (9,5) (10,5).
    struct Case {
        const char* name;
        cv::Point first, second;
        cv::Point from, to;
        double expected;
    };
    const double mid = std::hypot(1.0, 0.5);  // (4, 2) from the midpoint (5, 2.5)
    const Case cases[] = {
        {"pair on the walk", {4, 2}, {5, 3}, {0, 0}, {10, 5}, mid},
        {"second pixel beside the walk", {4, 2}, {5, 2}, {0, 0}, {10, 5}, 10.0},
        {"steep segment, transposed", {2, 4}, {3, 5}, {0, 0}, {5, 10}, mid},
        {"steep segment, beside the walk", {2, 4}, {2, 5}, {0, 0}, {5, 10}, 10.0},
        // Walking from (10, 5) back to (0, 0): (10,5) (9,4) (8,4) (7,3) (6,3) (5,2) (4,2) ...
        {"reverse walk", {6, 3}, {5, 2}, {10, 5}, {0, 0}, std::hypot(1.0, 0.5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat mask = cv::Mat::zeros(12, 12, CV_8UC1);
        mask.at<uint8_t>(c.first) = 1;
        mask.at<uint8_t>(c.second) = 1;
        EXPECT_DOUBLE_EQ(LineHitDistance(mask, c.from.x, c.from.y, c.to.x, c.to.y), c.expected);
    }
}

TEST(LineHitDistance, HandlesEndPointsAtTheIntLimits) {
    // The midpoint and the differences of such end points do not fit in an int; the walk stops
    // once it has left the image for good.
    const cv::Mat ones = cv::Mat::ones(10, 10, CV_8UC1);
    const int most = std::numeric_limits<int>::max(), least = std::numeric_limits<int>::min();
    EXPECT_DOUBLE_EQ(LineHitDistance(ones, 5, 5, most, 5), (static_cast<double>(most) - 5) / 2);
    EXPECT_DOUBLE_EQ(LineHitDistance(ones, 5, 5, least, 5),
                     5 - (static_cast<double>(least) + 5) / 2);
    EXPECT_DOUBLE_EQ(LineHitDistance(ones, 5, 5, 5, most), (static_cast<double>(most) - 5) / 2);
    const cv::Mat empty = cv::Mat::zeros(10, 10, CV_8UC1);
    EXPECT_EQ(LineHitDistance(empty, 5, 5, most, least), 10.0);
}

TEST(LineHitDistance, TreatsPixelsOutsideTheImageAsClear) {
    cv::Mat mask = cv::Mat::ones(10, 10, CV_8UC1);
    // Starts outside at the left; the first two inside pixels (0, 5) and (1, 5) form the hit.
    EXPECT_DOUBLE_EQ(LineHitDistance(mask, -6, 5, 14, 5), 4.0);
    EXPECT_EQ(LineHitDistance(mask, -30, -30, -10, -20), 10.0);
}

// ---------------------------------------------------------------------------------------------
// SquareSum

TEST(SquareSum, SumsTheSquareOfSideTwoRPlusOne) {
    cv::Mat image(9, 9, CV_8UC1, cv::Scalar(2));
    image.at<uint8_t>(4, 4) = 7;
    struct Case {
        int x, y, r, expected;
    };
    const Case cases[] = {
        {4, 4, 0, 7},           // the centre pixel, its value not a mask bit
        {4, 4, 1, 8 * 2 + 7},   // 3 x 3
        {4, 4, 2, 24 * 2 + 7},  // 5 x 5
        {4, 4, -1, 0},          // negative radius
        {0, 0, 1, 4 * 2},       // at the corner only the inside 2 x 2 is counted
        {8, 4, 2, 15 * 2},      // at the right edge, 3 columns x 5 rows
        {20, 20, 3, 0},         // entirely outside
        {4, 4, std::numeric_limits<int>::max(), 80 * 2 + 7},  // the whole image
        {std::numeric_limits<int>::max(), 4, 5, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SquareSum(image, c.x, c.y, c.r), c.expected) << c.x << "," << c.y << " r " << c.r;
    }
}

}  // namespace
}  // namespace olvar
