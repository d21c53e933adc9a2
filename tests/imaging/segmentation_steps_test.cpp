// The steps of the foreground segmentation on a hand-made context: the users' body regions from
// a record, the block update (classify inside the users' area, learn outside), the users' area
// rules, and the clean-up that keeps a user's body when the user stops moving.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include <opencv2/imgproc.hpp>

#include "imaging/segmentation.h"
#include "library/tracking_context.h"

namespace olvar {
namespace {

constexpr int W = 200;
constexpr int H = 150;

TrackingRecord RecordAt(float torsoX, float torsoY, int halfWidth, float faceY, float faceSize) {
    TrackingRecord r{};
    r.torsoX = torsoX;
    r.torsoY = torsoY;
    r.torsoHalfWidth = halfWidth;
    r.faceX = torsoX;
    r.faceY = faceY;
    r.faceSize = faceSize;
    return r;
}

TEST(BodyRanges, TorsoBelowTheShoulderLineAndHeadAboveItClampedToTheImage) {
    struct Case {
        const char* name;
        TrackingRecord record;
        cv::Rect torso, head;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        // l0 = 60 + (51 * 20 >> 8) = 63; the face ends above it (50).
        {"face above the neck", RecordAt(100, 60, 20, 40, 20), {80, 63, 41, 58}, {90, 37, 21, 27}},
        // Face ending at 85: l = (102 * 85 + 154 * 63) >> 8 = 71.
        {"face reaching below the neck",
         RecordAt(100, 60, 20, 70, 30),
         {80, 71, 41, 50},
         {90, 37, 21, 35}},
        {"at the left and bottom edges",
         RecordAt(5, 140, 20, 120, 20),
         {0, 143, 26, 7},
         {0, 117, 16, 27}},
        {"outside the image", RecordAt(500, 60, 20, 40, 20), {}, {}},
        {"negative half-width", RecordAt(100, 60, -20, 40, 20), {}, {}},
        {"huge half-width", RecordAt(100, 60, INT_MAX, 40, 20), {}, {0, 0, W, H}},
        {"not a number", RecordAt(nan, nan, 20, nan, nan), {0, 3, 21, 58}, {0, 0, 11, 4}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const BodyRanges ranges = BodyRangesOf(k.record, W, H);
        EXPECT_EQ(ranges.torso, k.torso);
        EXPECT_EQ(ranges.head, k.head);
        for (const cv::Rect& r : {ranges.torso, ranges.head}) {
            EXPECT_EQ(r & cv::Rect(0, 0, W, H), r);
        }
    }
}

const cv::Vec3b kWallYcc(180, 130, 120);
const cv::Vec3b kShirtYcc(60, 190, 100);

// A context whose codebook has learned a uniform wall.
struct LearnedWall {
    LearnedWall() {
        c.ycrcb.setTo(kWallYcc);
        c.reference.setTo(kWallYcc);
        EXPECT_TRUE(EnsureCodebook(c.View(), c.codebook));
        EXPECT_FALSE(EnsureCodebook(c.View(), c.codebook));
    }

    // Marks a rectangle as changed against the reference and fills the quadtree from it.
    void Changed(const cv::Rect& rect) {
        c.differenceMask.setTo(0);
        c.differenceMask(rect).setTo(1);
        BuildIntegral(c.differenceIntegral, c.differenceMask);
        c.quadtree.Update(W, H, c.differenceIntegral.data());
    }

    bool Learned(int x, int y, const cv::Vec3b& value) {
        const uint8_t v[3] = {value[0], value[1], value[2]};
        return c.codebook.MatchPixel(y * W + x, v) == 0;
    }

    TrackingContext c;
};

TEST(ChangedBlocks, ClassifyInsideTheUsersAreaAndLearnOutsideIt) {
    // The shirt appears in the top-left top cell (50 x 50); the users' area covers the cell's
    // left half. Outside the changed cell the raw foreground keeps what it held.
    LearnedWall wall;
    TrackingContext& c = wall.c;
    c.reference(cv::Rect(0, 0, 50, 50)).setTo(kShirtYcc);
    wall.Changed(cv::Rect(0, 0, 50, 50));
    c.usersArea.setTo(0);
    c.usersArea(cv::Rect(0, 0, 25, 150)).setTo(1);
    c.rawForeground.setTo(0);
    c.rawForeground.at<uint8_t>(100, 150) = 1;

    UpdateChangedBlocks(c.View(), c.SegmentationTargets());
    EXPECT_EQ(cv::countNonZero(c.rawForeground(cv::Rect(0, 0, 25, 50))), 25 * 50);
    EXPECT_EQ(cv::countNonZero(c.rawForeground(cv::Rect(25, 0, 25, 50))), 0);
    EXPECT_EQ(c.rawForeground.at<uint8_t>(100, 150), 1);
    EXPECT_TRUE(wall.Learned(30, 10, kShirtYcc));   // learned as background
    EXPECT_FALSE(wall.Learned(10, 10, kShirtYcc));  // only classified
    EXPECT_FALSE(wall.Learned(60, 10, kShirtYcc));  // not in a changed block
}

TEST(ChangedBlocks, WithSeveralPersonsLastForegroundIsLookedAtAgainWhereNothingChanged) {
    // Last frame's foreground held a patch at (150, 100) where nothing changed now. With several
    // persons counted, its leaf is classified again (the wall matches: background); otherwise
    // the patch is left as it was.
    struct Case {
        int persons;
        int expected;
    };
    for (const Case& k : {Case{0, 1}, Case{1, 1}, Case{2, 0}, Case{5, 0}}) {
        SCOPED_TRACE(k.persons);
        LearnedWall wall;
        TrackingContext& c = wall.c;
        wall.Changed(cv::Rect(0, 0, 50, 50));
        c.usersArea.setTo(1);
        c.rawForeground.setTo(0);
        c.rawForeground(cv::Rect(148, 98, 4, 4)).setTo(1);
        BuildIntegral(c.foregroundIntegral, c.rawForeground);
        c.workspace.personCount = k.persons;
        UpdateChangedBlocks(c.View(), c.SegmentationTargets());
        EXPECT_EQ(c.rawForeground.at<uint8_t>(100, 150), k.expected);
    }
}

// A context with last frame's foreground: a person (torso and head) and a small blob aside.
void LastFrameWithPerson(TrackingContext& c) {
    c.foreground.setTo(0);
    c.foreground(cv::Rect(80, 58, 41, 82)).setTo(1);
    cv::ellipse(c.foreground, cv::Point(100, 45), cv::Size(10, 13), 0, 0, 360, cv::Scalar(1),
                cv::FILLED);
    c.foreground(cv::Rect(20, 100, 10, 10)).setTo(1);
    c.rawForeground.setTo(0);
    c.motionMask.setTo(0);
    BuildIntegral(c.motionIntegral, c.motionMask);
}

TEST(CleanUp, AUserWhoStopsMovingKeepsTheBodyFoundLastFrame) {
    // Nothing moves and nothing changed, so the block update classifies nothing and the raw
    // foreground is empty. With a valid record the last frame's foreground comes back inside the
    // user's torso and head ranges (torso rows 63 to 120); without one the mask stays empty.
    for (const bool valid : {true, false}) {
        SCOPED_TRACE(valid);
        TrackingContext c;
        LastFrameWithPerson(c);
        c.lastRecordValid[0] = valid;
        c.lastRecord[0] = RecordAt(100, 60, 20, 45, 24);
        SegmentForeground(c.View(), c.SegmentationTargets());
        const cv::Mat& fg = c.foreground;
        if (!valid) {
            EXPECT_EQ(cv::countNonZero(fg), 0);
            continue;
        }
        EXPECT_EQ(fg.at<uint8_t>(100, 100), 1);  // torso
        EXPECT_EQ(fg.at<uint8_t>(45, 100), 1);   // head
        EXPECT_EQ(fg.at<uint8_t>(120, 80), 1);   // torso range corner
        EXPECT_EQ(fg.at<uint8_t>(130, 100), 0);  // below the torso range
        EXPECT_EQ(fg.at<uint8_t>(105, 25), 0);   // the blob aside
        EXPECT_EQ(cv::countNonZero(fg(cv::Rect(80, 63, 41, 58))), 41 * 58);
        // The foreground restarts the age of its pixels.
        EXPECT_EQ(c.workspace.age.at<uint8_t>(100, 100), 0);
        EXPECT_EQ(c.workspace.age.at<uint8_t>(5, 5), 1);
    }
}

// Every pixel of a mask is 0 or 1, so its integral total is its pixel count.
void ExpectZeroOrOne(const cv::Mat& mask) {
    double low = 0, high = 0;
    cv::minMaxLoc(mask, &low, &high);
    EXPECT_EQ(high, 1.0);
    Integral integral;
    BuildIntegral(integral, mask);
    EXPECT_EQ(IntegralTotal(integral), cv::countNonZero(mask));
}

TEST(CleanUp, UnionsOfOverlappingMasksKeepOneForASetPixel) {
    // The users' area joins last frame's foreground and the motion, the clean-up adds the
    // closed motion and then the silhouette's inside to the foreground: all of them overlap
    // here. A set pixel stays 1, so the foreground total counts pixels once (the trackers'
    // densities and the 400-pixel test read it).
    TrackingContext c;
    LastFrameWithPerson(c);
    c.ycrcb.setTo(kWallYcc);
    c.reference.setTo(kWallYcc);
    EnsureCodebook(c.View(), c.codebook);
    c.reference(cv::Rect(75, 50, 50, 50)).setTo(kShirtYcc);  // the top cell the torso is in
    c.differenceMask.setTo(0);
    c.differenceMask(cv::Rect(50, 50, 50, 50)).setTo(1);
    BuildIntegral(c.differenceIntegral, c.differenceMask);
    c.quadtree.Update(W, H, c.differenceIntegral.data());
    // Motion over the torso, with one-pixel gaps that the clean-up's closing fills.
    for (int y = 60; y < 100; y += 2) {
        c.motionMask(cv::Rect(82, y, 36, 1)).setTo(1);
    }
    BuildIntegral(c.motionIntegral, c.motionMask);
    c.lastRecordValid[0] = true;
    c.lastRecord[0] = RecordAt(100, 60, 20, 45, 24);

    SegmentForeground(c.View(), c.SegmentationTargets());
    ASSERT_GT(cv::countNonZero(c.foreground(cv::Rect(50, 50, 50, 50))), 0);
    ExpectZeroOrOne(c.usersArea);
    ExpectZeroOrOne(c.foreground);
}

TEST(UsersArea, OnePersonRuleCoversLastForegroundAndTheMotion) {
    // Without change in the quadtree the simple rule runs: the area is last frame's foreground
    // (grown, holes closed) and this frame's motion, grown by two pixels.
    TrackingContext c;
    LastFrameWithPerson(c);
    c.motionMask(cv::Rect(150, 20, 20, 20)).setTo(1);
    BuildIntegral(c.motionIntegral, c.motionMask);
    BuildUsersArea(c.View(), c.SegmentationTargets());
    EXPECT_EQ(c.workspace.personCount, 0);
    EXPECT_EQ(c.usersArea.at<uint8_t>(105, 25), 1);
    EXPECT_EQ(c.usersArea.at<uint8_t>(100, 100), 1);
    EXPECT_EQ(c.usersArea.at<uint8_t>(30, 160), 1);
    EXPECT_EQ(c.usersArea.at<uint8_t>(97, 17), 1);  // 3 pixels beside the blob
    EXPECT_EQ(c.usersArea.at<uint8_t>(96, 17), 0);  // 4 pixels beside it
    EXPECT_EQ(c.usersArea.at<uint8_t>(10, 100), 0);
    // The frame's motion is kept as it came; the age restarts where it moved.
    EXPECT_EQ(cv::countNonZero(c.workspace.motionCopy), 400);
    EXPECT_EQ(c.workspace.age.at<uint8_t>(30, 160), 0);
    EXPECT_EQ(c.workspace.age.at<uint8_t>(5, 5), 1);
}

TEST(UsersArea, LargeMotionWhereUsersStandGivesTheExtentOfTheAccumulatedMotion) {
    // The lower half changed densely (where users without records are looked for) and a large
    // blob moved there: the accumulated motion shows more than a person's share of the picture,
    // so the area is the blob's extent alone (last frame's blob aside is left out), and the
    // accumulator restarts.
    TrackingContext c;
    LastFrameWithPerson(c);
    c.differenceMask.setTo(0);
    c.differenceMask(cv::Rect(0, 75, W, 75)).setTo(1);
    BuildIntegral(c.differenceIntegral, c.differenceMask);
    c.quadtree.Update(W, H, c.differenceIntegral.data());
    c.motionMask(cv::Rect(40, 80, 101, 61)).setTo(1);
    BuildIntegral(c.motionIntegral, c.motionMask);

    BuildUsersArea(c.View(), c.SegmentationTargets());
    EXPECT_EQ(c.workspace.personCount, 2);
    EXPECT_EQ(c.usersArea.at<uint8_t>(110, 90), 1);
    EXPECT_EQ(c.usersArea.at<uint8_t>(110, 39), 1);  // grown by one pixel
    EXPECT_EQ(c.usersArea.at<uint8_t>(110, 38), 0);
    EXPECT_EQ(c.usersArea.at<uint8_t>(105, 25), 0);  // last frame's blob aside
    EXPECT_EQ(c.usersArea.at<uint8_t>(45, 100), 0);  // last frame's head
    EXPECT_EQ(cv::countNonZero(c.motionAccumulator), 0);

    // The same motion without change in the users' boxes takes the one-person rule.
    TrackingContext plain;
    LastFrameWithPerson(plain);
    plain.motionMask(cv::Rect(40, 80, 101, 61)).setTo(1);
    BuildIntegral(plain.motionIntegral, plain.motionMask);
    BuildUsersArea(plain.View(), plain.SegmentationTargets());
    EXPECT_EQ(plain.workspace.personCount, 0);
    EXPECT_EQ(plain.usersArea.at<uint8_t>(105, 25), 1);
}

TEST(Segmentation, WithTwoPersonsCountedPixelsOutsideTheUsersAreSeenAsBackground) {
    // The large-motion case above, through the whole segmentation: the users' area shrinks
    // back by the pixel it grew, and everything outside it is recorded as seen background.
    TrackingContext c;
    LastFrameWithPerson(c);
    c.ycrcb.setTo(kWallYcc);
    c.reference.setTo(kWallYcc);
    c.differenceMask.setTo(0);
    c.differenceMask(cv::Rect(0, 75, W, 75)).setTo(1);
    BuildIntegral(c.differenceIntegral, c.differenceMask);
    c.quadtree.Update(W, H, c.differenceIntegral.data());
    c.motionMask(cv::Rect(40, 80, 101, 61)).setTo(1);
    BuildIntegral(c.motionIntegral, c.motionMask);

    SegmentForeground(c.View(), c.SegmentationTargets());
    const SegmentationWorkspace& ws = c.workspace;
    ASSERT_EQ(ws.personCount, 2);
    EXPECT_EQ(c.usersArea.at<uint8_t>(110, 40), 1);
    EXPECT_EQ(c.usersArea.at<uint8_t>(110, 39), 0);
    EXPECT_EQ(ws.seenBackground.at<uint8_t>(5, 5), 1);
    EXPECT_EQ(ws.seenBackground.at<uint8_t>(110, 39), 1);
    EXPECT_EQ(ws.seenBackground.at<uint8_t>(110, 90), 0);
    EXPECT_EQ(cv::countNonZero(ws.seenBackground), W * H - 101 * 61);
    EXPECT_FALSE(ws.seenAllBackground);
}

TEST(Segmentation, DoesNothingWhenTheBuffersDisagreeOnTheWorkingSize) {
    TrackingContext c;
    c.workspace.Resize(100, 100);
    c.foreground.setTo(1);
    SegmentForeground(c.View(), c.SegmentationTargets());
    EXPECT_EQ(c.codebook.CellCount(), 0);
    EXPECT_EQ(cv::countNonZero(c.foreground), W * H);
}

}  // namespace
}  // namespace olvar
