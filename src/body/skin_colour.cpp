#include "body/skin_colour.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "imaging/contours.h"
#include "imaging/integral.h"

namespace olvar {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Learning calls since the last restart, shared by every user and every library object.
std::atomic<int> learnCount{0};

// A pixel of the working colour image (stored blue, green, red).
struct Rgb {
    int r, g, b;
};

Rgb PixelAt(const cv::Mat& colour, int row, int col) {
    const uint8_t* p = colour.ptr<uint8_t>(row) + 3 * col;
    return {p[2], p[1], p[0]};
}

// The colour sample of a pixel: (Cr, Cb, Y) from the YCrCb image.
void SampleAt(const cv::Mat& ycrcb, int row, int col, float sample[3]) {
    const uint8_t* p = ycrcb.ptr<uint8_t>(row) + 3 * col;
    sample[0] = p[1];
    sample[1] = p[2];
    sample[2] = p[0];
}

// The three working images of one frame: colour and YCrCb with 3 bytes per pixel, the
// foreground mask with 1, all of one size.
bool FrameImagesMatch(const cv::Mat& colour, const cv::Mat& ycrcb, const cv::Mat& foreground) {
    return !colour.empty() && colour.type() == CV_8UC3 && ycrcb.type() == CV_8UC3 &&
           foreground.type() == CV_8UC1 && ycrcb.size() == colour.size() &&
           foreground.size() == colour.size();
}

// Gives `map` the frame's size as a single-channel 8-bit image (zeroed when re-created).
void EnsureMask(cv::Mat& map, const cv::Size& size) {
    if (map.size() != size || map.type() != CV_8UC1) {
        map = cv::Mat::zeros(size, CV_8UC1);
    }
}

bool InHueWindow(const Rgb& p, int minSaturation, int maxSaturation) {
    const HueSaturation hs = ChromaHueSaturation(p.b, p.g, p.r);
    return hs.hue >= 43 && hs.hue <= 57 && hs.saturation >= minSaturation &&
           hs.saturation <= maxSaturation;
}

bool IsAdmissible(const Rgb& p) {
    return IsAdmissibleColour(p.r, p.g, p.b);
}

bool IsSkinByEitherRule(const Rgb& p) {
    return IsBrightSkin(p.r, p.g, p.b) || IsMainSkin(p.r, p.g, p.b);
}

// Pixel rows [y0, y1) and columns [x0, x1), already inside the frame.
struct PixelRange {
    int x0, x1, y0, y1;
};

PixelRange ClampRange(int x0, int x1, int y0, int y1, const cv::Size& size) {
    return {std::max(0, x0), std::min(size.width, x1), std::max(0, y0), std::min(size.height, y1)};
}

// The first pass of the head search: the pixels of the blob's top quarter that any colour rule
// calls skin. Marks them in `scratch`, teaches them to `model` and returns their number.
int MarkRuleSkin(const cv::Mat& colour, const cv::Mat& ycrcb, const cv::Mat& foreground,
                 const PixelRange& range, cv::Mat& scratch, SkinColourModel& model) {
    int accepted = 0;
    for (int row = range.y0; row < range.y1; ++row) {
        const uint8_t* fg = foreground.ptr<uint8_t>(row);
        uint8_t* out = scratch.ptr<uint8_t>(row);
        for (int col = range.x0; col < range.x1; ++col) {
            if (fg[col] == 0) {
                continue;
            }
            const Rgb p = PixelAt(colour, row, col);
            if (!IsAdmissible(p)) {
                continue;
            }
            const bool skin = IsSkinByEitherRule(p) || InHueWindow(p, 3, 17) ||
                              PassesOpponentAngle(p.r, p.g, p.b);
            if (!skin) {
                continue;
            }
            out[col] = 1;
            float sample[3];
            SampleAt(ycrcb, row, col, sample);
            AddColourSample(model, sample);
            ++accepted;
        }
    }
    return accepted;
}

// The second pass of the head search: pixels of the blob's top third close to the colour the
// first pass learned.
void MarkModelSkin(const cv::Mat& colour, const cv::Mat& ycrcb, const cv::Mat& foreground,
                   const PixelRange& range, const SkinColourModel& model, cv::Mat& scratch) {
    for (int row = range.y0; row < range.y1; ++row) {
        const uint8_t* fg = foreground.ptr<uint8_t>(row);
        uint8_t* out = scratch.ptr<uint8_t>(row);
        for (int col = range.x0; col < range.x1; ++col) {
            if (fg[col] == 0 || !IsAdmissible(PixelAt(colour, row, col))) {
                continue;
            }
            float sample[3];
            SampleAt(ycrcb, row, col, sample);
            if (ColourDistance(model, sample) < 10) {
                out[col] = 1;
            }
        }
    }
}

// Bounding box of the largest outer contour of the mask with at least `minArea`; a later
// contour wins a tie. False when none is large enough.
bool LargestContourBox(cv::Mat& mask, double minArea, cv::Rect* box) {
    const std::vector<std::vector<cv::Point>> contours = FindOuterContours(mask);
    double best = minArea;
    const std::vector<cv::Point>* chosen = nullptr;
    for (const auto& contour : contours) {
        const double area = std::fabs(cv::contourArea(contour));
        if (area >= best) {
            best = area;
            chosen = &contour;
        }
    }
    if (chosen == nullptr) {
        return false;
    }
    *box = cv::boundingRect(*chosen);
    return true;
}

// A set pixel whose four neighbours are all clear is cleared, in raster order and in place.
void RemoveIsolatedPixels(cv::Mat& map) {
    for (int row = 1; row < map.rows - 1; ++row) {
        const uint8_t* above = map.ptr<uint8_t>(row - 1);
        uint8_t* here = map.ptr<uint8_t>(row);
        const uint8_t* below = map.ptr<uint8_t>(row + 1);
        for (int col = 1; col < map.cols - 1; ++col) {
            if (here[col] != 0 && above[col] == 0 && below[col] == 0 && here[col - 1] == 0 &&
                here[col + 1] == 0) {
                here[col] = 0;
            }
        }
    }
}

int RoundHalfUp(double value) {
    return TruncToInt(value + 0.5);
}

}  // namespace

