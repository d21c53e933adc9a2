// Fingertip detection on hand-made masks: the region grown out of the palm, the candidate grid,
// the farthest-first acceptance with its separation, beyond-tip and base tests, and the record's
// finger slots.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "palm/fingertips.h"
#include "palm_masks.h"

namespace olvar {
namespace {

using palm_masks::Blank;
using palm_masks::IntegralOf;

constexpr double kUp = 1.5707963267948966;
constexpr int W = 320, H = 320;
const cv::Point kCentre(160, 200);
constexpr int kR = 20;

// Four fingers of palm_masks::OpenHand pointing up and spread (tips about 2.5 R out), plus the
// drawn tip positions.
std::vector<cv::Point2d> DrawHand(cv::Mat& mask) {
    palm_masks::OpenHand(mask, kCentre, kR);
    std::vector<cv::Point2d> tips;
    for (int f = 0; f < 4; ++f) {
        const cv::Point root = palm_masks::FingerRoot(kCentre, kR, f);
        const double angle = palm_masks::FingerAngle(f);
        tips.emplace_back(root.x + 1.8 * kR * std::cos(angle), root.y - 1.8 * kR * std::sin(angle));
    }
    return tips;
}

ModelTips NoModelTips() {
    ModelTips model;
    model.radius = kR;
    model.palmAngle = kUp;
    for (cv::Point2d& tip : model.tips) {
        tip = {-1, -1};  // outside the image: no model candidates
    }
    return model;
}

struct Detection {
    PalmGroup group;
    HandBox box;
};

Detection Detect(const cv::Mat& hand, const cv::Mat& companion, const ModelTips& model) {
    const Integral handI = IntegralOf(hand), companionI = IntegralOf(companion);
    Detection d;
    d.box = {0, 0, W - 1, H - 1};
    FingertipWork work;
    FindFingertips({hand, handI.data()}, {companion, companionI.data()},
                   {static_cast<double>(kCentre.x), static_cast<double>(kCentre.y), kR}, model, 1.0,
                   2 * kR, &d.box, &work, &d.group);
    return d;
}

TEST(FindFingertips, FindsTheSpreadFingersFarthestFirst) {
    cv::Mat mask = Blank(W, H);
    const std::vector<cv::Point2d> drawn = DrawHand(mask);
    const Detection d = Detect(mask, mask, NoModelTips());
    int found = 0;
    double lastDistance = 1e9;
    for (int slot = 0; slot < kPalmFingers; ++slot) {
        const cv::Point2f tip = d.group.fingertips[slot];
        const double distance = std::hypot(tip.x - kCentre.x, tip.y - kCentre.y);
        if (distance < 1) {
            continue;  // an empty slot reports the palm centre
        }
        EXPECT_LE(distance, lastDistance + 1e-9) << "slots run farthest first";
        lastDistance = distance;
        double nearest = 1e9;
        for (const cv::Point2d& t : drawn) {
            nearest = std::min(nearest, std::hypot(tip.x - t.x, tip.y - t.y));
        }
        EXPECT_LE(nearest, 0.6 * kR) << "slot " << slot;
        const cv::Point2f base = d.group.fingerBases[slot];
        EXPECT_NEAR(std::hypot(base.x - kCentre.x, base.y - kCentre.y), kR + 1, 0.3 * kR)
            << "the base sits on the palm's rim";
        ++found;
    }
    EXPECT_EQ(found, 4);
    EXPECT_LT(d.box.y0, kCentre.y - 3 * kR) << "the hand box becomes the search rectangle";
}

TEST(FindFingertips, NoCompanionNearThePalmGivesPalmCentreSlots) {
    cv::Mat hand = Blank(W, H);
    DrawHand(hand);
    cv::Mat companion = Blank(W, H);
    companion(cv::Rect(10, 10, 30, 30)).setTo(1);  // far from the palm
    const Detection d = Detect(hand, companion, NoModelTips());
    for (int slot = 0; slot < kPalmFingers; ++slot) {
        EXPECT_EQ(d.group.fingertips[slot], cv::Point2f(kCentre));
        EXPECT_EQ(d.group.fingerBases[slot], cv::Point2f(kCentre));
    }
}

TEST(ValidateTips, ACandidateWhereTheRegionGoesOnIsNoTip) {
    // One candidate on the axis of a finger leaving the palm up and to the image right: accepted
    // where the finger ends 4 pixels further out, refused where it goes on (an arm, a blob).
    const double angle = kUp - 0.9;
    const TipPalm palm{static_cast<double>(kCentre.x), static_cast<double>(kCentre.y), kR};
    const double at = 56;
    TipCandidate candidate;
    candidate.x = std::trunc(kCentre.x + at * std::cos(angle));
    candidate.y = std::trunc(kCentre.y - at * std::sin(angle));
    candidate.distance = std::hypot(candidate.x - kCentre.x, candidate.y - kCentre.y);
    candidate.angle = std::atan2(kCentre.y - candidate.y, candidate.x - kCentre.x);
    struct Case {
        const char* name;
        double length;
        int accepted;
    };
    const Case cases[] = {{"finger ends", at + 4, 1}, {"region goes on", 150, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat hand = Blank(W, H);
        palm_masks::Disc(hand, kCentre, kR);
        palm_masks::Stroke(hand, kCentre, angle, c.length - 4, 8);
        cv::Mat second = hand.clone();
        cv::circle(second, kCentre, kR - 1, cv::Scalar(0), cv::FILLED);
        Integral secondI, handI;
        DetectedFingers fingers;
        ValidateTips({candidate}, {0}, palm, kUp, second, &secondI, hand, &handI, &fingers);
        EXPECT_EQ(fingers.count, c.accepted);
        if (fingers.count == 1) {
            EXPECT_NEAR(std::hypot(fingers.fingers[0].baseX - kCentre.x,
                                   fingers.fingers[0].baseY - kCentre.y),
                        kR + 1, 0.3 * kR);
            EXPECT_EQ(second.at<uint8_t>(static_cast<int>(candidate.y) + 3,
                                         static_cast<int>(candidate.x) - 3),
                      0)
                << "the accepted finger is erased";
        }
    }
}

TEST(FindTipCandidates, ModelTipsComeFirstThenTheGrid) {
    cv::Mat mask = Blank(W, H);
    const std::vector<cv::Point2d> drawn = DrawHand(mask);
    const Integral integral = IntegralOf(mask);
    cv::Mat region = mask.clone();
    cv::circle(region, kCentre, kR, cv::Scalar(0), cv::FILLED);
    ModelTips model = NoModelTips();
    model.tips[1] = drawn[0] + cv::Point2d(0, 3);         // on the first finger
    model.tips[2] = {5, 5};                               // on no region pixel
    model.tips[3] = {kCentre.x + 79.0, kCentre.y * 1.0};  // beyond (r * 2.4) * 1.2 + R = 77.6
    region.at<uint8_t>(kCentre.y, kCentre.x + 79) = 1;
    std::vector<TipCandidate> candidates;
    const TipPalm palm{static_cast<double>(kCentre.x), static_cast<double>(kCentre.y), kR};
    FindTipCandidates(region, integral.data(), integral.data(), {0, 0, W - 1, H - 1}, palm, model,
                      10.0, &candidates);
    ASSERT_GT(candidates.size(), 1u);
    EXPECT_EQ(candidates[0].x, std::trunc(model.tips[1].x));
    EXPECT_EQ(candidates[0].y, std::trunc(model.tips[1].y));
    EXPECT_EQ(candidates[0].score, 0.0) << "model tips carry no densities";
    for (size_t i = 1; i < candidates.size(); ++i) {
        EXPECT_GE(candidates[i].density, 0.35);
        EXPECT_LE(candidates[i].distance, 77.6);
    }
    std::vector<TipCandidate> none;
    FindTipCandidates(region, integral.data(), integral.data(), {0, 0, W - 1, H - 1}, palm,
                      NoModelTips(), 0.0, &none);
    EXPECT_TRUE(none.empty()) << "no grid without a grid step";
}

TEST(FindFingertips, DegenerateInputsWriteNothingOrPalmCentres) {
    cv::Mat mask = Blank(W, H);
    DrawHand(mask);
    const Integral integral = IntegralOf(mask);
    FingertipWork work;
    PalmGroup group;
    group.fingertips[0] = {7, 7};
    HandBox box{0, 0, W - 1, H - 1};
    FindFingertips({mask, nullptr}, {mask, integral.data()}, {160, 200, 20}, NoModelTips(), 1.0, 40,
                   &box, &work, &group);
    EXPECT_EQ(group.fingertips[0], cv::Point2f(7, 7)) << "no hand-mask integral: nothing written";
    FindFingertips({mask, integral.data()}, {mask, integral.data()}, {160, 200, 20}, NoModelTips(),
                   0.0, 40, &box, &work, &group);
    EXPECT_EQ(group.fingertips[0], cv::Point2f(7, 7)) << "k = 0";
    // A zero radius and hand size: no grid, every slot at the palm centre.
    FindFingertips({mask, integral.data()}, {mask, integral.data()}, {160, 200, 0}, ModelTips(),
                   1.0, 0, &box, &work, &group);
    // A palm far outside the frame.
    FindFingertips({mask, integral.data()}, {mask, integral.data()}, {-5000, 9000, 20},
                   NoModelTips(), 2.0, 40, &box, &work, &group);
}

TEST(GrowFingerRegion, GrowsFromThePalmOnlyAndCutsThePalmDisc) {
    cv::Mat companion = Blank(W, H);
    DrawHand(companion);
    companion(cv::Rect(280, 20, 20, 20)).setTo(1);  // not joined to the hand
    cv::Mat region = Blank(W, H);
    std::vector<int> queue;
    HandBox box{0, 0, W - 1, H - 1};
    ASSERT_EQ(GrowFingerRegion(companion, {160, 200, 20}, kUp, &box, region, &queue), 0);
    EXPECT_EQ(cv::countNonZero(region(cv::Rect(280, 20, 20, 20))), 0);
    EXPECT_EQ(region.at<uint8_t>(200, 160), 0) << "palm centre cut";
    EXPECT_EQ(region.at<uint8_t>(200 - 19, 160), 0) << "inside the disc";
    EXPECT_GT(cv::countNonZero(region), 400) << "the fingers remain";
    // Search rectangle: fingers up, so 3.5 R above and 2 R below; exactly up is not "pointing
    // right", so 3.5 R to the left; open to the right.
    EXPECT_EQ(box, (HandBox{90, 130, W - 2, 240}));

    cv::Mat wrong = Blank(10, 10);
    EXPECT_EQ(GrowFingerRegion(companion, {160, 200, 20}, kUp, &box, wrong, &queue), 12);
    EXPECT_EQ(GrowFingerRegion(cv::Mat(), {160, 200, 20}, kUp, &box, region, &queue), 12);
}

TEST(SortCandidates, FarthestFirstAndStableOnTies) {
    std::vector<TipCandidate> candidates(5);
    const double distances[] = {10, 30, 20, 30, 10};
    for (int i = 0; i < 5; ++i) {
        candidates[i].distance = distances[i];
    }
    std::vector<int> order;
    SortCandidates(candidates, &order);
    EXPECT_EQ(order, (std::vector<int>{1, 3, 2, 0, 4}));
}

}  // namespace
}  // namespace olvar
