// A small rendered person for the hand tests and the hand benchmark: a torso block, a neck and a
// head, and two arms drawn as filled segments from parametric joint angles, with skin-coloured
// hands (and forearms with short sleeves). Ground truth: the shoulder, elbow and hand of each
// arm. The HandsRig feeds a UserTracker the maps the per-user step would give it: silhouette,
// the skin map with and without the face, changed pixels and motion counts from frame
// differences.
#ifndef OLVAR_TESTS_BODY_HANDS_SCENE_H
#define OLVAR_TESTS_BODY_HANDS_SCENE_H

#include <algorithm>
#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "body/user_tracker.h"
#include "imaging/integral.h"

namespace olvar::testing {

constexpr double kPi = 3.14159265358979323846;

// Angles in radians, 0 image-right, pi/2 image-up.
struct ArmPose {
    double upper = -kPi / 2;
    double fore = -kPi / 2;
};

struct BodyPose {
    std::string name;
    ArmPose arm[2];  // 0 image-right, 1 image-left
};

struct Appearance {
    std::string name;
    cv::Vec3b skin;  // blue, green, red
    cv::Vec3b shirt;
    bool shortSleeves = false;
};

inline const std::vector<Appearance>& Appearances() {
    static const std::vector<Appearance> list = {
        {"light skin, long sleeves", {150, 180, 232}, {150, 80, 40}, false},
        {"medium skin, short sleeves", {95, 135, 195}, {40, 40, 170}, true},
        {"dark skin, long sleeves", {45, 70, 115}, {70, 150, 60}, false},
        {"dark skin, short sleeves", {45, 70, 115}, {160, 160, 160}, true},
    };
    return list;
}

// The image-left arm's pose that mirrors an image-right arm pose.
inline ArmPose Mirror(const ArmPose& a) {
    return {kPi - a.upper, kPi - a.fore};
}

inline ArmPose Lerp(const ArmPose& a, const ArmPose& b, double u) {
    return {a.upper + (b.upper - a.upper) * u, a.fore + (b.fore - a.fore) * u};
}

// Swaps the arms (and mirrors them), so a motion of hand 0 becomes the same motion of hand 1.
inline BodyPose MirrorPose(const BodyPose& p) {
    return {p.name, {Mirror(p.arm[1]), Mirror(p.arm[0])}};
}

namespace poses {
inline const ArmPose kHanging{-kPi / 2 + 0.15, -kPi / 2 + 0.1};  // slightly away from the body
inline const ArmPose kOutSideways{0, 0};
inline const ArmPose kOutAndDown{-kPi / 4, -kPi / 4};
inline const ArmPose kAboveHead{0.35 * kPi, 0.6 * kPi};
inline const ArmPose kAtChest{-kPi / 2 - 0.1, 0.85 * kPi};
inline const ArmPose kRaisedToSide{0.2 * kPi, 0.45 * kPi};
inline const ArmPose kRaised{0.4 * kPi, 0.5 * kPi};
inline const ArmPose kOutLow{-0.15 * kPi, -0.1 * kPi};
inline const ArmPose kWaveCentre{0.1 * kPi, 0.5 * kPi};
}  // namespace poses

// Still poses; `clear` tells whether both hands stand clear of the body below the shoulder
// line, where detection searches.
struct StillPose {
    BodyPose pose;
    bool clear;
};

inline std::vector<StillPose> StillPoses() {
    using namespace poses;
    return {
        {{"arms hanging down", {kHanging, Mirror(kHanging)}}, true},
        {{"arms held out sideways", {kOutSideways, Mirror(kOutSideways)}}, true},
        {{"arms out and down", {kOutAndDown, Mirror(kOutAndDown)}}, true},
        {{"both hands above the head", {kAboveHead, Mirror(kAboveHead)}}, false},
        {{"one hand in front of the chest", {kAtChest, Mirror(kHanging)}}, false},
        {{"one hand raised to the side", {kRaisedToSide, Mirror(kHanging)}}, false},
    };
}

// Motions of hand 0 (hand 1 hangs), each starting from hanging arms.
struct Motion {
    std::string name;
    std::vector<BodyPose> frames;
};

inline std::vector<Motion> ScriptedMotions() {
    using namespace poses;
    const ArmPose rest = Mirror(kHanging);
    std::vector<Motion> m(3);
    m[0].name = "raise";
    for (int i = 0; i <= 40; ++i) {
        m[0].frames.push_back({"", {Lerp(kHanging, kRaised, std::min(1.0, i / 30.0)), rest}});
    }
    m[1].name = "swipe outward";
    for (int i = 0; i <= 20; ++i) {
        m[1].frames.push_back({"", {Lerp(kHanging, kAtChest, i / 20.0), rest}});
    }
    for (int i = 1; i <= 20; ++i) {
        m[1].frames.push_back({"", {Lerp(kAtChest, kOutLow, i / 20.0), rest}});
    }
    m[2].name = "wave";
    for (int i = 0; i <= 20; ++i) {
        m[2].frames.push_back({"", {Lerp(kHanging, kWaveCentre, i / 20.0), rest}});
    }
    for (int i = 1; i <= 40; ++i) {
        ArmPose p = kWaveCentre;
        p.fore += 0.2 * kPi * std::sin(i * 2 * kPi / 13);
        m[2].frames.push_back({"", {p, rest}});
    }
    return m;
}

struct ArmTruth {
    cv::Point2d shoulder, elbow, hand;
};

struct RenderedFrame {
    cv::Mat colour;  // 8-bit BGR
    cv::Mat mask;    // silhouette, 0/1
    cv::Mat skin;    // skin pixels, 0/1
    ArmTruth arm[2];
};

// The person stands at the frame centre; every dimension is a multiple of the torso
// half-width t, which is 20 pixels at 200 x 150.
class BodyScene {
  public:
    explicit BodyScene(int width = 200, int height = 150, double torsoX = 100)
        : W(width), H(height), k(width / 200.0), torsoX(torsoX * k), torsoY(62 * k), t(20 * k) {}