void ClearModel(SkinColourModel& model) {
    model.sampleCount = 0;
    model.determinant = 0;
    model.valid = false;
    for (int i = 0; i < 3; ++i) {
        model.sums[i] = 0;
        model.mean[i] = 0;
        for (int j = 0; j < 3; ++j) {
            model.products[i][j] = 0;
        }
    }
}

void AddColourSample(SkinColourModel& model, const float sample[3]) {
    model.sampleCount += 1;
    for (int i = 0; i < 3; ++i) {
        model.sums[i] += sample[i];
        for (int j = 0; j < 3; ++j) {
            model.products[i][j] += sample[i] * sample[j];
        }
    }
}

void FinishModel(SkinColourModel& model) {
    if (model.sampleCount == 0) {
        return;
    }
    model.valid = true;
    const float n = static_cast<float>(model.sampleCount);
    for (int i = 0; i < 3; ++i) {
        model.mean[i] = model.sums[i] / n;
    }
    // The small ridge keeps a model of identical samples invertible.
    float(&c)[3][3] = model.covariance;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            c[i][j] = model.products[i][j] / n - model.mean[i] * model.mean[j];
        }
        c[i][i] += 0.0001f;
    }
    // Cofactors; the determinant expands along the first row.
    float cof[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int r0 = (i + 1) % 3, r1 = (i + 2) % 3;
            const int c0 = (j + 1) % 3, c1 = (j + 2) % 3;
            cof[i][j] = c[r0][c0] * c[r1][c1] - c[r0][c1] * c[r1][c0];
        }
    }
    model.determinant = c[0][0] * cof[0][0] + c[0][1] * cof[0][1] + c[0][2] * cof[0][2];
    model.rootDeterminant = std::sqrt(std::fabs(model.determinant));
    const float reciprocal = 1.0f / model.determinant;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            model.inverse[i][j] = cof[j][i] * reciprocal;  // adjugate = transposed cofactors
        }
    }
}

