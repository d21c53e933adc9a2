// Hand detection by fitting the arm chains: accuracy on rendered poses, the search ranges, the
// stage limits and the store capacities.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "body/face_colour_tracker.h"
#include "body/hands.h"
#include "fixtures/hands_scene.h"
#include "imaging/integral_of.h"

namespace olvar {
namespace {

using testing::Appearances;
using testing::BodyScene;
using testing::HandsRig;
using testing::RenderedFrame;

double DistanceToSegment(cv::Point2d p, cv::Point2d a, cv::Point2d b) {
    const cv::Point2d d = b - a;
    const double len2 = d.dot(d);
    const double u = len2 > 0 ? std::clamp((p - a).dot(d) / len2, 0.0, 1.0) : 0.0;
    const cv::Point2d q = a + u * d;
    return std::hypot(p.x - q.x, p.y - q.y);
}

using test_imaging::IntegralOf;

// Maps of one constant mask (all pixels v) for the stage functions.
struct ConstantMaps {
    ConstantMaps(int W, int H, int v)
        : full(IntegralOf(cv::Mat(H, W, CV_8UC1, cv::Scalar(v)))),
          none(IntegralOf(cv::Mat::zeros(H, W, CV_8UC1))) {
        maps = HandMaps{W, H, full.data(), full.data(), none.data(), none.data(), 1};
    }
    Integral full, none;
    HandMaps maps;
};

// An arm context with the proportions of a torso half-width t, shoulder at (sx, sy).
ArmContext ArmAt(int arm, double t, double sx, double sy) {
    ArmContext c;
    c.arm = arm;
    c.W = 200;
    c.H = 150;
    c.bodyScale = t;
    c.torsoSize = static_cast<int>(t);
    c.torsoX = sx - (arm == 0 ? 0.8 : -0.8) * t;
    c.torsoY = sy - 0.5 * t;
    c.neckX = c.torsoX;
    c.neckY = sy - 0.3 * t;
    c.shoulderCentreY = sy;
    c.shoulderX = sx;
    c.shoulderY = sy;
    c.elbowRefX = sx;
    c.elbowRefY = sy + 1.1 * t;
    c.upperWidth = 0.44 * t;
    c.upperMin = 0.1 * t;
    c.upperMax = 1.7 * t;
    c.foreNominal = 1.5 * t;
    c.foreWidth = 0.3 * t;
    c.foreMin = 0.1 * t;
    c.foreMax = 2.0 * t;
    return c;
}

TEST(HandsStart, PlacesHandsOfStillPoses) {
    const BodyScene scene;
    const double bound = 0.5 * scene.t;
    std::printf("detection error per pose (torso half-width %.0f px, bound %.0f px)\n", scene.t,
                bound);
    for (const testing::Appearance& look : Appearances()) {
        for (const testing::StillPose& still : testing::StillPoses()) {
            HandsRig rig(scene);
            const RenderedFrame f = scene.Render(still.pose, look);
            rig.Feed(f);
            const int result = rig.Start();
            std::printf("  %-28s %-32s result %d", look.name.c_str(), still.pose.name.c_str(),
                        result);
            for (int arm = 0; arm < 2; ++arm) {
                std::printf("  hand %d: %s %5.1f px", arm,
                            rig.tracker.handFound[arm] ? "found" : "  -  ", rig.HandError(arm, f));
            }
            std::printf("\n");
            if (!still.clear) {
                continue;
            }
            SCOPED_TRACE(look.name + ", " + still.pose.name);
            EXPECT_EQ(result, 0);
            for (int arm = 0; arm < 2; ++arm) {
                ASSERT_TRUE(rig.tracker.handFound[arm]);
                const cv::Point2d hand(rig.tracker.handX[arm], rig.tracker.handY[arm]);
                if (look.shortSleeves) {
                    // A bare forearm is as skin-like as the hand: the hand lands on the arm.
                    EXPECT_LE(DistanceToSegment(hand, f.arm[arm].elbow, f.arm[arm].hand), bound)
                        << "hand " << arm;
                } else {
                    EXPECT_LE(rig.HandError(arm, f), bound) << "hand " << arm;
                }
                // The skeleton's hand joint and the hand agree.
                const int joint = arm == 0 ? BodySkeleton::kRightHand : BodySkeleton::kLeftHand;
                EXPECT_NEAR(rig.tracker.skeleton.J(joint).x, hand.x, 1e-3);
                EXPECT_NEAR(rig.tracker.skeleton.J(joint).y, hand.y, 1e-3);
                EXPECT_EQ(rig.tracker.handSizeInt[arm], 10);
                EXPECT_GT(rig.tracker.handMass[arm], 0);
            }
        }
    }
}

TEST(HandsStart, AChainReachingPastTheBorderLeavesTheHandInThePicture) {
    // Chains fitted to cells at the image border can end outside it; the hand, an observation
    // a host maps to a cursor, stays in the working image, while the skeleton's hand joint keeps
    // the chain's end.
    constexpr double kPi = 3.14159265358979323846;
    struct Case {
        const char* name;
        double shoulderX, shoulderY, angle;
        float handX, handY;
    };
    const Case cases[] = {
        {"right", 190, 50, 0, 199, 50},         {"left", 5, 50, kPi, 0, 50},
        {"down", 100, 140, -kPi / 2, 100, 149}, {"up", 100, 5, kPi / 2, 100, 0},
        {"inside", 100, 50, 0, 150, 50},
    };
    const std::vector<int32_t> noForeground(200 * 150, 0);
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        UserTracker tracker;
        tracker.torsoSize = 20;
        BodySkeleton& sk = tracker.skeleton;
        sk.J(BodySkeleton::kRightShoulder).x = k.shoulderX;
        sk.J(BodySkeleton::kRightShoulder).y = k.shoulderY;
        ArmChain chain;
        chain.upperLength = 20;
        chain.upperAngle = k.angle;
        chain.foreLength = 30;
        chain.foreAngle = k.angle;
        PlaceArmChain(tracker, 0, chain, 0, 0, noForeground.data());
        EXPECT_TRUE(tracker.handFound[0]);
        EXPECT_NEAR(tracker.handX[0], k.handX, 1e-4);
        EXPECT_NEAR(tracker.handY[0], k.handY, 1e-4);
        EXPECT_NEAR(sk.J(BodySkeleton::kRightHand).x, k.shoulderX + 50 * std::cos(k.angle), 1e-9);
        EXPECT_NEAR(sk.J(BodySkeleton::kRightHand).y, k.shoulderY - 50 * std::sin(k.angle), 1e-9);
    }
}

TEST(HandsStart, HandsStayInThePictureWhateverTheStartFinds) {
    // The hands are reported whether the start finds them or not. A person close to the camera
    // or at a side border has the skeleton's hand joints (arms hanging from the shoulders, or a
    // chain end past the border) outside the picture; a start that pairs forearms but accepts
    // no upper arm must not leave the hand at such a joint.
    struct Case {
        int W, H;
        double torsoX;
    };
    const Case cases[] = {{400, 150, 200}, {400, 150, 30},  {400, 150, 370}, {200, 150, 12},
                          {200, 150, 188}, {300, 150, 150}, {300, 150, 20}};
    for (const Case& c : cases) {
        const BodyScene scene(c.W, c.H, c.torsoX);
        for (const testing::StillPose& still : testing::StillPoses()) {
            for (const bool hideUpperArms : {false, true}) {
                const testing::Appearance& look = Appearances()[0];
                SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H) + " torso x " +
                             std::to_string(c.torsoX) + ", " + still.pose.name +
                             (hideUpperArms ? ", upper arms hidden" : ""));
                RenderedFrame f = scene.Render(still.pose, look);
                if (hideUpperArms) {  // forearms the start can pair, no upper arm to accept
                    for (const testing::ArmTruth& arm : f.arm) {
                        cv::line(f.mask, cv::Point(arm.shoulder), cv::Point(arm.elbow), 0,
                                 static_cast<int>(scene.t));
                        cv::line(f.skin, cv::Point(arm.shoulder), cv::Point(arm.elbow), 0,
                                 static_cast<int>(scene.t));
                    }
                }
                HandsRig rig(scene);
                rig.Feed(f);
                rig.Start();
                for (int arm = 0; arm < 2; ++arm) {
                    EXPECT_GE(rig.tracker.handX[arm], 0.0f) << "hand " << arm;
                    EXPECT_LE(rig.tracker.handX[arm], c.W - 1.0f) << "hand " << arm;
                    EXPECT_GE(rig.tracker.handY[arm], 0.0f) << "hand " << arm;
                    EXPECT_LE(rig.tracker.handY[arm], c.H - 1.0f) << "hand " << arm;
                }
            }
        }
    }
}

