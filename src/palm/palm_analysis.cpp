#include "palm/palm_analysis.h"

#include "olvar/olvar.h"

namespace olvar {

int PalmAnalysis(const UserTracker& /*tracker*/, const PalmFrame& frame, PalmBuffers* /*buffers*/,
                 PalmState* palm) {
    if (frame.handMask.mask.empty() || frame.skin.mask.empty() || frame.skin.mask.cols <= 0) {
        return kOlvarLost;
    }
    palm->k = static_cast<double>(frame.handMask.mask.cols) / frame.skin.mask.cols;
    palm->inverseK = 1.0 / palm->k;
    if (palm->handRegionFound) {
        // Starting and following the palm needs the palm particle tracker and the hand model;
        // until they are part of the build a raised hand stays idle.
        palm->palmActive = false;
    }
    return palm->palmActive ? kOlvarOk : kOlvarLost;
}

}  // namespace olvar
