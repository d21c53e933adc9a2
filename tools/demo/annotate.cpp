#include "demo/annotate.h"

#include <cstdlib>

#include <opencv2/highgui.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace olvar::demo {
namespace {

const cv::Scalar kUserColours[2] = {cv::Scalar(60, 220, 60), cv::Scalar(240, 160, 40)};

cv::Point P(float x, float y) {
    return cv::Point(cvRound(x), cvRound(y));
}
cv::Point P(const OlvarPoint& p) {
    return P(p.x, p.y);
}
bool Present(const OlvarPoint& p) {
    return p.x != 0.0f || p.y != 0.0f;
}

}  // namespace

void DrawRecord(cv::Mat& image, const TrackingRecord& r, const GestureRecord& gesture,
                const char* gestureName) {
    if (r.torsoHalfWidth <= 0) {
        return;
    }
    const cv::Scalar colour = kUserColours[r.userIndex == 1 ? 1 : 0];
    const int thick = std::max(1, image.cols / 320);
    const float half = r.faceSize / 2;
    cv::rectangle(image, P(r.faceX - half, r.faceY - half), P(r.faceX + half, r.faceY + half),
                  colour, thick);

    // Skeleton: neck - shoulder centre - hip centre, shoulders, upper arms, forearms to hands.
    const OlvarPoint* j = r.joints;
    auto bone = [&](cv::Point a, cv::Point b) {
        cv::line(image, a, b, colour, thick, cv::LINE_AA);
    };
    bone(P(j[kJointNeckTop]), P(j[kJointShoulderCentre]));
    bone(P(j[kJointShoulderCentre]), P(j[kJointHipCentre]));
    bone(P(j[kJointRightShoulder]), P(j[kJointLeftShoulder]));
    bone(P(j[kJointRightShoulder]), P(j[kJointRightElbow]));
    bone(P(j[kJointRightElbow]), P(r.hand0X, r.hand0Y));
    bone(P(j[kJointLeftShoulder]), P(j[kJointLeftElbow]));
    bone(P(j[kJointLeftElbow]), P(r.hand1X, r.hand1Y));
    for (const OlvarPoint& joint : r.joints) {
        cv::circle(image, P(joint), 2 * thick, colour, cv::FILLED);
    }
    cv::circle(image, P(r.hand0X, r.hand0Y), std::max(3, cvRound(r.hand0Size / 2)),
               cv::Scalar(0, 0, 255), thick);
    cv::circle(image, P(r.hand1X, r.hand1Y), std::max(3, cvRound(r.hand1Size / 2)),
               cv::Scalar(255, 0, 255), thick);

    const OlvarPoint* legs = r.legJoints;
    if (Present(legs[kLegRightHip])) {
        bone(P(j[kJointHipCentre]), P(legs[kLegRightHip]));
        bone(P(j[kJointHipCentre]), P(legs[kLegLeftHip]));
        bone(P(legs[kLegRightHip]), P(legs[kLegRightKnee]));
        bone(P(legs[kLegRightKnee]), P(legs[kLegRightFoot]));
        bone(P(legs[kLegLeftHip]), P(legs[kLegLeftKnee]));
        bone(P(legs[kLegLeftKnee]), P(legs[kLegLeftFoot]));
    }
    if (r.fingerEvent >= 0) {
        // Palm circle around the re-centred palm centre, fingers from base to tip, and the
        // finger event beside the palm.
        const cv::Point palm = P(r.hand1X, r.hand1Y);
        cv::circle(image, palm, std::max(2, cvRound(r.palmRadius)), cv::Scalar(0, 200, 0), thick,
                   cv::LINE_AA);
        for (int k = 0; k < 5; ++k) {
            bone(P(r.fingerBases[k]), P(r.fingertips[k]));
            cv::circle(image, P(r.fingerBases[k]), thick + 1, cv::Scalar(255, 128, 0), cv::FILLED);
            cv::circle(image, P(r.fingertips[k]), 2 * thick, cv::Scalar(0, 255, 255), cv::FILLED);
        }
        static const char* const kEvents[] = {"", "press", "held", "release"};
        if (r.fingerEvent >= 1 && r.fingerEvent <= 3) {
            cv::putText(image, kEvents[r.fingerEvent],
                        palm + cv::Point(cvRound(r.palmRadius) + 4, 0), cv::FONT_HERSHEY_SIMPLEX,
                        0.5 * thick, cv::Scalar(0, 0, 255), thick, cv::LINE_AA);
        }
    }
    const std::string label = "user " + std::to_string(r.userIndex) + "  " +
                              (gesture.gesture >= 0 && gestureName ? gestureName : "");
    cv::putText(image, label, P(r.faceX - half, r.faceY - half - 6), cv::FONT_HERSHEY_SIMPLEX,
                0.5 * thick, colour, thick, cv::LINE_AA);
}