TEST(HandsStart, EmptyColumnRangeFailsBeforeTheSecondArm) {
    // t = 20 gives a cell pitch of 3: hand 0's columns start at torso x + 12 and must stay
    // below 200 - 3 - 1, so a torso at x >= 184 leaves hand 0 nothing to search.
    struct Case {
        double torsoX;
        bool hand1Tried;
    };
    for (const Case& c : {Case{184, false}, Case{183, true}}) {
        SCOPED_TRACE(c.torsoX);
        const BodyScene scene(200, 150, c.torsoX);
        HandsRig rig(scene);
        const testing::BodyPose pose{
            "", {testing::poses::kOutAndDown, testing::Mirror(testing::poses::kOutAndDown)}};
        rig.Feed(scene.Render(pose, Appearances()[0]));
        rig.tracker.handFound[1] = true;
        rig.tracker.handX[1] = -7;
        rig.tracker.handY[1] = -7;
        const int result = rig.Start();
        if (!c.hand1Tried) {
            EXPECT_EQ(result, 1);
        }
        // Hand 0 is cut off by the frame edge either way; hand 1 stands clear.
        EXPECT_EQ(rig.tracker.handX[1] != -7, c.hand1Tried);
        EXPECT_TRUE(rig.tracker.handFound[1]);
    }
}