void MergeModel(const SkinColourModel& source, SkinColourModel& target) {
    if (target.sampleCount != 0) {
        target.sampleCount += source.sampleCount;
        for (int i = 0; i < 3; ++i) {
            target.sums[i] += source.sums[i];
            for (int j = 0; j < 3; ++j) {
                target.products[i][j] += source.products[i][j];
            }
        }
        FinishModel(target);
    } else if (source.valid) {
        target = source;
    }
}

float ColourDistance(const SkinColourModel& model, const float sample[3]) {
    if (model.sampleCount == 0) {
        return 100.0f;
    }
    float d[3];
    for (int i = 0; i < 3; ++i) {
        d[i] = sample[i] - model.mean[i];
    }
    float distance = 0;
    for (int i = 0; i < 3; ++i) {
        distance += d[i] * (model.inverse[i][0] * d[0] + model.inverse[i][1] * d[1] +
                            model.inverse[i][2] * d[2]);
    }
    return distance;
}

HueSaturation ChromaHueSaturation(int blue, int green, int red) {
    // The I and Q chroma axes of YIQ in fixed point.
    const int i = (610 * red - 329 * blue - 281 * green) >> 10;
    const int q = (637 * blue - 1070 * green + 433 * red) >> 11;
    HueSaturation result;
    result.hue = TruncToInt((std::atan2(static_cast<double>(q), static_cast<double>(i)) + kPi) /
                            (2 * kPi) * 100);
    const int brightness = red + green + blue;
    // Black has no saturation; -1 lies outside every saturation window.
    result.saturation =
        brightness == 0
            ? -1
            : TruncToInt(std::sqrt(static_cast<double>(i * i + q * q)) / brightness * 126.183);
    return result;
}

bool IsAdmissibleColour(int red, int green, int blue) {
    return red + green + blue >= 70 && red <= 251 && green <= 251 && blue <= 249;
}

bool IsBrightSkin(int red, int green, int blue) {
    return red >= 221 && green >= 211 && blue >= 171 && std::abs(red - green) <= 15 && blue < red &&
           blue < green;
}

bool IsMainSkin(int red, int green, int blue) {
    const int spread = std::max({red, green, blue}) - std::min({red, green, blue});
    return red >= 96 && green >= 41 && blue >= 21 && spread >= 16 && std::abs(red - green) >= 16 &&
           green < red && blue < red;
}

bool PassesOpponentAngle(int red, int green, int blue) {
    // Red-green and yellow-blue opponent axes.
    const int a = (red - green) >> 1;
    const int b = (2 * green - blue - red) >> 2;
    const double magnitude = std::sqrt(static_cast<double>(a * a + b * b));
    // The angle is brought into [0, 360) before it is truncated, so a direction just below the
    // red-green axis (-0.5 degrees) reads 359, not 0.
    double degrees = std::atan2(static_cast<double>(b), static_cast<double>(a)) * 180 / kPi;
    if (degrees < 0) {
        degrees += 360;
    }
    const int angle = TruncToInt(degrees);
    if (magnitude < 13) {
        return false;
    }
    if ((angle >= 1 && angle <= 28) || (angle >= 332 && angle <= 359)) {
        return magnitude <= 110;
    }
    return angle >= 309 && angle <= 331 && magnitude <= 75;
}

bool FindHeadSkin(const cv::Mat& colour, const cv::Mat& ycrcb, const cv::Mat& foreground,
                  const cv::Rect& blob, cv::Mat& scratch, cv::Rect* head) {
    if (!FrameImagesMatch(colour, ycrcb, foreground) || head == nullptr) {
        return false;
    }
    const cv::Size size = colour.size();
    EnsureMask(scratch, size);
    scratch.setTo(0);
    SkinColourModel model;
    ClearModel(model);

    const int x0 = blob.x, x1 = blob.x + std::max(0, blob.width);
    const int height = std::max(0, blob.height);
    const PixelRange top = ClampRange(x0, x1, blob.y, blob.y + height / 4, size);
    if (MarkRuleSkin(colour, ycrcb, foreground, top, scratch, model) <= 10) {
        return false;
    }
    FinishModel(model);
    const PixelRange upper = ClampRange(x0, x1, blob.y, blob.y + height / 3, size);
    MarkModelSkin(colour, ycrcb, foreground, upper, model, scratch);

    const double minArea = (size.width * size.height) / 1200;
    return LargestContourBox(scratch, minArea, head);
}

