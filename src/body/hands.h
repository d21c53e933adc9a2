// Work stores of hand detection and hand tracking (candidate cells, elbow candidates, forearm
// pairs, upper-arm hypotheses and the scratch images of the arm flood), kept in each user's
// tracker and reused from frame to frame.
#ifndef OLVAR_BODY_HANDS_H
#define OLVAR_BODY_HANDS_H

#include <vector>

#include <opencv2/core.hpp>

namespace olvar {

struct HandWorkStores {
    cv::Mat scratchMask;  // foreground copy with the body's column band cleared
    cv::Mat armImage;     // the arm region flood
    cv::Mat blobImage;    // the hand blob grown from the previous hand
};

}  // namespace olvar

#endif  // OLVAR_BODY_HANDS_H