TEST(HandsStart, CellGridBesideTheTorso) {
    // 200 x 150 frame. Hand 0's columns run from torso x + 4g up to but excluding W - g - 1,
    // hand 1's from g up to but excluding torso x - 4g; rows from torso y + 2g while below
    // H - g - 1. The grid holds n = (H - g - first row + 4) (column span + 5) / g^2 + 1 cells
    // and is refused when n is 3 or less.
    struct Case {
        std::string name;
        int arm;
        double scale, torsoX, torsoY;
        int x0, x1, y0, y1, capacity;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"hand 0", 0, 20, 100, 60, 112, 196, 66, 146, 85 * 89 / 9 + 1, true},
        {"hand 1", 1, 20, 100, 60, 3, 88, 66, 146, 85 * 90 / 9 + 1, true},
        {"hand 0, one column left", 0, 20, 183, 60, 195, 196, 66, 146, 85 * 6 / 9 + 1, true},
        {"hand 0, no column left", 0, 20, 184, 60, 196, 196, 66, 146, 0, false},
        {"hand 1, no column left", 1, 20, 15, 60, 3, 3, 66, 146, 0, false},
        {"rows below the frame", 0, 20, 100, 145, 112, 196, 149, 146, 0, false},
        {"pitch 10, nine windows", 0, 60, 128, 98, 168, 189, 118, 139, 26 * 26 / 100 + 1, true},
        {"pitch 10, capacity 3", 0, 60, 138, 108, 178, 189, 128, 139, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArmContext arm;
        arm.arm = c.arm;
        arm.W = 200;
        arm.H = 150;
        arm.bodyScale = c.scale;
        arm.torsoSize = static_cast<int>(c.scale);
        arm.torsoX = c.torsoX;
        arm.torsoY = c.torsoY;
        const CellGrid grid = StartCellGrid(arm);
        EXPECT_EQ(grid.x0, c.x0);
        EXPECT_EQ(grid.x1, c.x1);
        EXPECT_EQ(grid.y0, c.y0);
        EXPECT_EQ(grid.y1, c.y1);
        EXPECT_EQ(grid.valid, c.valid);
        if (c.valid) {
            EXPECT_EQ(grid.capacity, c.capacity);
        }
    }

    // With pitch 10 the nine windows of columns 168, 178, 188 and rows 118, 128, 138 outnumber
    // the capacity of 7: the scan stops after the seventh, in row order.
    ArmContext arm;
    arm.W = 200;
    arm.H = 150;
    arm.bodyScale = 60;
    arm.torsoSize = 60;
    arm.torsoX = 128;
    arm.torsoY = 98;
    const ConstantMaps full(200, 150, 1);
    std::vector<HandCell> cells;
    CollectStartCells(StartCellGrid(arm), full.maps, cells);
    ASSERT_EQ(cells.size(), 7u);
    EXPECT_EQ(cells[2].x, 188);
    EXPECT_EQ(cells[2].y, 118);
    EXPECT_EQ(cells[6].x, 168);
    EXPECT_EQ(cells[6].y, 138);
}

