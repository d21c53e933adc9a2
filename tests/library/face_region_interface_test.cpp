// GetFaceRegion as the host calls it: argument checks, and the face box of a tracked user turned
// into a square in frame pixels with the context's scale.
#include <gtest/gtest.h>

#include <memory>

#include "imaging/integral.h"
#include "library/olvar_object.h"

namespace olvar {
namespace {

// Default geometry: 320 x 240 frames, 200 x 150 working image, scale 1.6. User 0 stands upright
// with the head in columns 90..109, rows 20..59, face at (100, 40), torso half-width 20, neck top
// at row 60, and a strip of skin across the forehead (working face box 82..119 x 18..54).
class GetFaceRegionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TrackingContext& c = olvar->Context();
        c.foreground.setTo(0);
        c.foreground(cv::Rect(90, 20, 20, 40)).setTo(1);
        c.foreground(cv::Rect(60, 60, 80, 90)).setTo(1);
        BuildIntegral(c.foregroundIntegral, c.foreground);
        c.motionIntegral.assign(static_cast<size_t>(c.workWidth) * c.workHeight, 0);

        PerUserState& users = olvar->Users();
        users.rawSkinMap.setTo(0);
        users.rawSkinMap(cv::Rect(92, 26, 17, 5)).setTo(1);
        users.rawSkinMap.copyTo(users.skinMap);
        BuildIntegral(users.skinIntegral, users.skinMap);

        UserTracker& u = users.users[0];
        u.handsReady = true;
        u.faceX = 100;
        u.faceY = 40;
        u.faceSize = 20;
        u.torsoSize = 20;
        u.skeleton.J(BodySkeleton::kNeckTop).x = 100;
        u.skeleton.J(BodySkeleton::kNeckTop).y = 60;
    }

    std::unique_ptr<Olvar> olvar = std::make_unique<Olvar>();
};

TEST_F(GetFaceRegionTest, TrackedUserGetsASquareInFramePixels) {
    int rect[4] = {-1, -1, -1, -1};
    ASSERT_EQ(olvar->GetFaceRegion(rect, 0), kOlvarOk);
    // 82..119 x 18..54 scaled by 1.6 is 131..190 x 28..86: side 60 from the width, centred.
    EXPECT_EQ(rect[0], 130);
    EXPECT_EQ(rect[1], 27);
    EXPECT_EQ(rect[2], 190);
    EXPECT_EQ(rect[3], 87);
}

TEST_F(GetFaceRegionTest, RejectsBadArgumentsAndUntrackedUsers) {
    struct Case {
        const char* name;
        int user;
        bool handsReady;
        bool nullRect;
        int expected;
    };
    const Case cases[] = {
        {"user below range", -1, true, false, kOlvarInvalid},
        {"user above range", 2, true, false, kOlvarInvalid},
        {"hands not ready", 0, false, false, kOlvarNothing},
        {"second user never tracked", 1, false, false, kOlvarNothing},
        {"null rectangle", 0, true, true, kOlvarInvalid},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        olvar->Users().users[0].handsReady = k.handsReady;
        int rect[4] = {7, 7, 7, 7};
        EXPECT_EQ(olvar->GetFaceRegion(k.nullRect ? nullptr : rect, k.user), k.expected);
        for (int v : rect) {
            EXPECT_EQ(v, 7);
        }
    }
}

}  // namespace
}  // namespace olvar