void LearnFaceColour(bool restart, float x, float y, float radius, const cv::Mat& colour,
                     const cv::Mat& ycrcb, const cv::Mat& foreground, cv::Mat& skinMap,
                     SkinColourModel& model) {
    if (!FrameImagesMatch(colour, ycrcb, foreground)) {
        return;
    }
    if (restart || learnCount.load() == 0) {
        ClearModel(model);
    }
    if (restart) {
        learnCount.store(0);
    } else if (learnCount.load() > 200) {
        return;
    }
    learnCount.fetch_add(1);

    const int W = colour.cols, H = colour.rows;
    EnsureMask(skinMap, colour.size());
    const double r = radius;
    // The face square (0.8 r around the centre) and below it a narrower neck strip down to
    // 2.2 r (half-width 0.5 r).
    const int col0 = std::max(0, RoundHalfUp(x - 0.8 * r));
    const int col1 = std::min(RoundHalfUp(x + 0.8 * r), W - 1);
    const int row0 = std::max(0, RoundHalfUp(y - 0.8 * r));
    const int row1 = std::min(RoundHalfUp(y + 2.2 * r), H - 1);
    const int faceBottom = std::min(RoundHalfUp(y + 0.8 * r), H - 1);
    const int neck0 = std::max(0, RoundHalfUp(x - 0.5 * r));
    const int neck1 = std::min(RoundHalfUp(x + 0.5 * r), W - 1);

    for (int row = row0; row < row1; ++row) {
        const uint8_t* fg = foreground.ptr<uint8_t>(row);
        uint8_t* skin = skinMap.ptr<uint8_t>(row);
        for (int col = col0; col < col1; ++col) {
            const bool counted = row <= faceBottom || (col >= neck0 && col <= neck1);
            if (!counted || fg[col] == 0) {
                continue;
            }
            if (skin[col] == 0) {
                const Rgb p = PixelAt(colour, row, col);
                if (!IsAdmissible(p) || !IsSkinByEitherRule(p) ||
                    !PassesOpponentAngle(p.r, p.g, p.b)) {
                    continue;
                }
                skin[col] = 1;
            }
            float sample[3];
            SampleAt(ycrcb, row, col, sample);
            AddColourSample(model, sample);
        }
    }
    FinishModel(model);
}

void BuildSkinMap(const cv::Mat& colour, const cv::Mat& ycrcb, const cv::Mat& foreground,
                  const SkinColourModel& tracked, const SkinColourModel& detected,
                  cv::Mat& skinMap) {
    if (!FrameImagesMatch(colour, ycrcb, foreground)) {
        return;
    }
    EnsureMask(skinMap, colour.size());
    skinMap.setTo(0);
    for (int row = 0; row < colour.rows; ++row) {
        const uint8_t* fg = foreground.ptr<uint8_t>(row);
        uint8_t* skin = skinMap.ptr<uint8_t>(row);
        for (int col = 0; col < colour.cols; ++col) {
            if (fg[col] == 0) {
                continue;
            }
            // The colour distance is cheaper than the hue, so it is asked first; the outcome is
            // the same in either order.
            float sample[3];
            SampleAt(ycrcb, row, col, sample);
            const bool close =
                ColourDistance(tracked, sample) < 10 || ColourDistance(detected, sample) < 10;
            if (close && InHueWindow(PixelAt(colour, row, col), 3, 19)) {
                skin[col] = 1;
            }
        }
    }
    RemoveIsolatedPixels(skinMap);
}

}  // namespace olvar
