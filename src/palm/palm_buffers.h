// The camera-grid images of the palm analysis, kept across frames: created for a frame size and
// re-created only when it changes, so a running analysis allocates nothing per frame.
#ifndef OLVAR_PALM_PALM_BUFFERS_H
#define OLVAR_PALM_PALM_BUFFERS_H

#include <opencv2/core.hpp>

#include "body/skin_colour.h"
#include "imaging/integral.h"
#include "palm/fingertips.h"
#include "palm/hand_region.h"

namespace olvar {

struct PalmBuffers {
    cv::Size size;  // the frame size the buffers are made for; empty until first used

    // The raw foreground mask resized to the frame (the companion mask) and the hand mask, with
    // their integrals.
    cv::Mat cameraForeground;
    Integral cameraForegroundIntegral;
    cv::Mat handMask;
    Integral handMaskIntegral;

    // The frame in YCrCb (only the hand's box is converted) and the hand's colour model.
    cv::Mat frameYCrCb;
    SkinColourModel colour;
    FillScratch fill;

    // The palm tracker's grey frame and edge map.
    cv::Mat grey;
    cv::Mat edges;
    CannyWork edgeWork;

    // The fingertip detection's images, integrals and lists.
    FingertipWork fingertips;

    // Re-creates every image and integral for a new frame size; true when it did.
    bool Fit(cv::Size frameSize);
};

inline bool PalmBuffers::Fit(cv::Size frameSize) {
    if (frameSize == size) {
        return false;
    }
    size = frameSize;
    const size_t pixels = static_cast<size_t>(frameSize.width) * frameSize.height;
    cameraForeground = cv::Mat::zeros(frameSize, CV_8UC1);
    handMask = cv::Mat::zeros(frameSize, CV_8UC1);
    cameraForegroundIntegral.assign(pixels, 0);
    handMaskIntegral.assign(pixels, 0);
    frameYCrCb.create(frameSize, CV_8UC3);
    fill.reached = cv::Mat::zeros(frameSize, CV_8UC1);
    fill.queue.clear();
    fill.queue.reserve(pixels);
    grey.create(frameSize, CV_8UC1);
    edges = cv::Mat::zeros(frameSize, CV_8UC1);
    return true;
}

}  // namespace olvar

#endif  // OLVAR_PALM_PALM_BUFFERS_H
