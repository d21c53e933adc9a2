#include "imaging/contours.h"

#include <opencv2/imgproc.hpp>

namespace olvar {

std::vector<std::vector<cv::Point>> FindOuterContours(cv::Mat& mask) {
    std::vector<std::vector<cv::Point>> contours;
    if (mask.empty()) {
        return contours;
    }
    mask.row(0).setTo(0);
    mask.row(mask.rows - 1).setTo(0);
    mask.col(0).setTo(0);
    mask.col(mask.cols - 1).setTo(0);
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    return contours;
}

}  // namespace olvar
