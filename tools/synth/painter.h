// Drawing people into a frame while recording, per pixel, who and which body part covers it.
#ifndef OLVAR_TOOLS_SYNTH_PAINTER_H
#define OLVAR_TOOLS_SYNTH_PAINTER_H

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/body.h"

namespace olvar::synth {

// What covers a pixel; stored in a CV_8UC1 part map.
enum class Part : uint8_t {
    kNone = 0,
    kSkin = 1,
    kHair = 2,
    kShirt = 3,
    kTrousers = 4,
    kShoes = 5,
    kFeature = 6,  // eyes, eyebrows, mouth
};

// A colour image with two label maps of the same size: `owner` (0 = background, else person
// index + 1) and `part` (a Part). Shapes are filled with anti-aliased edges: the colour is blended
// by coverage, and the labels are taken by pixels at least half covered, so a later shape hides
// an earlier one in the labels exactly as it does in the picture.
class Canvas {
  public:
    Canvas(cv::Mat* image, cv::Mat* owner, cv::Mat* part);

    void Fill(const std::vector<cv::Point2f>& outline, const cv::Scalar& colour, Part part,
              uint8_t owner);

  private:
    cv::Mat* image_;
    cv::Mat* owner_;
    cv::Mat* part_;
};

// Outlines (closed polygons) of the shapes people are made of.
std::vector<cv::Point2f> EllipseOutline(cv::Point2f centre, cv::Point2f axis, float along,
                                        float across);
std::vector<cv::Point2f> CapsuleOutline(cv::Point2f a, cv::Point2f b, float radiusA, float radiusB);

// Paints one person; returns the head's bounding box (hair, ears and face).
cv::Rect2f PaintPerson(const Body& body, const Appearance& look, uint8_t owner, Canvas* canvas);

}  // namespace olvar::synth

#endif  // OLVAR_TOOLS_SYNTH_PAINTER_H
