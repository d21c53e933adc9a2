// The decisions of the body and torso-and-hands steps that come before any body-part tracker
// runs: blobs too narrow to be a person, a second user standing on the first, and a user that is
// not there.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <opencv2/imgproc.hpp>

#include <opencv2/imgproc.hpp>

#include "imaging/integral.h"
#include "synth/scene.h"
#include "users/per_user_state.h"

namespace olvar {
namespace {

constexpr int W = 200;
constexpr int H = 150;

class BodyStepTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state = std::make_unique<PerUserState>();
        colour = cv::Mat::zeros(H, W, CV_8UC3);
        ycrcb = cv::Mat::zeros(H, W, CV_8UC3);
        foreground = cv::Mat::zeros(H, W, CV_8UC1);
        Integrate();
    }

    void Integrate() {
        BuildIntegral(foregroundIntegral, foreground);
        zeros.assign(static_cast<size_t>(W) * H, 0);
    }

    FrameView Frame() const {
        return FrameView{W,
                         H,
                         colour,
                         colour,
                         ycrcb,
                         ycrcb,
                         foreground,
                         foreground,
                         foreground,
                         foregroundIntegral.data(),
                         zeros.data(),
                         zeros.data(),
                         zeros.data(),
                         6,
                         quadtree,
                         noRecords,
                         records};
    }

    void TwoUsers() {
        state->userMode.userCount = 2;
        state->current = 1;
    }

    std::unique_ptr<PerUserState> state;
    cv::Mat colour, ycrcb, foreground;
    Integral foregroundIntegral, zeros;
    Quadtree quadtree;
    bool noRecords[2] = {false, false};
    TrackingRecord records[2] = {};
};

TEST_F(BodyStepTest, BlobNineColumnsWideNeverStartsAUser) {
    foreground(cv::Rect(100, 60, 9, 60)).setTo(1);
    Integrate();
    EXPECT_EQ(state->BodyStep(Frame()), 1);
    const UserTracker& u = state->users[0];
    EXPECT_FALSE(u.present);
    // The blob was found (its first torso estimate is min(85 * 60 >> 8, 9 / 2) = 4) and then
    // refused for its width.
    EXPECT_EQ(u.torsoSize, 4);
}

TEST_F(BodyStepTest, SecondUserIsOnlySoughtBesideAPresentFirstUser) {
    foreground(cv::Rect(120, 30, 40, 120)).setTo(1);
    Integrate();
    TwoUsers();
    state->users[1].torsoSize = -5;
    EXPECT_EQ(state->BodyStep(Frame()), 1);
    EXPECT_FALSE(state->users[1].present);
    EXPECT_EQ(state->users[1].torsoSize, -5);  // no blob was looked for
}

