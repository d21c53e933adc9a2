#include "synth/scene.h"

#include <opencv2/imgproc.hpp>

namespace olvar::synth {

cv::Mat RenderEmptyRoom(int width, int height, unsigned seed) {
    cv::Mat room(height, width, CV_8UC3, cv::Scalar(170, 180, 190));
    cv::RNG rng(seed);
    cv::rectangle(room, cv::Rect(0, height * 3 / 4, width, height / 4), cv::Scalar(90, 110, 130),
                  cv::FILLED);
    for (int i = 0; i < 4; ++i) {
        const int x = rng.uniform(0, width), y = rng.uniform(0, height * 3 / 4);
        cv::rectangle(room, cv::Rect(x, y, width / 8, height / 6),
                      cv::Scalar(rng.uniform(40, 220), rng.uniform(40, 220), rng.uniform(40, 220)),
                      cv::FILLED);
    }
    return room;
}

}  // namespace olvar::synth
