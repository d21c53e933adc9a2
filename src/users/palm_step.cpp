// The per-user step's palm part: the region test on hand 1, the camera-resolution companion and
// hand masks with their integrals, then the palm analysis.
#include <opencv2/imgproc.hpp>

#include "palm/palm_analysis.h"
#include "users/per_user_state.h"

namespace olvar {
namespace {

// Colour distance below which a frame pixel counts as the hand's colour.
constexpr float kHandColourDistance = 10.0f;

// The (Cr, Cb, Y) sample of a pixel of a YCrCb image (channels Y, Cr, Cb).
void Sample(const uint8_t* pixel, float sample[3]) {
    sample[0] = pixel[1];
    sample[1] = pixel[2];
    sample[2] = pixel[0];
}

// The box with its corners multiplied by `factor` and truncated, clamped into the size.
HandBox ScaleBox(const HandBox& box, double factor, cv::Size size) {
    return ClampBox({TruncToInt(box.x0 * factor), TruncToInt(box.y0 * factor),
                     TruncToInt(box.x1 * factor), TruncToInt(box.y1 * factor)},
                    size.width, size.height);
}

cv::Rect PixelsOf(const HandBox& box) {
    return {box.x0, box.y0, box.x1 - box.x0 + 1, box.y1 - box.y0 + 1};
}

}  // namespace

int PerUserState::PalmStep(const FrameView& frame, double scale) {
    const UserTracker& u = Current();
    PalmState& p = palm[current];
    const MaskView skin{skinMap, skinIntegral.data()};
    const MaskView foreground{frame.foreground, frame.foregroundIntegral};
    if (HandRegionStep(u, skin, foreground, &p) == kHandRegionMissing) {
        return kOlvarNothing;
    }
    if (frame.input.empty() || frame.input.type() != CV_8UC3 || frame.rawForeground.empty()) {
        p.palmActive = false;
        return kOlvarNothing;
    }

    PalmBuffers& b = palmBuffers;
    b.Fit(frame.input.size());
    cv::resize(frame.rawForeground, b.cameraForeground, b.size, 0, 0, cv::INTER_LINEAR);
    BuildIntegral(b.cameraForegroundIntegral, b.cameraForeground);
    PrepareHandMask(frame, p.handBox);
    BuildIntegral(b.handMaskIntegral, b.handMask);

    const MaskView handMask{b.handMask, b.handMaskIntegral.data()};
    HandBox cameraBox = ScaleBox(p.handBox, scale, b.size);
    if (TightenBox(handMask, &cameraBox) && FillHoles(cameraBox, b.handMask, &b.fill)) {
        BuildIntegral(b.handMaskIntegral, b.handMask);
    }

    const PalmFrame palmFrame{
        frame.input, handMask,   {b.cameraForeground, b.cameraForegroundIntegral.data()},
        skin,        foreground, {frame.motion, frame.motionIntegral}};
    return PalmAnalysis(u, palmFrame, &b, &p);
}

// The hand mask at camera resolution: where the hand's box holds face-free skin and foreground,
// the frame pixels of the box that are foreground and close to the colour learned from the box;
// otherwise the raw skin map resized to the frame.
void PerUserState::PrepareHandMask(const FrameView& frame, const HandBox& box) {
    PalmBuffers& b = palmBuffers;
    const HandBox wb = ClampBox(box, width, height);
    const bool skinInBox =
        ClampedCornerSum(handSearch.data(), width, height, wb.x0, wb.y0, wb.x1, wb.y1) > 0;
    const bool foregroundInBox =
        ClampedCornerSum(frame.foregroundIntegral, width, height, wb.x0, wb.y0, wb.x1, wb.y1) > 0;
    if (!skinInBox || !foregroundInBox) {
        cv::resize(rawSkinMap, b.handMask, b.size, 0, 0, cv::INTER_LINEAR);
        return;
    }
    LearnPalmColour(frame.ycrcb, wb);

    // The camera grid is wider than the working grid by frame width / working width; the box
    // scaled by it may reach past the frame's bottom, so it is clamped.
    const HandBox cb = ScaleBox(wb, static_cast<double>(b.size.width) / width, b.size);
    const cv::Rect pixels = PixelsOf(cb);
    b.handMask.setTo(0);
    cv::Mat converted = b.frameYCrCb(pixels);
    cv::cvtColor(frame.input(pixels), converted, cv::COLOR_BGR2YCrCb);
    for (int y = cb.y0; y <= cb.y1; ++y) {
        const uint8_t* companion = b.cameraForeground.ptr<uint8_t>(y);
        const uint8_t* ycc = b.frameYCrCb.ptr<uint8_t>(y);
        uint8_t* hand = b.handMask.ptr<uint8_t>(y);
        for (int x = cb.x0; x <= cb.x1; ++x) {
            if (companion[x] == 0) {
                continue;
            }
            float sample[3];
            Sample(ycc + 3 * x, sample);
            hand[x] = ColourDistance(b.colour, sample) < kHandColourDistance ? 1 : 0;
        }
    }
}

// The hand's colour from the working pixels of its box that the raw skin map marks.
void PerUserState::LearnPalmColour(const cv::Mat& ycrcb, const HandBox& box) {
    SkinColourModel& model = palmBuffers.colour;
    ClearModel(model);
    for (int y = box.y0; y <= box.y1; ++y) {
        const uint8_t* skin = rawSkinMap.ptr<uint8_t>(y);
        const uint8_t* ycc = ycrcb.ptr<uint8_t>(y);
        for (int x = box.x0; x <= box.x1; ++x) {
            if (skin[x] != 0) {
                float sample[3];
                Sample(ycc + 3 * x, sample);
                AddColourSample(model, sample);
            }
        }
    }
    FinishModel(model);
}

}  // namespace olvar