Annotator::Annotator(IOlvar* tracker, const DemoOptions& options, cv::Size frameSize)
    : tracker_(tracker), options_(options), frameSize_(frameSize) {
    videoPath_ = options.outputDir + "/annotated.avi";
    previewBytes_.resize(static_cast<size_t>(frameSize.width) * frameSize.height * 4);
}

bool Annotator::Open(std::string* error) {
    const cv::Size pair(frameSize_.width * 2, frameSize_.height);
    if (!writer_.open(videoPath_, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0, pair)) {
        *error = "cannot write " + videoPath_;
        return false;
    }
    const char* display = std::getenv("DISPLAY");
    window_ = options_.window && display != nullptr && *display != '\0';
    if (options_.window && !window_) {
        std::fprintf(stderr, "olvar-demo: no display; running headless\n");
    }
    return true;
}

cv::Mat Annotator::Preview() {
    const int w = frameSize_.width, h = frameSize_.height;
    if (tracker_->GetPreviewImage(previewBytes_.data(), static_cast<int>(previewBytes_.size()), w,
                                  h, w * 4) != kOlvarOk) {
        return cv::Mat::zeros(h, w, CV_8UC3);
    }
    // Bytes per pixel: 255, red, green, blue.
    cv::Mat argb(h, w, CV_8UC4, previewBytes_.data());
    cv::Mat bgr(h, w, CV_8UC3);
    const int fromTo[] = {3, 0, 2, 1, 1, 2};
    cv::mixChannels(&argb, 1, &bgr, 1, fromTo, 3);
    return bgr;
}

void Annotator::Add(const cv::Mat& frame, int status, int users, const TrackingRecord* records,
                    const GestureRecord* gestures) {
    cv::Mat canvas(frameSize_.height, frameSize_.width * 2, CV_8UC3);
    cv::Mat left = canvas(cv::Rect(0, 0, frameSize_.width, frameSize_.height));
    frame.copyTo(left);
    bool anyUser = false;
    if (status == kOlvarOk) {
        for (int k = 0; k < users; ++k) {
            DrawRecord(left, records[k], gestures[k],
                       tracker_->GetGestureName(gestures[k].gesture));
            anyUser = anyUser || records[k].torsoHalfWidth > 0;
        }
    }
    cv::putText(left, "frame " + std::to_string(frame_) + "  status " + std::to_string(status),
                cv::Point(8, 20), cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(255, 255, 255), 1,
                cv::LINE_AA);
    Preview().copyTo(canvas(cv::Rect(frameSize_.width, 0, frameSize_.width, frameSize_.height)));
    writer_.write(canvas);
    // A still of a tracked frame for the documentation.
    if (anyUser && !snapshotTaken_ && frame_ % 10 == 0) {
        cv::imwrite(options_.outputDir + "/snapshot.png", canvas);
        snapshotTaken_ = frame_ > 120;
    }
    if (window_) {
        cv::imshow("olvar-demo", canvas);
        const int key = cv::waitKey(1);
        windowClosed_ = key == 27 || key == 'q';
    }
    ++frame_;
}

}  // namespace olvar::demo
