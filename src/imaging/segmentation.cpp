#include "imaging/segmentation.h"

namespace olvar {

void SegmentationWorkspace::Resize(int newWidth, int newHeight) {
    width = newWidth;
    height = newHeight;
    pixelCount = newWidth * newHeight;
    allocated = true;
}

}  // namespace olvar