    int W, H;
    double k;
    double torsoX, torsoY, t;

    double FaceX() const { return torsoX; }
    double FaceY() const { return torsoY - 1.05 * t; }
    double FaceSize() const { return t; }
    // The skeleton's shoulders: half a torso half-width below the shoulder line, 0.8 t out.
    cv::Point2d Shoulder(int arm) const {
        return {torsoX + (arm == 0 ? 0.8 : -0.8) * t, torsoY + 0.5 * t};
    }
    double UpperLength() const { return 1.2 * t; }
    double ForeLength() const { return 1.45 * t; }

    ArmTruth ArmOf(int arm, const ArmPose& pose) const {
        ArmTruth a;
        a.shoulder = Shoulder(arm);
        a.elbow =
            a.shoulder + UpperLength() * cv::Point2d(std::cos(pose.upper), -std::sin(pose.upper));
        a.hand = a.elbow + ForeLength() * cv::Point2d(std::cos(pose.fore), -std::sin(pose.fore));
        return a;
    }

    RenderedFrame Render(const BodyPose& pose, const Appearance& look) const {
        RenderedFrame f;
        f.colour.create(H, W, CV_8UC3);
        // A plain but not flat background.
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                f.colour.at<cv::Vec3b>(y, x) =
                    cv::Vec3b(90 + (x * 7 + y * 3) % 20, 105 + (x + y * 5) % 15, 100);
            }
        }
        f.mask = cv::Mat::zeros(H, W, CV_8UC1);
        f.skin = cv::Mat::zeros(H, W, CV_8UC1);
        const cv::Scalar shirt(look.shirt[0], look.shirt[1], look.shirt[2]);
        const cv::Scalar skin(look.skin[0], look.skin[1], look.skin[2]);

