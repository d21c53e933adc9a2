// Skin colour: a Gaussian colour model of a user's face colour over (Cr, Cb, Y) samples, the
// fixed colour rules that decide which pixels may teach it, the search for the skin-coloured
// head region inside a body blob, and the per-frame skin map.
#ifndef OLVAR_BODY_SKIN_COLOUR_H
#define OLVAR_BODY_SKIN_COLOUR_H

#include <opencv2/core.hpp>

namespace olvar {

struct SkinColourModel {
    float mean[3] = {0, 0, 0};
    float determinant = 0;
    float covariance[3][3] = {};
    float inverse[3][3] = {};
    float sums[3] = {0, 0, 0};
    int sampleCount = 0;
    float products[3][3] = {};
    float rootDeterminant = 0;
    bool valid = false;
};

void ClearModel(SkinColourModel& model);
void AddColourSample(SkinColourModel& model, const float sample[3]);
void FinishModel(SkinColourModel& model);
void MergeModel(const SkinColourModel& source, SkinColourModel& target);
// Squared Mahalanobis distance of a (Cr, Cb, Y) sample; 100 for an empty model.
float ColourDistance(const SkinColourModel& model, const float sample[3]);

struct HueSaturation {
    int hue;
    int saturation;
};
// Hue in hundredths of a turn of the YIQ chroma plane (grey is 50) and a saturation scaled to
// the brightness; black has no saturation and reports -1, outside every saturation window.
HueSaturation ChromaHueSaturation(int blue, int green, int red);

// Colour rules on one pixel of the working colour image.
bool IsAdmissibleColour(int red, int green, int blue);
bool IsBrightSkin(int red, int green, int blue);
bool IsMainSkin(int red, int green, int blue);
bool PassesOpponentAngle(int red, int green, int blue);

// Looks for the skin-coloured head inside a body blob; true with the head box when found.
// `scratch` receives the accepted pixels (re-created at the frame's size when needed); the
// contour search clears its outermost rows and columns, which count as background. Images of
// different sizes or types find nothing.
bool FindHeadSkin(const cv::Mat& colour, const cv::Mat& ycrcb, const cv::Mat& foreground,
                  const cv::Rect& blob, cv::Mat& scratch, cv::Rect* head);

// Learns the face colour around (x, y) into `model`, marking taught pixels in the skin map.
// `restart` clears the model and the process-wide learning counter first.
void LearnFaceColour(bool restart, float x, float y, float radius, const cv::Mat& colour,
                     const cv::Mat& ycrcb, const cv::Mat& foreground, cv::Mat& skinMap,
                     SkinColourModel& model);

// The 0/1 map of foreground pixels whose colour is skin-like and close to either face model.
void BuildSkinMap(const cv::Mat& colour, const cv::Mat& ycrcb, const cv::Mat& foreground,
                  const SkinColourModel& tracked, const SkinColourModel& detected,
                  cv::Mat& skinMap);

}  // namespace olvar

#endif  // OLVAR_BODY_SKIN_COLOUR_H