// The second user's search half is cleaned (opened, then closed twice) as an image of its own:
// the first user's silhouette just beyond the half's edge must not bridge the four empty columns
// to the second person's blob. The blob's width shows in its first torso estimate,
// min((85 * height) >> 8, width / 2): the contour finder clears the half's one-pixel frame, so a
// bridged blob would end at the half's second-last column (width 86, estimate 43) instead of at
// its own edge (width 83, estimate 41).
TEST_F(BodyStepTest, SecondUserSearchHalfIsCleanedAsAnImageOfItsOwn) {
    struct Case {
        const char* name;
        float firstFaceX;       // first user's torso half-width 20: the half ends 23 columns away
        cv::Rect firstBody;     // just outside the search half
        cv::Rect secondPerson;  // inside it, 4 columns from its edge
    };
    const Case cases[] = {
        {"first user on the right, search left of column 127",
         150,
         {127, 20, 73, 130},
         {40, 10, 83, 140}},
        {"first user on the left, search from column 73", 50, {0, 20, 73, 130}, {77, 10, 83, 140}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SetUp();
        foreground(k.firstBody).setTo(1);
        foreground(k.secondPerson).setTo(1);
        Integrate();
        TwoUsers();
        UserTracker& first = state->users[0];
        first.present = true;
        first.faceX = k.firstFaceX;
        first.torsoSize = 20;
        // The black picture holds no skin, so no head is found once the blob is taken.
        EXPECT_EQ(state->BodyStep(Frame()), 1);
        EXPECT_FALSE(state->users[1].present);
        EXPECT_EQ(state->users[1].torsoSize, 41);
    }
}

// A followed second user whose face comes closer to the first user's face than either torso
// half-width is rejected at once, and no longer counts as present: its face is not followed in
// a rejected frame, so a user kept present would be rejected again in every later frame for as
// long as the first user stands there, and the second user's place would never be searched.
TEST_F(BodyStepTest, SecondUserOnTopOfTheFirstIsRejected) {
    struct Case {
        const char* name;
        float firstFaceX, secondFaceX;
        int firstTorso, secondTorso;
    };
    const Case cases[] = {
        {"within the first user's half-width", 100, 119.5f, 20, 10},
        {"within the second user's half-width", 100, 85, 10, 16},
        {"same column", 60, 60, 1, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SetUp();
        TwoUsers();
        UserTracker& first = state->users[0];
        UserTracker& second = state->users[1];
        first.present = true;
        first.faceX = k.firstFaceX;
        first.torsoSize = k.firstTorso;
        second.present = second.torsoReady = second.handsReady = true;
        second.faceX = k.secondFaceX;
        second.torsoSize = k.secondTorso;
        EXPECT_EQ(state->BodyStep(Frame()), 10);
        EXPECT_FALSE(second.present);
        EXPECT_FALSE(second.torsoReady);
        EXPECT_FALSE(second.handsReady);
        // The next frame looks for a second person again (the empty picture holds none).
        EXPECT_EQ(state->BodyStep(Frame()), 1);
        EXPECT_EQ(state->outcome[1], StepOutcome::kNoBlob);
    }
}

// People drawn into the working images: a shirt of some colour with a skin-coloured head on top
// (or a head of the shirt's colour, which holds no skin).
struct DrawnPerson {
    cv::Rect body;
    cv::Scalar shirt;  // blue, green, red
    bool skinHead;
};

void Draw(const DrawnPerson& p, cv::Mat& colour, cv::Mat& foreground) {
    const int r = p.body.width / 4;
    const cv::Point head(p.body.x + p.body.width / 2, p.body.y - r);
    const cv::Scalar skin(90, 120, 200);
    cv::rectangle(colour, p.body, p.shirt, cv::FILLED);
    cv::rectangle(foreground, p.body, 1, cv::FILLED);
    cv::circle(colour, head, r, p.skinHead ? skin : p.shirt, cv::FILLED);
    cv::circle(foreground, head, r, 1, cv::FILLED);
}

// A user starts from the largest silhouette that allows it: when the largest holds no head, the
// next ones in order of size are tried, and where the largest allows a start it is the one
// taken, whatever stands beside it.
TEST_F(BodyStepTest, UserStartsFromTheLargestSilhouetteThatHoldsAHead) {
    const cv::Scalar blue(160, 80, 40), grey(125, 125, 125);
    struct Case {
        const char* name;
        std::vector<DrawnPerson> people;
        int expectedStatus;
        float faceColumn;     // of the person started
        StepOutcome refusal;  // when none starts
    };
    const Case cases[] = {
        {"largest without a head, the smaller one beside it starts",
         {{{20, 40, 70, 110}, grey, false}, {{130, 60, 40, 90}, blue, true}},
         0,
         150,
         StepOutcome::kTracked},
        {"largest with a head is taken before a smaller one",
         {{{20, 40, 60, 110}, blue, true}, {{130, 60, 40, 90}, blue, true}},
         0,
         50,
         StepOutcome::kTracked},
        {"no silhouette holds a head",
         {{{20, 40, 70, 110}, grey, false}},
         1,
         0,
         StepOutcome::kNoHead},
        // Beside the largest silhouette, a narrow piece that stops far above the frame bottom
        // is a part of that person (an arm cut off by the segmentation), not a person.
        {"a narrow piece beside the largest is not a person",
         {{{20, 40, 70, 110}, grey, false}, {{100, 70, 16, 40}, blue, true}},
         1,
         0,
         StepOutcome::kBlobPartOfLarger},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SetUp();
        for (const DrawnPerson& p : k.people) {
            Draw(p, colour, foreground);
        }
        cv::cvtColor(colour, ycrcb, cv::COLOR_BGR2YCrCb);
        Integrate();
        EXPECT_EQ(state->BodyStep(Frame()), k.expectedStatus);
        const UserTracker& u = state->users[0];
        EXPECT_EQ(u.present, k.expectedStatus == 0);
        if (k.expectedStatus == 0) {
            EXPECT_NEAR(u.faceX, k.faceColumn, 6);
        } else {
            EXPECT_EQ(state->outcome[0], k.refusal);
        }
    }
}

TEST_F(BodyStepTest, TorsoAndHandsStepOfAnAbsentUserClearsItsLaterStages) {
    UserTracker& u = state->users[0];
    u.torsoReady = u.handsReady = true;
    EXPECT_EQ(state->FaceHandsStep(Frame()), 1);
    EXPECT_FALSE(u.torsoReady);
    EXPECT_FALSE(u.handsReady);
}

TEST_F(BodyStepTest, ANewStartForgetsTheHandsOfTheLostTrack) {
    // A rendered person at rest, the silhouette as foreground. The tracker still holds the
    // hands of a user it lost elsewhere in the picture; starting the new user must drop them,
    // or hand detection would report one it never saw (it keeps a hand it finds no cells for).
    synth::SceneConfig config;
    config.frameSize = cv::Size(W, H);
    config.script = synth::ScriptRest();
    const synth::Scene scene(config);
    const synth::Frame frame = scene.Render(scene.FrameCount() - 1);
    colour = frame.image.clone();
    cv::cvtColor(colour, ycrcb, cv::COLOR_BGR2YCrCb);
    foreground = frame.people.at(0).silhouette.clone();
    Integrate();
    UserTracker& u = state->users[0];
    for (int arm = 0; arm < 2; ++arm) {
        u.handX[arm] = 10;
        u.handY[arm] = 140;
        u.handFound[arm] = true;
    }
    ASSERT_EQ(state->BodyStep(Frame()), 0);
    ASSERT_TRUE(u.present);
    for (int arm = 0; arm < 2; ++arm) {
        EXPECT_FALSE(u.handFound[arm]);
        EXPECT_EQ(u.handX[arm], 0);
    }
}

TEST_F(BodyStepTest, AFaceAssumedAboveTheShoulderLineStaysInThePicture) {
    // A person so close to the camera that the head is cut off by the top row. The torso's
    // one retry at its last pose (its particles are gone) accepts a shoulder line a few rows
    // below the top, without the border checks of a tracked torso; with no face followed, the
    // face is assumed on the head column half a torso half-width above that line, which lies
    // above the picture. A host maps the face like the hands, so the estimate is kept on the
    // top row.
    UserTracker& u = state->users[0];
    // The torso's particles are on a silhouette elsewhere, which has gone.
    foreground(cv::Rect(10, 60, 50, 90)).setTo(1);
    Integrate();
    int x = 35, y = 75, size = 22;
    ASSERT_TRUE(u.torsoFilter.Initialize(foregroundIntegral.data(), &x, &y, &size));
    foreground.setTo(0);
    foreground(cv::Rect(70, 0, 60, H)).setTo(1);
    Integrate();
    u.present = u.torsoReady = u.torsoFound = true;
    u.torsoX = 100;
    u.torsoY = 6;
    u.torsoSize = 24;
    u.faceSize = 20;
    u.faceFound = false;
    u.skeleton.SetSkeletonScale(u.torsoSize);
    state->FaceHandsStep(Frame());
    EXPECT_GE(u.faceY, 0.0f);
    EXPECT_LE(u.faceY, u.torsoY);
    EXPECT_NEAR(u.faceX, u.torsoX, 1e-3);
}

}  // namespace
}  // namespace olvar
