// Hand tracking: scripted motions on rendered frames, the selector, the failure codes, and the
// stages of the arm step (scratch band, arm flood, candidate weights and listing, chain terms,
// the best-chain list and the fall-back).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "body/hands.h"
#include "fixtures/hands_scene.h"
#include "imaging/integral_of.h"

namespace olvar {
namespace {

using testing::Appearances;
using testing::BodyScene;
using testing::HandsRig;
using testing::kPi;
using testing::RenderedFrame;

using test_imaging::IntegralOf;

// An arm context of torso half-width 20 with the neck top at (100, 66).
ArmContext Arm(int arm) {
    ArmContext c;
    c.arm = arm;
    c.W = 200;
    c.H = 150;
    c.bodyScale = 20;
    c.torsoSize = 20;
    c.torsoX = 100;
    c.torsoY = 62;
    c.neckX = 100;
    c.neckY = 66;
    c.shoulderCentreY = 72;
    c.shoulderX = arm == 0 ? 116 : 84;
    c.shoulderY = 72;
    c.elbowRefX = c.shoulderX;
    c.elbowRefY = 94;
    c.upperWidth = 8.8;
    c.upperMin = 2;
    c.upperMax = 34;
    c.foreNominal = 30;
    c.foreWidth = 6;
    c.foreMin = 2;
    c.foreMax = 40;
    return c;
}

TEST(HandsTrack, FollowsScriptedMotions) {
    // Each motion starts with detection on hanging arms; every later frame is one tracking
    // step. The moving hand must stay within half a torso half-width of the truth on at least
    // 80 % of the tracked frames. With short sleeves, a hand passing in front of the chest
    // cannot be told from its bare forearm (both fill the cells with skin), so that motion is
    // only held to the arm: within 1.5 torso half-widths.
    const BodyScene scene;
    std::printf("tracked frames within %.0f px of the moving hand\n", 0.5 * scene.t);
    for (const testing::Appearance& look : Appearances()) {
        for (const testing::Motion& motion : testing::ScriptedMotions()) {
            for (int arm = 0; arm < 2; ++arm) {
                HandsRig rig(scene);
                int within = 0, onArm = 0, frames = 0, failures = 0;
                for (size_t i = 0; i < motion.frames.size(); ++i) {
                    const testing::BodyPose pose =
                        arm == 0 ? motion.frames[i] : testing::MirrorPose(motion.frames[i]);
                    const RenderedFrame f = scene.Render(pose, look);
                    rig.Feed(f);
                    if (i == 0) {
                        ASSERT_EQ(rig.Start(), 0);
                        continue;
                    }
                    failures += rig.Track() != 0;
                    const double error = rig.HandError(arm, f);
                    ++frames;
                    within += error <= 0.5 * scene.t;
                    onArm += error <= 1.5 * scene.t;
                }
                const double share = static_cast<double>(within) / frames;
                std::printf("  %-28s %-14s hand %d: %2d of %2d (%3.0f %%)\n", look.name.c_str(),
                            motion.name.c_str(), arm, within, frames, 100 * share);
                SCOPED_TRACE(look.name + ", " + motion.name + ", hand " + std::to_string(arm));
                EXPECT_EQ(failures, 0);
                if (look.shortSleeves && motion.name == "swipe outward") {
                    EXPECT_GE(onArm, 0.8 * frames);
                } else {
                    EXPECT_GE(share, 0.8);
                }
            }
        }
    }
}

TEST(HandsTrack, SelectorLeavesTheOtherHandAlone) {
    const BodyScene scene;
    const testing::BodyPose hanging{
        "", {testing::poses::kHanging, testing::Mirror(testing::poses::kHanging)}};
    const testing::BodyPose lifted{
        "",
        {testing::Lerp(testing::poses::kHanging, testing::poses::kOutAndDown, 0.3),
         testing::Mirror(
             testing::Lerp(testing::poses::kHanging, testing::poses::kOutAndDown, 0.3))}};
    for (int selector = 0; selector < 2; ++selector) {
        SCOPED_TRACE(selector);
        HandsRig rig(scene);
        rig.Feed(scene.Render(hanging, Appearances()[0]));
        ASSERT_EQ(rig.Start(), 0);
        const int other = 1 - selector;
        const float x = rig.tracker.handX[other], y = rig.tracker.handY[other];
        const int joint = other == 0 ? BodySkeleton::kRightHand : BodySkeleton::kLeftHand;
        const double jx = rig.tracker.skeleton.J(joint).x, jy = rig.tracker.skeleton.J(joint).y;
        const RenderedFrame f = scene.Render(lifted, Appearances()[0]);
        rig.Feed(f);
        ASSERT_EQ(rig.Track(selector == 0 ? HandSelector::kHand0 : HandSelector::kHand1), 0);
        EXPECT_EQ(rig.tracker.handX[other], x);
        EXPECT_EQ(rig.tracker.handY[other], y);
        EXPECT_TRUE(rig.tracker.handFound[other]);
        EXPECT_EQ(rig.tracker.skeleton.J(joint).x, jx);
        EXPECT_EQ(rig.tracker.skeleton.J(joint).y, jy);
        EXPECT_LE(rig.HandError(selector, f), 0.5 * scene.t);
        EXPECT_GT(rig.HandError(other, f), 0.5 * scene.t);  // it did move
    }
}

TEST(HandsTrack, FailureCodesLeaveTheHandsAsTheyWere) {
    const BodyScene scene;
    const testing::BodyPose pose{
        "", {testing::poses::kOutAndDown, testing::Mirror(testing::poses::kOutAndDown)}};
    struct Case {
        std::string name;
        int code;
        HandSelector selector;
        void (*spoil)(RenderedFrame&);
    };
    const std::vector<Case> cases = {
        {"no foreground: no cell", 10, HandSelector::kBoth,
         [](RenderedFrame& f) {
             f.mask.setTo(0);
             f.skin.setTo(0);
         }},
        {"no skin: no cell", 10, HandSelector::kBoth, [](RenderedFrame& f) { f.skin.setTo(0); }},
        // Nothing right of the neck: hand 1 still has cells, hand 0's side has no silhouette.
        {"empty arm side", 1, HandSelector::kHand0,
         [](RenderedFrame& f) {
             f.mask(cv::Rect(80, 0, 120, 150)).setTo(0);
             f.skin(cv::Rect(80, 0, 120, 150)).setTo(0);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HandsRig rig(scene);
        rig.Feed(scene.Render(pose, Appearances()[0]));
        ASSERT_EQ(rig.Start(), 0);
        const float x0 = rig.tracker.handX[0], y0 = rig.tracker.handY[0];
        const float x1 = rig.tracker.handX[1], y1 = rig.tracker.handY[1];
        RenderedFrame f = scene.Render(pose, Appearances()[0]);
        c.spoil(f);
        rig.Feed(f);
        EXPECT_EQ(rig.Track(c.selector), c.code);
        EXPECT_EQ(rig.tracker.handX[0], x0);
        EXPECT_EQ(rig.tracker.handY[0], y0);
        EXPECT_EQ(rig.tracker.handX[1], x1);
        EXPECT_EQ(rig.tracker.handY[1], y1);
        EXPECT_TRUE(rig.tracker.handFound[0]);
        EXPECT_TRUE(rig.tracker.handFound[1]);
    }
}

TEST(HandsTrack, BodyBandIsClearedFromTheScratchMask) {
    // Scale 20, neck top (100.7, 66.2): the neck band is columns 90..109 in rows 46..65, the
    // torso band columns 81..119 from row 66 to row 148.
    cv::Mat scratch(150, 200, CV_8UC1, cv::Scalar(1));
    ClearBodyBand(scratch, 20, 100.7, 66.2);
    struct Probe {
        int x, y;
        bool cleared;
    };
    const std::vector<Probe> probes = {
        {90, 46, true},   {89, 50, false},   {109, 50, true},  {110, 50, false},
        {100, 45, false}, {100, 65, true},   {81, 66, true},   {80, 66, false},
        {119, 100, true}, {120, 100, false}, {100, 148, true}, {100, 149, false},
    };
    for (const Probe& p : probes) {
        EXPECT_EQ(scratch.at<uint8_t>(p.y, p.x) == 0, p.cleared) << p.x << ", " << p.y;
    }
}

TEST(HandsTrack, ArmFloodBridgesOnlySmallGaps) {
    // Hand 0's band runs from the neck column 100 to 183; the flood starts in column 120
    // below the neck top and may bridge gaps whose 8 x 8 foreground window holds pixels.
    struct Case {
        std::string name;
        int gapStart, gapWidth;
        bool reachedBeyond;
    };
    const std::vector<Case> cases = {
        {"no gap", 0, 0, true},
        {"one-pixel gap", 140, 1, true},
        {"ten-pixel gap", 140, 10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat mask = cv::Mat::zeros(150, 200, CV_8UC1);
        mask(cv::Rect(115, 70, 60, 6)).setTo(1);
        if (c.gapWidth > 0) {
            mask(cv::Rect(c.gapStart, 70, c.gapWidth, 6)).setTo(0);
        }
        const Integral fg = IntegralOf(mask);
        cv::Mat armImage;
        std::vector<int> queue;
        EXPECT_EQ(FloodArmRegion(Arm(0), mask, fg.data(), armImage, queue),
                  60 * 6 - 6 * c.gapWidth);
        EXPECT_EQ(armImage.at<uint8_t>(72, 125), 255);
        EXPECT_EQ(armImage.at<uint8_t>(72, 170), c.reachedBeyond ? 255 : 1);
    }
    // Nothing in the band: nothing to track on that side.
    cv::Mat mask = cv::Mat::zeros(150, 200, CV_8UC1);
    mask(cv::Rect(20, 70, 60, 6)).setTo(1);
    const Integral fg = IntegralOf(mask);
    cv::Mat armImage;
    std::vector<int> queue;
    EXPECT_EQ(FloodArmRegion(Arm(0), mask, fg.data(), armImage, queue), 0);
    EXPECT_GT(FloodArmRegion(Arm(1), mask, fg.data(), armImage, queue), 0);
}

TEST(HandsTrack, TrackingWeightsFavourTheExpectedAndRaisedHand) {
    // Cells of equal cell weight; previous hand at (150, 100) moving by (6, -4).
    auto cell = [](int x, int y, double skin) {
        HandCell c;
        c.x = x;
        c.y = y;
        c.skinTerm = skin;
        c.motionTerm = 1;
        c.weight = skin;
        return c;
    };
    const ArmContext arm = Arm(0);
    std::vector<HandCell> cells = {
        cell(150, 100, 1.5),  // at the previous hand
        cell(156, 96, 1.5),   // at the predicted hand
        cell(153, 98, 1.5),   // between them
        cell(150, 130, 1.5),  // 30 pixels below the previous hand
    };
    std::vector<double> w;
    TrackingWeights(arm, cells, 150, 100, 6, -4, w);
    EXPECT_DOUBLE_EQ(w[0], 1.5);
    EXPECT_DOUBLE_EQ(w[1], 1.5);
    EXPECT_LT(w[2], w[0]);
    EXPECT_NEAR(w[3], 1.5 * std::exp(-900.0 / (18 * 400)), 1e-12);

    // Raised skin: above row 66 - 6 = 60 and left of 100 + 70, with skin term above 1.1.
    struct Case {
        std::string name;
        HandCell c;
        double factor;  // weight over cell weight (all at the previous hand)
    };
    const double X = 2.5 * (66 - 40) / 20.0;  // 3.25
    const std::vector<Case> cases = {
        {"raised skin", cell(150, 40, 1.5), ((X * X + 1) * 0.5 + 1) / 1.5},
        {"raised, little skin", cell(150, 40, 1.1), 1},
        {"just below the raised row", cell(150, 60, 1.5), 1},
        {"raised but far out", cell(171, 40, 1.5), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<HandCell> one = {c.c};
        TrackingWeights(arm, one, c.c.x, c.c.y, 0, 0, w);
        EXPECT_NEAR(w[0] / c.c.weight, c.factor, 1e-12);
    }
}

TEST(HandsTrack, CandidatesListNearCellsFirstThenTheBestWeighted) {
    const ArmContext arm = Arm(0);
    std::vector<HandCell> cells;
    for (int y = 10; y < 140; y += 3) {
        for (int x = 10; x < 190; x += 3) {
            HandCell c;
            c.x = x;
            c.y = y;
            cells.push_back(c);
        }
    }
    std::vector<double> weights(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        weights[i] = cells[i].x;  // outward cells weigh more
    }
    const cv::Mat noBlob = cv::Mat::zeros(150, 200, CV_8UC1);
    std::vector<int> list;
    // Previous hand (150, 100): the square's pitch is 3, so centres within 5 pixels come first.
    ListHandCandidates(arm, cells, weights, 150, 100, 0, 0, noBlob, BlobBox{}, list);
    size_t near = 0;
    while (near < list.size() && std::abs(cells[list[near]].x - 150) < 6 &&
           std::abs(cells[list[near]].y - 100) < 6) {
        ++near;
    }
    EXPECT_EQ(near, 12u);  // 4 columns x 3 rows of centres
    for (size_t i = 1; i < near; ++i) {
        EXPECT_LT(list[i - 1], list[i]);  // in cell order
    }
    // Then the 100 heaviest cells (the near ones among them are not listed twice), none on the
    // body side of x = 120.
    int nearAmongBest = 0;
    for (size_t i = near; i < list.size(); ++i) {
        EXPECT_GE(cells[list[i]].x, 120);
        nearAmongBest +=
            std::abs(cells[list[i]].x - 150) < 6 && std::abs(cells[list[i]].y - 100) < 6;
    }
    EXPECT_EQ(nearAmongBest, 0);
    EXPECT_EQ(list.size(), near + 100);

    // Hand 1 also lists the cells around the predicted position, and ranks only cells left of
    // x = 80.
    for (size_t i = 0; i < cells.size(); ++i) {
        weights[i] = 200 - cells[i].x;
    }
    ListHandCandidates(Arm(1), cells, weights, 50, 100, 15, 0, noBlob, BlobBox{}, list);
    ASSERT_EQ(list.size(), 24u + 100);
    for (size_t i = 0; i < 24; ++i) {
        EXPECT_LT(std::abs(cells[list[i]].x - (i < 12 ? 50 : 65)), 6);
    }
    for (size_t i = 24; i < list.size(); ++i) {
        EXPECT_LE(cells[list[i]].x, 80);
    }
}

TEST(HandsTrack, CellGridAroundTheNeckStopsAtTheOtherUser) {
    // Scale 20: pitch 3; rows 3.2 scales above to 3.8 below the neck top, columns 3.6 scales to
    // either side, windows kept g from the border. Another user cuts the columns on the side it
    // stands, as the neck's half of the frame tells.
    struct Case {
        std::string name;
        double nx, ny;
        OtherUser other;
        int x0, lastColumn, y0, lastRow;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"alone", 100, 66, {}, 28, 172, 3, 142, true},
        {"neck near the top", 100, 10, {}, 28, 172, 3, 86, true},
        {"other user right of a left-half neck", 90, 66, {true, 150, 0, 20}, 18, 130, 3, 142, true},
        {"other user left of a right-half neck", 110, 66, {true, 40, 0, 20}, 60, 182, 3, 142, true},
        {"other user's bound held at g", 60, 66, {true, 20, 0, 20}, 3, 3, 3, 142, true},
        {"other user's bound held at W - g - 1",
         150,
         66,
         {true, 190, 0, 20},
         196,
         196,
         3,
         142,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CellGrid grid = TrackCellGrid(200, 150, 20, c.nx, c.ny, c.other);
        EXPECT_EQ(grid.g, 3);
        EXPECT_EQ(grid.valid, c.valid);
        EXPECT_EQ(grid.x0, c.x0);
        EXPECT_EQ(grid.x1 - 1, c.lastColumn);
        EXPECT_EQ(grid.y0, c.y0);
        EXPECT_EQ(grid.y1 - 1, c.lastRow);
    }
    // Capacity (rows + 5) (columns + 5) / g^2 + 1 with rows and columns the bound differences.
    EXPECT_EQ(TrackCellGrid(200, 150, 20, 100, 66, {}).capacity, 144 * 149 / 9 + 1);
}

TEST(HandsTrack, TrackingCellsNeedForegroundSkinAndMotionOrAPreviousHand) {
    // One window of pitch 5 around (100, 80) (columns 96..105, rows 76..85, area 100): at least
    // (45 * 100) >> 7 = 35 foreground pixels; with d = 2 a motion-count sum above 60, or the
    // centre within 10 pixels of a previous hand in both directions; some skin.
    struct Case {
        std::string name;
        int foreground, motion, skin;
        cv::Point2f previousHand;
        bool isCell;
    };
    const std::vector<Case> cases = {
        {"moving", 35, 61, 1, {0, 0}, true},
        {"34 foreground pixels", 34, 61, 1, {0, 0}, false},
        {"motion density 0.3 only", 35, 60, 1, {0, 0}, false},
        {"still at a previous hand", 35, 0, 1, {110, 90}, true},
        {"still, 10.5 columns from the hand", 35, 0, 1, {110.5f, 80}, false},
        {"moving without skin", 35, 61, 0, {0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat fg = cv::Mat::zeros(150, 200, CV_8UC1);
        cv::Mat skin = cv::Mat::zeros(150, 200, CV_8UC1);
        cv::Mat counts = cv::Mat::zeros(150, 200, CV_8UC1);
        for (int i = 0; i < c.foreground; ++i) {
            fg.at<uint8_t>(76 + i / 10, 96 + i % 10) = 1;
        }
        for (int i = 0; i < c.motion; ++i) {  // counts of at most d = 2 per pixel
            counts.at<uint8_t>(76 + (i / 2) / 10, 96 + (i / 2) % 10) += 1;
        }
        if (c.skin > 0) {
            skin.at<uint8_t>(80, 100) = 1;
        }
        const Integral fgI = IntegralOf(fg), skinI = IntegralOf(skin), countI = IntegralOf(counts);
        const Integral none = IntegralOf(cv::Mat::zeros(150, 200, CV_8UC1));
        const HandMaps maps{200, 150, fgI.data(), skinI.data(), none.data(), countI.data(), 2};
        CellGrid grid;
        grid.g = 5;
        grid.x0 = 100;
        grid.x1 = 101;
        grid.y0 = 80;
        grid.y1 = 81;
        grid.capacity = 4;
        grid.valid = true;
        const float previousX[2] = {0, c.previousHand.x};
        const float previousY[2] = {0, c.previousHand.y};
        std::vector<HandCell> cells;
        CollectTrackCells(grid, maps, previousX, previousY, cells);
        ASSERT_EQ(cells.size(), c.isCell ? 1u : 0u);
        if (c.isCell) {
            EXPECT_DOUBLE_EQ(cells[0].skinTerm, 1.01);
            EXPECT_DOUBLE_EQ(cells[0].motionTerm, c.motion / 200.0 + 1);
            EXPECT_DOUBLE_EQ(cells[0].weight, 1.01 * (c.motion / 200.0 + 1));
        }
    }
}

TEST(HandsTrack, HandBlobGrowsOverMovingPixelsFromThePreviousHand) {
    // Torso half-width 20: the blob seeds within 3 pixels of the previous hand and grows through
    // pixels whose 5 x 5 motion-count sum exceeds 13 d, keeping 3 pixels from the border. A
    // moving band (counts 1) in rows 75..85 from column 95 passes the test from its own edge
    // rows and columns on (3 of 5 rows or columns inside: 15 > 13); a second moving patch
    // beyond a still gap is not joined.
    struct Case {
        std::string name;
        int bandRight;  // last column of the band
        cv::Point previousHand;
        int d;
        BlobBox expected;
    };
    const BlobBox empty{200, -1, 150, -1};
    const std::vector<Case> cases = {
        {"band around the hand", 130, {100, 80}, 1, {95, 130, 75, 85}},
        {"counts too low for d = 2", 130, {100, 80}, 2, empty},
        {"hand 4 rows above the band: no seed", 130, {100, 71}, 1, empty},
        {"hand 3 rows above the band", 130, {100, 72}, 1, {95, 130, 75, 85}},
        {"band to the right border", 199, {100, 80}, 1, {95, 196, 75, 85}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat counts = cv::Mat::zeros(150, 200, CV_8UC1);
        counts(cv::Rect(95, 75, c.bandRight - 95 + 1, 11)).setTo(1);
        if (c.bandRight < 150) {
            counts(cv::Rect(150, 75, 21, 11)).setTo(1);
        }
        const Integral countI = IntegralOf(counts);
        cv::Mat blobImage;
        std::vector<int> queue;
        const BlobBox box = GrowHandBlob(Arm(0), c.previousHand.x, c.previousHand.y, countI.data(),
                                         c.d, blobImage, queue);
        EXPECT_EQ(box.left, c.expected.left);
        EXPECT_EQ(box.right, c.expected.right);
        EXPECT_EQ(box.top, c.expected.top);
        EXPECT_EQ(box.bottom, c.expected.bottom);
        if (box.left > box.right) {
            EXPECT_EQ(cv::countNonZero(blobImage), 0);
        } else {
            EXPECT_EQ(blobImage.at<uint8_t>(80, 100), 1);
            EXPECT_EQ(blobImage.at<uint8_t>(80, 160), c.bandRight < 150 ? 0 : 1);
        }
    }
}

TEST(HandsTrack, ElbowBendLimits) {
    struct Case {
        int arm;
        double a, c;
        bool allowed;
    };
    const double p = kPi;
    const std::vector<Case> cases = {
        // Hand 0, upper arm pointing down-left of straight down: the forearm may not swing
        // from just past it round to the upper arm's opposite.
        {0, -0.6 * p, -0.6 * p, true},
        {0, -0.6 * p, -0.45 * p, false},
        {0, -0.6 * p, 0.35 * p, false},
        {0, -0.6 * p, 0.45 * p, true},
        // Hand 0, upper arm raised past vertical.
        {0, 0.6 * p, 0.45 * p, false},
        {0, 0.6 * p, 0.55 * p, true},
        {0, 0.6 * p, -0.6 * p, true},
        // Hand 0, other upper-arm angles allow any bend.
        {0, 0.2 * p, -0.9 * p, true},
        // Hand 1, upper arm slightly below horizontal to the right.
        {1, -0.2 * p, -0.35 * p, false},
        {1, -0.2 * p, -0.3 * p, true},
        {1, -0.2 * p, 0.8 * p, true},
        {1, -0.2 * p, 0.85 * p, false},
        // Hand 1, upper arm slightly above horizontal to the right.
        {1, 0.2 * p, -0.6 * p, false},
        {1, 0.2 * p, 0.3 * p, true},
        {1, 0.2 * p, 0.35 * p, false},
        // Hand 1, upper arm pointing left: any bend.
        {1, 0.9 * p, -0.9 * p, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ElbowBendAllowed(c.arm, c.a, c.c), c.allowed)
            << "arm " << c.arm << " a " << c.a / p << " pi, c " << c.c / p << " pi";
    }
}

TEST(HandsTrack, BestChainsStayInDescendingOrder) {
    std::vector<ArmChain> best;
    auto chain = [](double score, double tag) {
        ArmChain c;
        c.score = score;
        c.handX = tag;
        return c;
    };
    KeepBestChain(best, chain(3, 0));
    KeepBestChain(best, chain(5, 1));
    KeepBestChain(best, chain(3, 2));  // equal to a kept chain: goes after it
    KeepBestChain(best, chain(4, 3));
    ASSERT_EQ(best.size(), 4u);
    EXPECT_EQ(best[0].handX, 1);
    EXPECT_EQ(best[1].handX, 3);
    EXPECT_EQ(best[2].handX, 0);
    EXPECT_EQ(best[3].handX, 2);
    for (int i = 0; i < 6; ++i) {
        KeepBestChain(best, chain(2, 10 + i));
    }
    ASSERT_EQ(best.size(), 10u);
    KeepBestChain(best, chain(2, 99));  // exceeds none with ten kept: dropped
    EXPECT_EQ(best.back().handX, 15);
    KeepBestChain(best, chain(6, 98));  // the best: the last one drops out
    ASSERT_EQ(best.size(), 10u);
    EXPECT_EQ(best.front().handX, 98);
    EXPECT_EQ(best.back().handX, 14);
}

TEST(HandsTrack, OutlineTermRewardsCoverageAndPenalisesOverlap) {
    const ArmContext arm = Arm(0);
    cv::Mat mask = cv::Mat::zeros(150, 200, CV_8UC1);
    mask(cv::Rect(80, 60, 100, 30)).setTo(1);
    const Integral fg = IntegralOf(mask);
    const int region = ArmRegionCount(arm, fg.data());
    ASSERT_GT(region, 0);
    UpperArmHypothesis upper;
    upper.elbowX = 140;
    upper.elbowY = 72;
    upper.length = 24;
    upper.angle = 0;
    upper.boxScore = 1;
    auto term = [&](double hx, double hy, int a) {
        const double L = std::hypot(hx - upper.elbowX, hy - upper.elbowY);
        const double c = SegmentAngle(upper.elbowX, upper.elbowY, hx, hy);
        return OutlineTerm(arm, upper, hx, hy, L, c, 1.0, a, fg.data());
    };
    const double straight = term(168, 72, region);
    const double folded = term(118, 74, region);      // back along the upper arm
    const double acrossBody = term(110, 84, region);  // ends below the neck inside the body
    EXPECT_GT(straight, 0.01);
    EXPECT_LE(straight, 1.01);
    EXPECT_LT(folded, straight);
    EXPECT_LT(acrossBody, straight);
    // With an empty arm region the term only tells whether the chain's sum is negative.
    EXPECT_DOUBLE_EQ(term(168, 72, 0), 1.01);
    upper.boxScore = 0;
    EXPECT_DOUBLE_EQ(
        OutlineTerm(arm, upper, 118, 74, 22, SegmentAngle(140, 72, 118, 74), 0.0, 0, fg.data()),
        0.01);
}

TEST(HandsTrack, OutlineTermOnAFullSilhouette) {
    // Neck top (100, 66), scale 20, upper-arm width 8.8, forearm width 6, every pixel set. The
    // arm window runs 84 columns out from the neck over rows 2..142, less the body below the
    // neck row out to column 120 (20 x 76) and the neck beside it from row 38 (10 x 28).
    const Integral full = IntegralOf(cv::Mat(150, 200, CV_8UC1, cv::Scalar(1)));
    const int A = 84 * 140 - 20 * 76 - 10 * 28;
    EXPECT_EQ(ArmRegionCount(Arm(0), full.data()), A);
    EXPECT_EQ(ArmRegionCount(Arm(1), full.data()), A);

    struct Case {
        std::string name;
        cv::Point elbow;
        double U, a;
        cv::Point2d hand;
        double numerator;  // coverage of both boxes less the body crossing and the fold
    };
    const double upper24 = (24 + 4.4) * 8.8, upper18 = (18 + 4.4) * 8.8;
    const std::vector<Case> cases = {
        {"straight out", {140, 72}, 24, 0, {168, 72}, upper24 + 28 * 6},
        // Elbow and hand inside column 120, hand below the neck row: the forearm lies over the
        // body and its coverage is left out.
        {"forearm over the body", {118, 90}, 18, -kPi / 2, {110, 110}, upper18},
        // Folded straight back to the neck column: the stretch from column 120 to the hand (the
        // axis box of columns 101..120, rows 70..75) crosses the body, and the fold covers the
        // upper arm again for min(L, U) = 24 columns.
        {"folded back level", {140, 72}, 24, 0, {100, 72}, upper24 + 40 * 6 - 20 * 6 - 24 * 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpperArmHypothesis upper;
        upper.elbowX = c.elbow.x;
        upper.elbowY = c.elbow.y;
        upper.length = c.U;
        upper.angle = c.a;
        upper.boxScore = 1;
        const double L = std::hypot(c.hand.x - c.elbow.x, c.hand.y - c.elbow.y);
        const double foreAngle = SegmentAngle(c.elbow.x, c.elbow.y, c.hand.x, c.hand.y);
        EXPECT_NEAR(
            OutlineTerm(Arm(0), upper, c.hand.x, c.hand.y, L, foreAngle, 1.0, A, full.data()),
            c.numerator / A + 0.01, 1e-12);
    }
}

TEST(HandsTrack, OutlineTermTakesTheForearmStretchOverTheBody) {
    // Neck top (100, 66), scale 20, forearm width 6, every pixel set; the inner column is 120
    // for hand 0 and 80 for hand 1. Upper arm 20 long along the forearm (no fold). The part of
    // the forearm on the body side of the inner column is a box from where the forearm crosses
    // that column (or the neck row) along the forearm; its pixels are taken off the coverage.
    // Hands and elbows are placed so that no crossing lands on a whole pixel.
    const Integral full = IntegralOf(cv::Mat(150, 200, CV_8UC1, cv::Scalar(1)));
    const int A = 84 * 140 - 20 * 76 - 10 * 28;
    struct Case {
        std::string name;
        int arm;
        cv::Point elbow;
        cv::Point2d hand;
        bool forearmCounted;  // false: the forearm lies over the body and is left out
        cv::Point2d start;    // start of the stretch over the body
        double stretch;       // its length; 0 for none
    };
    const std::vector<Case> cases = {
        // Rising inward, crossing column 120 at row 69.5 below the neck row; the hand is above
        // the neck row, so the stretch ends where the forearm reaches row 66 (x = 116.67).
        {"hand 0 rising past the neck row",
         0,
         {130, 80},
         {110, 59},
         true,
         {120, 69.5},
         std::hypot(10.0 / 3, 3.5)},
        // Rising inward, the hand still below the neck row: the stretch ends at the hand.
        {"hand 0 rising below the neck row",
         0,
         {140, 100},
         {111, 80},
         true,
         {120, 100 - 400.0 / 29},
         std::hypot(9.0, 180.0 / 29)},
        // Rising inward but crossing column 120 above the neck row: nothing over the body.
        {"hand 0 rising above the neck row", 0, {130, 60}, {110, 50}, true, {}, 0},
        // Falling inward, crossing column 120 at row 75.5: the rest of the forearm.
        {"hand 0 falling across the column",
         0,
         {130, 70},
         {110, 81},
         true,
         {120, 75.5},
         std::hypot(20.0, 11.0) - std::hypot(10.0, 5.5)},
        // Falling inward, crossing column 120 above the neck row (60.3): the rest of the forearm
        // from where it reaches row 66.
        {"hand 0 falling across the neck row",
         0,
         {130, 50},
         {100, 81},
         true,
         {130 - 480.0 / 31, 66},
         std::hypot(30.0, 31.0) - std::hypot(480.0 / 31, 16.0)},
        // Elbow inside the column below the neck row, hand above it: up to the neck row.
        {"hand 0 elbow inside, rising",
         0,
         {110, 90},
         {105, 60},
         true,
         {110, 90},
         24 * std::hypot(5.0, 30.0) / 30},
        {"hand 0 elbow inside above the neck row", 0, {110, 60}, {105, 40}, true, {}, 0},
        {"hand 1 rising past the neck row",
         1,
         {70, 80},
         {90, 59},
         true,
         {80, 69.5},
         std::hypot(10.0 / 3, 3.5)},
        {"hand 1 falling across the column",
         1,
         {70, 70},
         {90, 81},
         true,
         {80, 75.5},
         std::hypot(20.0, 11.0) - std::hypot(10.0, 5.5)},
        // Level toward the body: the axis box from column 80 to the hand (15 x 6 pixels).
        {"hand 1 level", 1, {60, 72}, {95, 72}, true, {80, 72}, 15},
        {"hand 1 elbow inside, rising",
         1,
         {90, 90},
         {95, 60},
         true,
         {90, 90},
         24 * std::hypot(5.0, 30.0) / 30},
        {"hand 1 elbow inside, hand below the neck row", 1, {90, 70}, {95, 100}, false, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double L = std::hypot(c.hand.x - c.elbow.x, c.hand.y - c.elbow.y);
        const double angle = SegmentAngle(c.elbow.x, c.elbow.y, c.hand.x, c.hand.y);
        UpperArmHypothesis upper;
        upper.elbowX = c.elbow.x;
        upper.elbowY = c.elbow.y;
        upper.length = 20;
        upper.angle = angle;
        upper.boxScore = 1;
        const int overBody =
            c.stretch > 0 ? BoxSum(200, 150, c.start.x, c.start.y, c.stretch, 6, angle, full.data())
                          : 0;
        if (c.name == "hand 1 level") {
            ASSERT_EQ(overBody, 90);
        }
        const double numerator =
            (20 + 4.4) * 8.8 + (c.forearmCounted ? L * 6 : 0.0) - std::max(0, overBody);
        EXPECT_NEAR(
            OutlineTerm(Arm(c.arm), upper, c.hand.x, c.hand.y, L, angle, 1.0, A, full.data()),
            numerator / A + 0.01, 1e-12);
    }
}

TEST(HandsTrack, OutwardBonusFavoursRaisedOutstretchedArms) {
    // Neck top (100, 66), t = 20: the bonus is 1 + exp(-((U + L - 60) / 20)^2).
    struct Case {
        std::string name;
        int arm;
        cv::Point elbow;
        double U, a;
        cv::Point2d hand;
        double expected;
    };
    auto bonus = [](double total) { return 1 + std::exp(-(total - 60) * (total - 60) / 400.0); };
    const double p = kPi;
    const std::vector<Case> cases = {
        {"hand 0 raised, 60 long", 0, {130, 50}, 30, 0.25 * p, {150, 30}, 2.0},
        {"hand 0 raised, 55 long", 0, {130, 50}, 25, 0.25 * p, {150, 30}, bonus(55)},
        {"hand 0 raised, 36 long", 0, {130, 50}, 6, 0.25 * p, {150, 30}, bonus(36)},
        {"hand 0 too short", 0, {130, 50}, 5, 0.25 * p, {150, 30}, 1},
        {"hand 0 elbow inside the torso width", 0, {119, 50}, 30, 0.25 * p, {150, 30}, 1},
        {"hand 0 upper arm below horizontal", 0, {130, 80}, 30, -0.1 * p, {150, 60}, 1},
        {"hand 0 hand too low", 0, {130, 80}, 30, 0.1 * p, {150, 130}, 1},
        {"hand 1 raised, 60 long", 1, {70, 50}, 30, 0.75 * p, {50, 30}, 2.0},
        {"hand 1 upper arm to the right", 1, {70, 50}, 30, 0.25 * p, {50, 30}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpperArmHypothesis upper;
        upper.elbowX = c.elbow.x;
        upper.elbowY = c.elbow.y;
        upper.length = c.U;
        upper.angle = c.a;
        const double L = 30;
        const double foreAngle = SegmentAngle(c.elbow.x, c.elbow.y, c.hand.x, c.hand.y);
        EXPECT_NEAR(OutwardBonus(Arm(c.arm), upper, c.hand.x, c.hand.y, L, foreAngle), c.expected,
                    1e-12);
    }
}

TEST(HandsTrack, NeighbourFactorWantsTheForearmLinedBySilhouette) {
    // Forearm of hand 0 from (120, 60) straight right, 30 long, width 6: the probes are the
    // vertical segments at x = 120, 129, 138, 147 from row 67 up to row 58 (midpoint 62.5).
    UpperArmHypothesis upper;
    upper.elbowX = 120;
    upper.elbowY = 60;
    cv::Mat lined = cv::Mat::zeros(150, 200, CV_8UC1);
    lined(cv::Rect(100, 62, 80, 2)).setTo(1);
    const cv::Mat empty = cv::Mat::zeros(150, 200, CV_8UC1);
    ArmContext arm = Arm(0);
    arm.neckX = 90;  // the user stands in the left half, reaching right toward the other
    const double w = 0.375 * 6;
    const double miss = 0.2 + 0.8 * std::exp(-100 / (w * w));
    const double hit = 0.2 + 0.8 * std::exp(-0.25 / (w * w));

    EXPECT_EQ(NeighbourFactor(arm, upper, 150, 30, 0, empty), 1.0);  // nobody beside
    arm.other = OtherUser{true, 160, 30, 20};
    EXPECT_NEAR(NeighbourFactor(arm, upper, 150, 30, 0, empty), std::pow(miss, 4), 1e-12);
    EXPECT_NEAR(NeighbourFactor(arm, upper, 150, 30, 0, lined), std::pow(hit, 4), 1e-12);
    EXPECT_EQ(NeighbourFactor(arm, upper, 110, 30, 0, empty), 1.0);  // hand not reaching out
    arm.other.x = 190;                                               // five torso half-widths away
    EXPECT_EQ(NeighbourFactor(arm, upper, 150, 30, 0, empty), 1.0);
}

TEST(HandsTrack, ChainLimits) {
    // One hand candidate and one upper arm on a full silhouette (no motion, no other user), so
    // every chain that passes the limits scores well above the floor. Torso half-width 20:
    // forearm from max(0.36 x nominal, minimum) to 1.2 x maximum, between U / 4 and 1.75 U, the
    // whole arm at most (7 t) >> 1 = 70 for hand 0 and 3.3 t = 66 for hand 1; the forearm box
    // (width 6) at least a fifth full.
    struct Case {
        std::string name;
        int arm;
        cv::Point elbow;
        double U, a;
        cv::Point hand;
        bool kept;
        double foreNominal = 30, foreMax = 40;
        int forearmPixels = -1;  // >= 0: the level forearm box right of (140, 72) holds only these
    };
    const double p = kPi;
    const std::vector<Case> cases = {
        {"straight out", 0, {140, 72}, 24, 0, {170, 72}, true},
        {"forearm 11 of at least 10.8", 0, {140, 72}, 24, 0, {151, 72}, true},
        {"forearm 10 of at least 10.8", 0, {140, 72}, 24, 0, {150, 72}, false},
        {"forearm 24 of at most 24", 0, {140, 72}, 24, 0, {164, 72}, true, 30, 20},
        {"forearm 25 of at most 24", 0, {140, 72}, 24, 0, {165, 72}, false, 30, 20},
        {"forearm 28 of at most 1.75 U", 0, {140, 72}, 16, 0, {168, 72}, true},
        {"forearm 29 over 1.75 U", 0, {140, 72}, 16, 0, {169, 72}, false},
        {"forearm 12 of at least U / 4", 0, {140, 72}, 48, 0, {152, 72}, true, 10},
        {"forearm 11 under U / 4", 0, {140, 72}, 48, 0, {151, 72}, false, 10},
        {"hand 0 arm 70 long", 0, {140, 72}, 40, 0, {170, 72}, true},
        {"hand 0 arm 71 long", 0, {140, 72}, 40, 0, {171, 72}, false},
        {"hand 1 arm 66 long", 1, {60, 72}, 36, p, {30, 72}, true},
        {"hand 1 arm 67 long", 1, {60, 72}, 36, p, {29, 72}, false},
        {"elbow above a hand above the neck row", 0, {140, 40}, 24, 0.2, {150, 50}, false},
        {"elbow above a hand below the neck row", 0, {140, 40}, 24, 0.2, {150, 70}, true},
        {"elbow below a hand above the neck row", 0, {140, 60}, 24, 0.2, {150, 45}, true},
        {"elbow bent back", 0, {140, 72}, 24, -0.6 * p, {170, 72}, false},
        {"forearm box a fifth full", 0, {140, 72}, 24, 0, {170, 72}, true, 30, 40, 36},
        {"forearm box under a fifth full", 0, {140, 72}, 24, 0, {170, 72}, false, 30, 40, 35},
    };
    const Integral none = IntegralOf(cv::Mat::zeros(150, 200, CV_8UC1));
    const cv::Mat scratch = cv::Mat::zeros(150, 200, CV_8UC1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat mask(150, 200, CV_8UC1, cv::Scalar(1));
        if (c.forearmPixels >= 0) {
            // The axis box of the level forearm counts columns 141..170, rows 70..75.
            cv::Mat box = mask(cv::Rect(141, 70, 30, 6));
            box.setTo(0);
            for (int i = 0; i < c.forearmPixels; ++i) {
                box.at<uint8_t>(i / 30, i % 30) = 1;
            }
        }
        const Integral fg = IntegralOf(mask);
        const HandMaps maps{200, 150, fg.data(), none.data(), none.data(), none.data(), 1};
        ArmContext arm = Arm(c.arm);
        arm.foreNominal = c.foreNominal;
        arm.foreMax = c.foreMax;
        HandCell cell;
        cell.x = c.hand.x;
        cell.y = c.hand.y;
        UpperArmHypothesis upper;
        upper.elbowX = c.elbow.x;
        upper.elbowY = c.elbow.y;
        upper.length = c.U;
        upper.angle = c.a;
        upper.boxScore = 1;
        upper.weight = 1;
        std::vector<ArmChain> best;
        FitChains(arm, {cell}, {0}, {1.0}, {upper}, maps, scratch, best);
        EXPECT_EQ(best.size(), c.kept ? 1u : 0u);
        if (c.kept && best.size() == 1) {
            const double L = std::hypot(c.hand.x - c.elbow.x, c.hand.y - c.elbow.y);
            EXPECT_DOUBLE_EQ(best[0].foreLength, L);
            EXPECT_DOUBLE_EQ(best[0].foreAngle,
                             SegmentAngle(c.elbow.x, c.elbow.y, c.hand.x, c.hand.y));
            EXPECT_DOUBLE_EQ(best[0].upperLength, c.U);
            EXPECT_GT(best[0].score, 0.001);
        }
    }
}

TEST(HandsTrack, MeanChainTruncatesTheJointDifferences) {
    const ArmContext arm = Arm(0);  // shoulder (116, 72)
    ArmChain a, b;
    a.elbowX = 140.6;
    a.elbowY = 72;
    a.handX = 170.2;
    a.handY = 72;
    a.score = 1;
    b = a;
    b.elbowY = 75;
    b.handY = 76;
    b.score = 2;
    const ArmChain m = MeanChain(arm, {a, b});
    EXPECT_NEAR(m.elbowY, 74, 1e-12);
    EXPECT_NEAR(m.handY, 74.666666666666, 1e-9);
    // Elbow - shoulder = (24.6, 2) -> (24, 2); hand - elbow = (29.6, 0.67) -> (29, 0).
    EXPECT_DOUBLE_EQ(m.upperLength, std::sqrt(24.0 * 24 + 4));
    EXPECT_DOUBLE_EQ(m.upperAngle, std::atan2(-2.0, 24.0));
    EXPECT_DOUBLE_EQ(m.foreLength, 29);
    EXPECT_DOUBLE_EQ(m.foreAngle, 0);
}

TEST(HandsTrack, SkinBlobPairs) {
    struct Case {
        std::string name;
        std::vector<cv::Rect> blobs;
        bool found;
        cv::Point hand0, hand1;
    };
    const std::vector<Case> cases = {
        {"two blobs", {{20, 100, 10, 10}, {160, 90, 8, 8}}, true, {164, 94}, {25, 105}},
        {"largest two of three",
         {{20, 100, 10, 10}, {160, 90, 8, 8}, {90, 20, 4, 4}},
         true,
         {164, 94},
         {25, 105}},
        {"one blob", {{20, 100, 10, 10}}, false, {}, {}},
        {"tiny second blob", {{20, 100, 10, 10}, {160, 90, 3, 3}}, false, {}, {}},
        {"centres 1 apart in x", {{20, 100, 10, 10}, {21, 40, 10, 10}}, false, {}, {}},
        {"centres 2 apart in x", {{20, 100, 10, 10}, {22, 40, 10, 10}}, true, {27, 45}, {25, 105}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat skin = cv::Mat::zeros(150, 200, CV_8UC1);
        for (const cv::Rect& r : c.blobs) {
            skin(r).setTo(1);
        }
        const SkinBlobPair pair = FindSkinBlobPair(skin, 20);  // centres 2 apart in x needed
        EXPECT_EQ(pair.found, c.found);
        if (c.found) {
            EXPECT_EQ(pair.hand0, c.hand0);
            EXPECT_EQ(pair.hand1, c.hand1);
        }
    }
}

TEST(HandsTrack, WalkConnectsBlobsToTheirShoulder) {
    // Hand size 10: steps of 5 pixels through windows with more than 20 of 100 pixels set.
    struct Case {
        std::string name;
        int arm;
        std::vector<cv::Rect> silhouette;
        cv::Point blob;
        cv::Point2d shoulder;
        bool connected;
    };
    const std::vector<Case> cases = {
        {"hand 0 along an arm out to the side", 0, {{116, 68, 60, 8}}, {170, 72}, {116, 72}, true},
        {"hand 0 hanging below the shoulder", 0, {{112, 72, 8, 50}}, {116, 120}, {116, 72}, true},
        {"hand 0 on a broken arm",
         0,
         {{116, 68, 20, 8}, {150, 68, 26, 8}},
         {170, 72},
         {116, 72},
         false},
        {"hand 1 along an arm out to the side", 1, {{24, 68, 60, 8}}, {30, 72}, {84, 72}, true},
        {"hand 1 floating", 1, {{24, 68, 12, 8}}, {30, 72}, {84, 72}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat mask = cv::Mat::zeros(150, 200, CV_8UC1);
        for (const cv::Rect& r : c.silhouette) {
            mask(r).setTo(1);
        }
        const Integral fg = IntegralOf(mask);
        cv::Mat visited;
        EXPECT_EQ(ConnectsToShoulder(c.arm, 200, 150, c.blob, c.shoulder.x, c.shoulder.y, 10,
                                     fg.data(), visited),
                  c.connected);
    }
}

TEST(HandsTrack, FallBackHangsTheArmWhenNoChainFits) {
    // Hand 0's arm vanishes from the silhouette, leaving its hand floating: no elbow can carry a
    // chain to it, the arm is hung straight down and the floating blob is refused.
    const BodyScene scene;
    const testing::BodyPose pose{
        "", {testing::poses::kOutAndDown, testing::Mirror(testing::poses::kOutAndDown)}};
    HandsRig rig(scene);
    rig.Feed(scene.Render(pose, Appearances()[0]));
    ASSERT_EQ(rig.Start(), 0);
    RenderedFrame f = scene.Render(pose, Appearances()[0]);
    f.mask(cv::Rect(122, 0, 78, 150)).setTo(0);
    f.skin(cv::Rect(122, 0, 78, 150)).setTo(0);
    cv::circle(f.mask, {175, 135}, 6, 1, cv::FILLED);
    cv::circle(f.skin, {175, 135}, 6, 1, cv::FILLED);
    rig.Feed(f);
    EXPECT_EQ(rig.Track(HandSelector::kHand0), 0);
    EXPECT_FALSE(rig.tracker.handFound[0]);
    const BodySkeleton& sk = rig.tracker.skeleton;
    const SkeletonJoint& shoulder = sk.J(BodySkeleton::kRightShoulder);
    EXPECT_EQ(sk.J(BodySkeleton::kRightElbow).x, shoulder.x);
    EXPECT_EQ(sk.J(BodySkeleton::kRightHand).x, shoulder.x);
    EXPECT_DOUBLE_EQ(sk.J(BodySkeleton::kRightElbow).y,
                     shoulder.y + sk.L(BodySkeleton::kRightUpperArm).nominalLength);
    EXPECT_DOUBLE_EQ(sk.L(BodySkeleton::kRightUpperArm).angle, -kPi / 2);
    EXPECT_DOUBLE_EQ(sk.L(BodySkeleton::kRightForearm).angle, -kPi / 2);
}

}  // namespace
}  // namespace olvar

namespace olvar {
namespace {

TEST(HandsTrack, FallBackTakesASkinBlobConnectedToTheShoulder) {
    // Hand 0 reaches too far down and out for any chain near the previous elbow; the
    // silhouette still joins its skin to the shoulder, so the blob becomes the hand.
    const BodyScene scene;
    const testing::BodyPose pose{
        "", {testing::poses::kOutAndDown, testing::Mirror(testing::poses::kOutAndDown)}};
    HandsRig rig(scene);
    rig.Feed(scene.Render(pose, Appearances()[0]));
    ASSERT_EQ(rig.Start(), 0);
    RenderedFrame f = scene.Render(pose, Appearances()[0]);
    f.mask(cv::Rect(122, 0, 78, 150)).setTo(0);
    f.skin(cv::Rect(122, 0, 78, 150)).setTo(0);
    cv::line(f.mask, {116, 72}, {185, 138}, 1, 9);
    cv::circle(f.mask, {185, 138}, 6, 1, cv::FILLED);
    cv::circle(f.skin, {185, 138}, 6, 1, cv::FILLED);
    rig.Feed(f);
    EXPECT_EQ(rig.Track(HandSelector::kHand0), 0);
    EXPECT_TRUE(rig.tracker.handFound[0]);
    EXPECT_EQ(rig.tracker.handX[0], 185);
    EXPECT_EQ(rig.tracker.handY[0], 138);
    const BodySkeleton& sk = rig.tracker.skeleton;
    EXPECT_EQ(sk.J(BodySkeleton::kRightElbow).x, sk.J(BodySkeleton::kRightShoulder).x);  // hung
    EXPECT_EQ(sk.J(BodySkeleton::kRightHand).x, 185);
    EXPECT_DOUBLE_EQ(sk.L(BodySkeleton::kRightForearm).nominalLength,
                     std::hypot(185 - sk.J(BodySkeleton::kRightElbow).x,
                                138 - sk.J(BodySkeleton::kRightElbow).y));
}

}  // namespace
}  // namespace olvar
