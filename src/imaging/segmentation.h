// Foreground segmentation: the codebook classification of changed blocks and the clean-up that
// turns it into the foreground mask.
#ifndef OLVAR_IMAGING_SEGMENTATION_H
#define OLVAR_IMAGING_SEGMENTATION_H

#include <opencv2/core.hpp>

namespace olvar {

// Buffers of the segmentation, all of the working size.
struct SegmentationWorkspace {
    int width = 0;
    int height = 0;
    int pixelCount = 0;
    bool allocated = false;

    // Re-creates every buffer for a width x height working image.
    void Resize(int newWidth, int newHeight);
};

}  // namespace olvar

#endif  // OLVAR_IMAGING_SEGMENTATION_H
