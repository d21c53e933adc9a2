// A small synthetic scene for the frame pipeline tests: a furnished room, a person made of
// ellipses and rectangles, camera noise, and the person's silhouette as ground truth.
// Geometry is given for a 640 x 480 frame and scaled to the frame size asked for.
#ifndef OLVAR_TESTS_LIBRARY_PIPELINE_SCENE_H
#define OLVAR_TESTS_LIBRARY_PIPELINE_SCENE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace olvar::scene {

// Where the person stands: the body's centre column, and how far the forearms are raised
// (0 hanging, 1 horizontal), both in 640 x 480 frame units.
struct Pose {
    double centreX = 320;
    double armLift = 0;
};

// Draws the room into a frame of the given size. `curtainShift` moves the window curtain
// sideways (640-frame pixels): a small one-off change in an otherwise still room.
inline cv::Mat Room(int width, int height, int curtainShift = 0) {
    const double s = width / 640.0;
    auto P = [s](double x, double y) { return cv::Point(cvRound(x * s), cvRound(y * s)); };
    cv::Mat room(height, width, CV_8UC3);
    // Wall with a soft vertical gradient and faint stripes of wallpaper.
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double shade = 12.0 * y / height + 4.0 * std::sin(x / (9.0 * s));
            room.at<cv::Vec3b>(y, x) = cv::Vec3b(cv::saturate_cast<uint8_t>(168 - shade),
                                                 cv::saturate_cast<uint8_t>(186 - shade),
                                                 cv::saturate_cast<uint8_t>(200 - shade));
        }
    }
    // Wooden floor with plank joints.
    cv::rectangle(room, P(0, 350), P(640, 480), cv::Scalar(62, 96, 138), cv::FILLED);
    for (int k = 0; k < 6; ++k) {
        cv::line(room, P(0, 362 + 22 * k), P(640, 362 + 22 * k), cv::Scalar(48, 78, 116), 1);
    }
    // Door, window with a curtain, picture, sofa.
    cv::rectangle(room, P(30, 90), P(140, 350), cv::Scalar(40, 70, 105), cv::FILLED);
    cv::circle(room, P(125, 225), std::max(1, cvRound(5 * s)), cv::Scalar(90, 170, 200),
               cv::FILLED);
    cv::rectangle(room, P(430, 50), P(590, 210), cv::Scalar(235, 215, 180), cv::FILLED);
    cv::rectangle(room, P(430, 50), P(590, 210), cv::Scalar(230, 230, 230),
                  std::max(1, cvRound(6 * s)));
    cv::rectangle(room, P(560 + curtainShift, 45), P(600 + curtainShift, 215),
                  cv::Scalar(70, 60, 150), cv::FILLED);
    cv::rectangle(room, P(230, 80), P(330, 150), cv::Scalar(60, 120, 60), cv::FILLED);
    cv::rectangle(room, P(240, 90), P(320, 140), cv::Scalar(150, 200, 220), cv::FILLED);
    cv::rectangle(room, P(420, 260), P(620, 370), cv::Scalar(70, 100, 55), cv::FILLED);
    cv::rectangle(room, P(420, 240), P(620, 275), cv::Scalar(60, 88, 48), cv::FILLED);
    return room;
}

// Draws the person into `image`: in colour on a 3-channel image, or as 1s on a
// single-channel silhouette of the same size.
inline void DrawPerson(cv::Mat& image, const Pose& pose) {
    const double s = image.cols / 640.0;
    const double cx = pose.centreX;
    const bool silhouette = image.channels() == 1;
    auto colour = [&](cv::Scalar c) { return silhouette ? cv::Scalar(1) : c; };
    auto P = [s](double x, double y) { return cv::Point(cvRound(x * s), cvRound(y * s)); };
    auto box = [&](double x0, double y0, double x1, double y1, cv::Scalar c) {
        cv::rectangle(image, P(x0, y0), P(x1, y1), colour(c), cv::FILLED);
    };
    const cv::Scalar skin(110, 145, 205), shirt(45, 50, 175), jeans(110, 62, 38), shoes(25, 25, 30),
        hair(30, 45, 70);
    // Legs and shoes, with a gap between the legs.
    box(cx - 48, 300, cx - 8, 452, jeans);
    box(cx + 8, 300, cx + 48, 452, jeans);
    box(cx - 52, 452, cx - 6, 466, shoes);
    box(cx + 6, 452, cx + 52, 466, shoes);
    // Torso and neck.
    box(cx - 58, 150, cx + 58, 310, shirt);
    box(cx - 12, 132, cx + 12, 152, skin);
    // Upper arms hang beside the torso, forearms rise with armLift.
    box(cx - 84, 155, cx - 60, 240, shirt);
    box(cx + 60, 155, cx + 84, 240, shirt);
    const double lift = 70 * pose.armLift;
    box(cx - 84, 238 - lift, cx - 62, 305 - lift, skin);
    box(cx + 62, 238 - lift, cx + 84, 305 - lift, skin);
    // Head with hair.
    cv::ellipse(image, P(cx, 100), cv::Size(cvRound(30 * s), cvRound(38 * s)), 0, 0, 360,
                colour(skin), cv::FILLED);
    cv::ellipse(image, P(cx, 84), cv::Size(cvRound(31 * s), cvRound(24 * s)), 0, 180, 360,
                colour(hair), cv::FILLED);
}

// Adds Gaussian camera noise of the given deviation to every channel.
inline cv::Mat WithNoise(const cv::Mat& clean, double sigma, cv::RNG& rng) {
    cv::Mat noise(clean.size(), CV_16SC3);
    rng.fill(noise, cv::RNG::NORMAL, 0, sigma);
    cv::Mat noisy;
    cv::add(clean, noise, noisy, cv::noArray(), CV_8UC3);
    return noisy;
}

// Multiplies the brightness by a gain that grows from `left` at column 0 to `right` at the
// last column (a light change that is uneven across the room).
inline cv::Mat WithLightGain(const cv::Mat& image, double left, double right) {
    cv::Mat out(image.size(), image.type());
    for (int x = 0; x < image.cols; ++x) {
        const double gain = left + (right - left) * x / std::max(1, image.cols - 1);
        image.col(x).convertTo(out.col(x), CV_8UC3, gain);
    }
    return out;
}

// The frame as a host hands it over: packed rows of 3 bytes per pixel.
inline std::vector<unsigned char> HostBytes(const cv::Mat& frame) {
    const cv::Mat packed = frame.isContinuous() ? frame : frame.clone();
    return std::vector<unsigned char>(packed.data, packed.data + packed.total() * 3);
}

// The silhouette at working resolution: a working pixel belongs to the person when the person
// covers at least half of it.
inline cv::Mat WorkingSilhouette(const cv::Mat& silhouette, cv::Size working) {
    cv::Mat scaled;
    silhouette.convertTo(scaled, CV_32F);
    cv::resize(scaled, scaled, working, 0, 0, cv::INTER_AREA);
    cv::Mat mask = scaled >= 0.5;
    return mask / 255;
}

// Intersection over union of two masks (non-zero = set); 1 when both are empty.
inline double IntersectionOverUnion(const cv::Mat& a, const cv::Mat& b) {
    const cv::Mat setA = a != 0, setB = b != 0;
    const int both = cv::countNonZero(setA & setB);
    const int either = cv::countNonZero(setA | setB);
    return either == 0 ? 1.0 : static_cast<double>(both) / either;
}

}  // namespace olvar::scene

#endif  // OLVAR_TESTS_LIBRARY_PIPELINE_SCENE_H
