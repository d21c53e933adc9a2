// Frame preparation: the host frame is copied into the context, reduced to the working size,
// smoothed and converted to YCrCb; the change against the background and the previous frames
// then decides whether tracking is worth running.
#ifndef OLVAR_LIBRARY_FRAME_PREPARATION_H
#define OLVAR_LIBRARY_FRAME_PREPARATION_H

#include "library/tracking_context.h"

namespace olvar {

// Result of PrepareFrame for a scene in which nothing moved: tracking goes on from the last
// state. Never reaches the host.
constexpr int kStillScene = 100;

// Copies a host frame of `size` bytes, laid out as the context's geometry declares, into the
// context's input image (flipping bottom-up frames). Returns 0, 12 (null data or wrong size) or
// 21 (unknown pixel format).
int CopyFrame(TrackingContext& context, const unsigned char* data, int size);

// Reduces the input image to the working colour image, smooths it and converts it to YCrCb.
void ReduceAndConvert(TrackingContext& context);

// The whole preparation of one frame. Returns 0 (tracking may run), 1 (warm-up), 12, 16 (too
// much motion), 21 or kStillScene.
int PrepareFrame(TrackingContext& context, const unsigned char* data, int size);

// Number of frames that passed the copy stage since the library was loaded, across all
// trackers.
int FramesSinceLoad();

}  // namespace olvar

#endif  // OLVAR_LIBRARY_FRAME_PREPARATION_H