TEST(HandsStart, CellWindowNeedsEnoughForegroundAndSomeSkin) {
    // Torso half-width 30: pitch 5, windows of 10 x 10 pixels, at least 30 foreground pixels.
    EXPECT_EQ(CellPitch(30), 5);
    struct Case {
        std::string name;
        int foreground;  // pixels set inside the window
        bool edgePixel;  // one more pixel on the window's excluded first column
        bool skin;
        bool isCell;
    };
    const std::vector<Case> cases = {
        {"29 pixels", 29, false, true, false},
        {"30 pixels", 30, false, true, true},
        {"29 pixels and one on the excluded column", 29, true, true, false},
        {"30 pixels without skin", 30, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat fg = cv::Mat::zeros(150, 200, CV_8UC1);
        cv::Mat skin = cv::Mat::zeros(150, 200, CV_8UC1);
        // The window around (100, 80) counts columns 96..105 and rows 76..85.
        for (int i = 0; i < c.foreground; ++i) {
            fg.at<uint8_t>(76 + i / 10, 96 + i % 10) = 1;
        }
        if (c.edgePixel) {
            fg.at<uint8_t>(85, 95) = 1;
        }
        if (c.skin) {
            skin.at<uint8_t>(80, 100) = 1;
        }
        const Integral fgI = IntegralOf(fg), skinI = IntegralOf(skin);
        const Integral none = IntegralOf(cv::Mat::zeros(150, 200, CV_8UC1));
        const HandMaps maps{200, 150, fgI.data(), skinI.data(), none.data(), none.data(), 1};
        CellGrid grid;
        grid.g = 5;
        grid.x0 = 100;
        grid.x1 = 101;
        grid.y0 = 80;
        grid.y1 = 81;
        grid.capacity = 4;
        grid.valid = true;
        std::vector<HandCell> cells;
        CollectStartCells(grid, maps, cells);
        ASSERT_EQ(cells.size(), c.isCell ? 1u : 0u);
        if (c.isCell) {
            EXPECT_DOUBLE_EQ(cells[0].skinTerm, 1.01);
            EXPECT_DOUBLE_EQ(cells[0].weight, 1.01);
        }
    }
}

TEST(HandsStart, ElbowRegions) {
    // Torso half-width 20, neck top (100, 66), upper-arm width 8.8 (window half-side 4),
    // (205 * 20) >> 8 = 16. Detection searches around the resting elbow; tracking also ties the
    // region to the neck and stops short of another user on the neck's side of the frame.
    struct Case {
        std::string name;
        bool tracking;
        int arm;
        cv::Point2d elbow;
        double neckX;
        OtherUser other;
        ElbowRegion expected;
    };
    const std::vector<Case> cases = {
        {"detection, hand 0", false, 0, {116, 94}, 100, {}, {100, 166, 54, 134}},
        {"detection, hand 1", false, 1, {84, 94}, 100, {}, {44, 100, 54, 134}},
        {"tracking, hand 0", true, 0, {116, 94}, 100, {}, {104, 146, 54, 96}},
        {"tracking, hand 0, elbow rounded", true, 0, {104.4, 94.6}, 100, {}, {104, 134, 55, 96}},
        {"tracking, hand 0 raised far out", true, 0, {180, 20}, 100, {}, {140, 150, 46, 60}},
        {"tracking, hand 0, other user right",
         true,
         0,
         {116, 94},
         99,
         {true, 160, 0, 16},
         {103, 141, 54, 96}},
        {"tracking, hand 0, neck not in the left half",
         true,
         0,
         {116, 94},
         100,
         {true, 160, 0, 16},
         {104, 146, 54, 96}},
        {"tracking, hand 1", true, 1, {84, 94}, 100, {}, {54, 96, 54, 96}},
        {"tracking, hand 1 raised far out", true, 1, {20, 20}, 100, {}, {50, 60, 46, 60}},
        {"tracking, hand 1 low", true, 1, {84, 140}, 100, {}, {54, 96, 86, 96}},
        {"tracking, hand 1, other user left",
         true,
         1,
         {84, 94},
         101,
         {true, 40, 0, 16},
         {59, 97, 54, 96}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArmContext arm = ArmAt(c.arm, 20, c.arm == 0 ? 116 : 84, 72);
        arm.neckX = c.neckX;
        arm.neckY = 66;
        arm.elbowRefX = c.elbow.x;
        arm.elbowRefY = c.elbow.y;
        arm.other = c.other;
        const ElbowRegion r = c.tracking ? TrackElbowRegion(arm) : StartElbowRegion(arm);
        EXPECT_EQ(r.x0, c.expected.x0);
        EXPECT_EQ(r.x1, c.expected.x1);
        EXPECT_EQ(r.y0, c.expected.y0);
        EXPECT_EQ(r.y1, c.expected.y1);
    }
}

TEST(HandsStart, ElbowsHuggingTheNeckGoWhenEnoughLieFarOut) {
    // Neck top (100, 66), scale 20, window half-side 4 (step 4), full foreground: every grid
    // point is a candidate. "Far out" is beyond 100 + 28 below the neck top; when more than five
    // but not all are far out, candidates below the neck top must lie beyond 120, those at or
    // above it beyond 100 (mirrored for hand 1).
    struct Case {
        std::string name;
        int arm;
        ElbowRegion region;
        size_t kept, all;
    };
    const std::vector<Case> cases = {
        {"four far out: all kept", 0, {116, 136, 64, 72}, 18, 18},
        {"six far out: the six near the neck below it go", 0, {116, 136, 64, 76}, 18, 24},
        {"all far out: all kept", 0, {132, 140, 68, 76}, 9, 9},
        {"nine far out", 0, {104, 140, 60, 76}, 35, 50},
        {"hand 1, nine far out", 1, {60, 96, 60, 76}, 35, 50},
    };
    const ConstantMaps full(200, 150, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ArmContext arm = ArmAt(c.arm, 20, c.arm == 0 ? 116 : 84, 72);
        ASSERT_EQ(arm.neckX, 100);
        ASSERT_EQ(arm.neckY, 66);
        std::vector<ElbowCandidate> elbows;
        CollectElbows(arm, c.region, full.maps.foreground, elbows);
        EXPECT_EQ(elbows.size(), c.kept);
        if (c.kept == c.all) {
            continue;
        }
        for (const ElbowCandidate& e : elbows) {
            const int out = c.arm == 0 ? e.x - 100 : 100 - e.x;
            EXPECT_GT(out, e.y > 66 ? 20 : 0) << e.x << ", " << e.y;
        }
    }
}

TEST(HandsStart, StoresStopAtTheirCapacities) {
    const ConstantMaps full(200, 150, 1);

    // Elbows: a small elbow window on a full mask gives thousands of places; the first 500 in
    // row order are kept.
    {
        ArmContext arm = ArmAt(0, 40, 100, 60);
        arm.upperWidth = 2;  // window half-side 1, step 2
        arm.neckX = -1000;   // every candidate lies far out: the neck filter keeps all
        arm.neckY = -1000;
        const ElbowRegion region = StartElbowRegion(arm);
        std::vector<ElbowCandidate> elbows;
        CollectElbows(arm, region, full.maps.foreground, elbows);
        ASSERT_EQ(elbows.size(), static_cast<size_t>(kMaxElbows));
        const int perRow = (region.x1 - region.x0) / 2 + 1;
        EXPECT_EQ(elbows.back().x, region.x0 + 2 * (499 % perRow));
        EXPECT_EQ(elbows.back().y, region.y0 + 2 * (499 / perRow));
    }

    // Pairs: 30 elbows x 1000 cells, all in reach, stop at 25 000 (elbow 24 with cell 999).
    {
        ArmContext arm = ArmAt(0, 20, 40, 40);
        arm.shoulderCentreY = 0;
        std::vector<ElbowCandidate> elbows(30);
        for (int i = 0; i < 30; ++i) {
            elbows[i].x = 50;
            elbows[i].y = 30 + i;
            elbows[i].weight = 1;
        }
        std::vector<HandCell> cells(1000);
        for (int j = 0; j < 1000; ++j) {
            cells[j].x = 70 + j % 5;
            cells[j].y = 60;
            cells[j].weight = 1;
        }
        std::vector<ForearmPair> pairs;
        PairForearms(arm, cells, elbows, full.maps, nullptr, nullptr, pairs);
        ASSERT_EQ(pairs.size(), static_cast<size_t>(kMaxPairs));
        EXPECT_EQ(pairs.back().elbowY, 30 + 24);
        EXPECT_EQ(pairs.back().handX, 74);
    }

    // Upper arms: 600 elbows in reach of the shoulder, 500 kept.
    {
        const ArmContext arm = ArmAt(0, 20, 60, 60);
        std::vector<ElbowCandidate> elbows(600);
        for (ElbowCandidate& e : elbows) {
            e.x = 80;
            e.y = 60;
            e.weight = 1;
        }
        std::vector<UpperArmHypothesis> upper;
        CollectUpperArms(arm, elbows, full.maps.foreground, upper);
        EXPECT_EQ(upper.size(), static_cast<size_t>(kMaxUpperArms));
    }

    // Cell copies: a scale of 4 makes a pitch of 1 and thousands of cells on a full mask; only
    // the first 1000 are paired.
    {
        UserTracker tracker;
        tracker.torsoX = 100;
        tracker.torsoY = 40;
        tracker.torsoSize = 4;
        tracker.skeleton.SetSkeletonScale(4);
        tracker.skeleton.J(BodySkeleton::kShoulderCentre).x = 100;
        tracker.skeleton.J(BodySkeleton::kShoulderCentre).y = 42;
        tracker.skeleton.ResetSkeletonPose();
        tracker.StartHands(full.maps.foreground, full.maps.skin, cv::Mat(), full.maps.changed,
                           full.maps.motionCount, 1);
        const HandWorkStores& work = tracker.handWork;
        ASSERT_GT(work.cells.size(), static_cast<size_t>(kMaxCellCopies));
        ASSERT_EQ(work.cellCopies.size(), static_cast<size_t>(kMaxCellCopies));
        EXPECT_EQ(work.cellCopies.back().x, work.cells[kMaxCellCopies - 1].x);
        EXPECT_EQ(work.cellCopies.back().y, work.cells[kMaxCellCopies - 1].y);
    }
}

TEST(HandsStart, ForearmPairLimits) {
    // Torso half-width 20: forearm nominal 30, minimum 2, maximum 40, so a forearm must be
    // 10.8 to 48 pixels long.
    const ConstantMaps full(200, 150, 1);
    struct Case {
        std::string name;
        cv::Point elbow, hand;
        double shoulderCentreY;
        bool paired;
    };
    const std::vector<Case> cases = {
        {"too short", {60, 75}, {70, 75}, 0, false},
        {"shortest", {60, 75}, {71, 75}, 0, true},
        {"longest", {60, 75}, {108, 75}, 0, true},
        {"too long", {60, 75}, {109, 75}, 0, false},
        {"hand below the elbow and above the shoulder line", {60, 60}, {80, 70}, 80, false},
        {"hand below the elbow and the shoulder line", {60, 60}, {80, 70}, 65, true},
        {"hand above the elbow", {60, 70}, {80, 60}, 80, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArmContext arm = ArmAt(0, 20, 40, 60);
        arm.shoulderCentreY = c.shoulderCentreY;
        std::vector<ElbowCandidate> elbows(1);
        elbows[0].x = c.elbow.x;
        elbows[0].y = c.elbow.y;
        elbows[0].weight = 1;
        std::vector<HandCell> cells(1);
        cells[0].x = c.hand.x;
        cells[0].y = c.hand.y;
        cells[0].weight = 1;
        std::vector<ForearmPair> pairs;
        PairForearms(arm, cells, elbows, full.maps, nullptr, nullptr, pairs);
        EXPECT_EQ(pairs.size(), c.paired ? 1u : 0u);
    }
}

TEST(HandsStart, UpperArmLimits) {
    // Shoulder at (60, 75), torso half-width 20: upper arm 2 to 34 pixels, forearm a quarter to
    // 1.75 times the upper arm, both together at most 70.
    const ConstantMaps full(200, 150, 1);
    struct Case {
        std::string name;
        int elbowX;  // on the shoulder's row
        double L;
        bool chosen;
    };
    const std::vector<Case> cases = {
        {"U 20, L 4.9 (below a quarter)", 80, 4.9, false},
        {"U 20, L 5", 80, 5, true},
        {"U 20, L 35", 80, 35, true},
        {"U 20, L 40 (beyond 1.75 U)", 80, 40, false},
        {"U 34, L 36 (total 70)", 94, 36, true},
        {"U 34, L 37 (total 71)", 94, 37, false},
        {"U 35 (beyond the maximum)", 95, 30, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ArmContext arm = ArmAt(0, 20, 60, 75);
        ForearmPair p;
        p.elbowX = c.elbowX;
        p.elbowY = 75;
        p.handX = c.elbowX + static_cast<int>(c.L);
        p.handY = 75;
        p.length = c.L;
        p.angle = 0;
        p.score = 1;
        const UpperArmChoice choice = ChooseUpperArm(arm, {p}, full.maps.foreground);
        EXPECT_EQ(choice.found, c.chosen);
        if (c.chosen) {
            EXPECT_DOUBLE_EQ(choice.chain.upperLength, c.elbowX - 60);
            EXPECT_DOUBLE_EQ(choice.chain.upperAngle, 0);
        }
    }
}

TEST(HandsStart, StoredHandColourFavoursMatchingCells) {
    // Two cells at the same distance above and below an elbow on a full silhouette; only the
    // upper one has the stored hand colour.
    const ConstantMaps full(200, 150, 1);
    const cv::Vec3b skin(95, 135, 195), shirt(150, 80, 40);
    cv::Mat colour(150, 200, CV_8UC3, cv::Scalar(shirt[0], shirt[1], shirt[2]));
    colour(cv::Rect(0, 0, 200, 75)).setTo(cv::Scalar(skin[0], skin[1], skin[2]));
    alignas(16) float hand[kHistogramBins];
    ColourHistogram(colour, nullptr, 100, 30, 6, 6, hand);

    ArmContext arm = ArmAt(0, 20, 80, 60);
    arm.shoulderCentreY = 0;
    std::vector<ElbowCandidate> elbows(1);
    elbows[0].x = 100;
    elbows[0].y = 75;
    elbows[0].weight = 1;
    std::vector<HandCell> cells(2);
    cells[0].x = 100;
    cells[0].y = 55;
    cells[1].x = 100;
    cells[1].y = 95;
    cells[0].weight = cells[1].weight = 1;
    std::vector<ForearmPair> plain, coloured;
    PairForearms(arm, cells, elbows, full.maps, nullptr, nullptr, plain);
    PairForearms(arm, cells, elbows, full.maps, &colour, hand, coloured);
    ASSERT_EQ(plain.size(), 2u);
    ASSERT_EQ(coloured.size(), 2u);
    EXPECT_DOUBLE_EQ(plain[0].score, plain[1].score);
    EXPECT_NEAR(coloured[0].score, 2 * plain[0].score, 1e-5);
    EXPECT_NEAR(coloured[1].score, plain[1].score, 1e-5);
}

TEST(HandsStart, ArmOutcomes) {
    const BodyScene scene;
    const testing::BodyPose pose{
        "", {testing::poses::kOutAndDown, testing::Mirror(testing::poses::kOutAndDown)}};

    // Hand 1 without any skin (a glove): no cell, so it keeps what it had.
    {
        HandsRig rig(scene);
        RenderedFrame f = scene.Render(pose, Appearances()[0]);
        f.skin(cv::Rect(0, 0, 80, 150)).setTo(0);
        rig.Feed(f);
        rig.tracker.handFound[1] = true;
        rig.tracker.handX[1] = 33;
        rig.tracker.handY[1] = 44;
        EXPECT_EQ(rig.Start(), 0);
        EXPECT_TRUE(rig.tracker.handFound[1]);
        EXPECT_EQ(rig.tracker.handX[1], 33);
        EXPECT_EQ(rig.tracker.handY[1], 44);
        EXPECT_LE(rig.HandError(0, f), 0.5 * scene.t);
    }

    // Hand 1's skin floats out of reach of every elbow: cells but no pair, so it is lost.
    {
        HandsRig rig(scene);
        RenderedFrame f = scene.Render(pose, Appearances()[0]);
        f.mask(cv::Rect(0, 0, 78, 150)).setTo(0);
        f.skin(cv::Rect(0, 0, 78, 150)).setTo(0);
        cv::circle(f.mask, {20, 138}, 6, 1, cv::FILLED);
        cv::circle(f.skin, {20, 138}, 6, 1, cv::FILLED);
        rig.Feed(f);
        rig.tracker.handFound[1] = true;
        EXPECT_EQ(rig.Start(), 1);
        EXPECT_FALSE(rig.tracker.handFound[1]);
        EXPECT_TRUE(rig.tracker.handFound[0]);
    }

    // Stored hand colours are used for this detection and then dropped.
    {
        HandsRig rig(scene);
        const RenderedFrame f = scene.Render(pose, Appearances()[0]);
        rig.Feed(f);
        for (int arm = 0; arm < 2; ++arm) {
            const cv::Point2d h = f.arm[arm].hand;
            ColourHistogram(f.colour, nullptr, static_cast<int>(h.x), static_cast<int>(h.y), 5, 5,
                            rig.tracker.handColour[arm].histogram);
            rig.tracker.handColour[arm].present = true;
        }
        EXPECT_EQ(rig.Start(), 0);
        EXPECT_FALSE(rig.tracker.handColour[0].present);
        EXPECT_FALSE(rig.tracker.handColour[1].present);
        EXPECT_LE(rig.HandError(0, f), 0.5 * scene.t);
        EXPECT_LE(rig.HandError(1, f), 0.5 * scene.t);
    }
}

}  // namespace
}  // namespace olvar