        // Torso: full width at the shoulder line, narrowing toward the bottom of the frame.
        std::vector<cv::Point> torso = {P(torsoX - t, torsoY), P(torsoX + t, torsoY),
                                        P(torsoX + 0.8 * t, H - 1), P(torsoX - 0.8 * t, H - 1)};
        Fill(f, torso, shirt, false);
        // Neck and head.
        std::vector<cv::Point> neck = {P(torsoX - 0.25 * t, FaceY()), P(torsoX + 0.25 * t, FaceY()),
                                       P(torsoX + 0.25 * t, torsoY + 1),
                                       P(torsoX - 0.25 * t, torsoY + 1)};
        Fill(f, neck, skin, true);
        const cv::Size axes(static_cast<int>(0.42 * t), static_cast<int>(0.55 * t));
        cv::ellipse(f.colour, P(FaceX(), FaceY()), axes, 0, 0, 360, skin, cv::FILLED);
        cv::ellipse(f.mask, P(FaceX(), FaceY()), axes, 0, 0, 360, 1, cv::FILLED);
        cv::ellipse(f.skin, P(FaceX(), FaceY()), axes, 0, 0, 360, 1, cv::FILLED);

        for (int arm = 0; arm < 2; ++arm) {
            const ArmTruth a = ArmOf(arm, pose.arm[arm]);
            f.arm[arm] = a;
            Segment(f, a.shoulder, a.elbow, 0.44 * t, shirt, false);
            Segment(f, a.elbow, a.hand, 0.3 * t, look.shortSleeves ? skin : shirt,
                    look.shortSleeves);
            const int r = static_cast<int>(0.28 * t + 0.5);
            cv::circle(f.colour, P(a.hand.x, a.hand.y), r, skin, cv::FILLED);
            cv::circle(f.mask, P(a.hand.x, a.hand.y), r, 1, cv::FILLED);
            cv::circle(f.skin, P(a.hand.x, a.hand.y), r, 1, cv::FILLED);
        }
        return f;
    }

  private:
    static cv::Point P(double x, double y) {
        return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
    }

    // Filled polygon into the colour image and the silhouette; into the skin map when bare.
    static void Fill(RenderedFrame& f, const std::vector<cv::Point>& poly, const cv::Scalar& colour,
                     bool bare) {
        cv::fillConvexPoly(f.colour, poly, colour);
        cv::fillConvexPoly(f.mask, poly, 1);
        cv::fillConvexPoly(f.skin, poly, bare ? 1 : 0);
    }

    // A limb of the given width with rounded ends.
    static void Segment(RenderedFrame& f, cv::Point2d a, cv::Point2d b, double width,
                        const cv::Scalar& colour, bool bare) {
        const cv::Point2d d = b - a;
        const double len = std::max(1e-9, std::hypot(d.x, d.y));
        const cv::Point2d n(-d.y / len * width / 2, d.x / len * width / 2);
        std::vector<cv::Point> quad = {P(a.x + n.x, a.y + n.y), P(b.x + n.x, b.y + n.y),
                                       P(b.x - n.x, b.y - n.y), P(a.x - n.x, a.y - n.y)};
        Fill(f, quad, colour, bare);
        const int r = static_cast<int>(width / 2);
        for (const cv::Point2d& end : {a, b}) {
            cv::circle(f.colour, P(end.x, end.y), r, colour, cv::FILLED);
            cv::circle(f.mask, P(end.x, end.y), r, 1, cv::FILLED);
            cv::circle(f.skin, P(end.x, end.y), r, bare ? 1 : 0, cv::FILLED);
        }
    }
};

// The maps of one frame as the per-user step builds them, and the tracker they drive. The
// torso and the face are placed from ground truth, as perfect torso and face trackers would.
class HandsRig {
  public:
    static constexpr int kHistory = 4;  // motion-count divisor d

    HandsRig(int width, int height) : W_(width), H_(height) { tracker.SetWorkingSize(W_, H_); }

    explicit HandsRig(const BodyScene& scene) : HandsRig(scene.W, scene.H) {
        PlaceBody(scene.torsoX, scene.torsoY, static_cast<int>(scene.t), scene.FaceX(),
                  scene.FaceY(), scene.FaceSize());
    }

    // Torso (centre of the shoulder line, half-width) and face, then the torso start: the
    // skeleton's scale, joint 1 half a torso half-width below the shoulder line, the head at the
    // face, the pose reset.
    void PlaceBody(double torsoX, double torsoY, int torsoSize, double faceX, double faceY,
                   double faceSize) {
        MoveBody(torsoX, torsoY, torsoSize, faceX, faceY, faceSize);
        tracker.torsoFound = true;
        tracker.faceFound = true;
        tracker.present = true;
        BodySkeleton& sk = tracker.skeleton;
        sk.SetSkeletonScale(tracker.torsoSize);
        sk.J(BodySkeleton::kShoulderCentre).x = tracker.torsoX;
        sk.J(BodySkeleton::kShoulderCentre).y = tracker.torsoY + 0.5 * tracker.torsoSize;
        sk.J(BodySkeleton::kHead).x = tracker.faceX;
        sk.J(BodySkeleton::kHead).y = tracker.faceY;
        sk.ResetSkeletonPose();
    }

    // The torso and face of a later frame (the skeleton follows them when tracking).
    void MoveBody(double torsoX, double torsoY, int torsoSize, double faceX, double faceY,
                  double faceSize) {
        tracker.torsoX = static_cast<float>(torsoX);
        tracker.torsoY = static_cast<float>(torsoY);
        tracker.torsoSize = torsoSize;
        tracker.faceX = static_cast<float>(faceX);
        tracker.faceY = static_cast<float>(faceY);
        tracker.faceSize = static_cast<float>(faceSize);
    }

    void Feed(const RenderedFrame& f) { Feed(f.colour, f.mask, f.skin); }

    // Takes a frame: builds the silhouette, skin, face-free skin, changed and motion-count
    // integrals. Detection reads the user's whole skin map (its cells lie below the shoulder line
    // anyway); tracking reaches up beside the head and reads the skin without the face.
    void Feed(const cv::Mat& frameColour, const cv::Mat& frameMask, const cv::Mat& frameSkin) {
        mask = frameMask.clone();
        BuildIntegral(foreground, mask);
        skin = frameSkin.clone();
        cv::Mat changedMask = cv::Mat::zeros(H_, W_, CV_8UC1);
        if (!previous_.empty()) {
            cv::Mat diff;
            cv::absdiff(frameColour, previous_, diff);
            cv::Mat grey;
            cv::cvtColor(diff, grey, cv::COLOR_BGR2GRAY);
            changedMask = grey > 12;
            changedMask /= 255;
        }
        previous_ = frameColour.clone();
        colour = frameColour.clone();
        BuildIntegral(changed, changedMask);
        differences_.push_back(changedMask);
        if (static_cast<int>(differences_.size()) > kHistory) {
            differences_.pop_front();
        }
        cv::Mat counts = cv::Mat::zeros(H_, W_, CV_8UC1);
        for (const cv::Mat& d : differences_) {
            counts += d;
        }
        BuildIntegral(motionCount, counts);
        BuildIntegral(skinWithFace, skin);
        tracker.RemoveFaceSkin(skin, faceFreeSkin);
    }

    int Start() {
        tracker.skeleton.ResetSkeletonPose();
        return tracker.StartHands(foreground.data(), skinWithFace.data(), colour, changed.data(),
                                  motionCount.data(), kHistory);
    }

    int Track(HandSelector selector = HandSelector::kBoth) {
        return tracker.TrackHands(mask, foreground.data(), faceFreeSkin.data(), skin,
                                  changed.data(), motionCount.data(), kHistory, selector);
    }

    double HandError(int arm, cv::Point2d truth) const {
        return std::hypot(tracker.handX[arm] - truth.x, tracker.handY[arm] - truth.y);
    }
    double HandError(int arm, const RenderedFrame& f) const {
        return HandError(arm, f.arm[arm].hand);
    }

    UserTracker tracker;
    cv::Mat mask, skin, colour;
    Integral foreground, skinWithFace, faceFreeSkin, changed, motionCount;

  private:
    int W_, H_;
    cv::Mat previous_;
    std::deque<cv::Mat> differences_;
};

}  // namespace olvar::testing

#endif  // OLVAR_TESTS_BODY_HANDS_SCENE_H
