// Learning the room before tracking: the still detector on short rendered sequences (noise and
// a slow light ramp are still, a person walking out is not until gone, a picture that never
// holds still falls back after ten seconds), the median room, the warm-up frames, and the hint
// when nobody is tracked while the picture moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "host/room_learner.h"
#include "library/olvar_object.h"
#include "synth/scene.h"

namespace olvar::host {
namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr double kFps = 30;

// Frame `i` of a sequence: the room, changed by the case, with sensor noise.
using Sequence = std::function<cv::Mat(int i)>;

cv::Mat Room() {
    static const cv::Mat room = synth::RenderEmptyRoom(kWidth, kHeight, 4);
    return room;
}

cv::Mat Noisy(cv::Mat frame, int i, double brightness = 0) {
    cv::Mat noise(frame.size(), CV_16SC3);
    cv::RNG rng(static_cast<uint64_t>(1000 + i));
    rng.fill(noise, cv::RNG::NORMAL, brightness, 2.0);
    cv::Mat wide;
    frame.convertTo(wide, CV_16SC3);
    wide += noise;
    wide.convertTo(frame, CV_8UC3);
    return frame;
}

// A dark figure 30 pixels wide whose left edge is at x.
cv::Mat WithPerson(int x) {
    cv::Mat frame = Room().clone();
    cv::rectangle(frame, cv::Rect(x, 20, 30, 100), cv::Scalar(40, 50, 60), cv::FILLED);
    return frame;
}

// The figure at x = 60 blended into the room: opacity 1 - t, gone from t = 1.
cv::Mat Fading(double t) {
    cv::Mat frame;
    cv::addWeighted(WithPerson(60), 1.0 - std::min(t, 1.0), Room(), std::min(t, 1.0), 0.0, frame);
    return frame;
}

struct Outcome {
    int doneAt = -1;  // index of the frame that completed the learning
    bool fellBack = false;
    std::vector<RoomPhase> phases;
    cv::Mat room;
};

Outcome Learn(const Sequence& sequence, double countdown, int maxFrames) {
    RoomLearner learner(kWidth, kHeight, kFps, countdown);
    Outcome out;
    for (int i = 0; i < maxFrames && !learner.Done(); ++i) {
        const cv::Mat frame = sequence(i);
        out.phases.push_back(learner.Add(frame.data, static_cast<int>(frame.step[0])));
        if (learner.Done()) {
            out.doneAt = i;
        }
    }
    out.fellBack = learner.FellBack();
    if (learner.Done()) {
        out.room =
            cv::Mat(kHeight, kWidth, CV_8UC3, const_cast<uint8_t*>(learner.Room().data())).clone();
    }
    return out;
}

double MeanDifference(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat d;
    cv::absdiff(a, b, d);
    const cv::Scalar m = cv::mean(d);
    return (m[0] + m[1] + m[2]) / 3;
}

TEST(RoomLearning, StillDetectorOnShortSequences) {
    const int countdown = 30;  // one second
    struct Case {
        const char* name;
        Sequence sequence;
        double ramp;           // grey levels of light change per frame
        int earliest, latest;  // frame that completes the learning
        bool fellBack;
    };
    const Case cases[] = {
        // Noise and a light ramp of a grey level every two frames: still as soon as counting
        // starts (30 frames of countdown, then one second).
        {"noise and a slow light ramp", [](int i) { return Noisy(Room().clone(), i, i * 0.5); },
         0.5, countdown + 29, countdown + 30, false},
        // Walks out at 3 pixels per frame from x = 60: all but a sliver gone at frame 30, gone
        // at frame 34; still one second after that.
        {"a person walking out", [](int i) { return Noisy(WithPerson(60 + 3 * i), i); }, 0, 30 + 29,
         34 + 30, false},
        // Fades out over three seconds: every frame looks like the one before, the second as a
        // whole does not; not still before the fade ends at frame 90.
        {"a person fading out", [](int i) { return Noisy(Fading(i / 90.0), i); }, 0, 90, 90 + 31,
         false},
        // A figure that jumps about the picture every frame never lets it hold still: after the
        // countdown and ten seconds the last second is taken anyway.
        {"a picture that never holds still",
         [](int i) { return Noisy(WithPerson((i * 53) % 120), i); }, 0, countdown + 299,
         countdown + 299, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const Outcome out = Learn(k.sequence, 1.0, 400);
        ASSERT_GE(out.doneAt, 0);
        EXPECT_GE(out.doneAt, k.earliest);
        EXPECT_LE(out.doneAt, k.latest);
        EXPECT_EQ(out.fellBack, k.fellBack);
        for (int i = 0; i < countdown; ++i) {
            EXPECT_EQ(out.phases[static_cast<size_t>(i)], RoomPhase::kCountdown) << i;
        }
        EXPECT_NE(out.phases[countdown], RoomPhase::kCountdown);
        if (!k.fellBack) {
            // The median of the still second is the empty room, in the light of the middle of
            // that second.
            cv::Mat lit;
            Room().convertTo(lit, CV_8UC3, 1.0, k.ramp * (out.doneAt - 15));
            EXPECT_LT(MeanDifference(out.room, lit), 2.0);
            EXPECT_EQ(out.phases.back(), RoomPhase::kLearning);
        }
    }
}

TEST(RoomLearning, CountdownCountsDownInWholeSeconds) {
    RoomLearner learner(kWidth, kHeight, kFps, 3.0);
    const cv::Mat frame = Room();
    std::vector<int> shown;
    for (int i = 0; i < 90; ++i) {
        shown.push_back(learner.CountdownLeft());
        EXPECT_EQ(learner.Add(frame.data, static_cast<int>(frame.step[0])), RoomPhase::kCountdown);
    }
    EXPECT_EQ(shown.front(), 3);
    EXPECT_EQ(shown[30], 2);
    EXPECT_EQ(shown[89], 1);
    EXPECT_EQ(learner.CountdownLeft(), 0);
    EXPECT_EQ(learner.Add(frame.data, static_cast<int>(frame.step[0])), RoomPhase::kWaiting);
    // Without a countdown the first frame already waits.
    RoomLearner now(kWidth, kHeight, kFps, 0.0);
    EXPECT_EQ(now.Add(frame.data, static_cast<int>(frame.step[0])), RoomPhase::kWaiting);
}

TEST(RoomLearning, MedianAndWarmUpFrames) {
    std::deque<std::vector<uint8_t>> frames = {{10, 200, 7}, {30, 0, 7}, {20, 100, 9}};
    EXPECT_EQ(MedianFrame(frames), (std::vector<uint8_t>{20, 100, 7}));
    EXPECT_TRUE(MedianFrame({}).empty());

    // Warm-up frames: the room with about a grey level of noise, different per frame, the same
    // for the same index, never wrapping at 0 or 255.
    std::vector<uint8_t> room(3000, 128);
    room[0] = 0;
    room[1] = 255;
    const std::vector<uint8_t> a = RoomFrame(room, 0), b = RoomFrame(room, 1);
    EXPECT_EQ(a, RoomFrame(room, 0));
    EXPECT_NE(a, b);
    double sum = 0, squares = 0;
    for (size_t i = 2; i < a.size(); ++i) {
        const int d = a[i] - 128;
        EXPECT_LE(std::abs(d), 2);
        sum += d;
        squares += d * d;
    }
    EXPECT_NEAR(sum / (a.size() - 2), 0.0, 0.1);
    EXPECT_NEAR(std::sqrt(squares / (a.size() - 2)), 1.0, 0.15);
    EXPECT_LE(a[0], 2);
    EXPECT_GE(a[1], 253);
}

TEST(RoomLearning, HintShowsOnceWhileTheUntrackedPictureMoves) {
    UntrackedHint hint(kWidth, kHeight, kFps, 2.0);
    auto feed = [&](bool tracked, const cv::Mat& frame) {
        return hint.Update(tracked, frame.data, static_cast<int>(frame.step[0]));
    };
    // Untracked and still: no hint.
    for (int i = 0; i < 120; ++i) {
        EXPECT_FALSE(feed(false, Noisy(Room().clone(), i))) << i;
    }
    // Then someone moving in the middle, still untracked: the hint shows once, when a quarter of
    // the last two seconds moved.
    auto moving = [](int i) { return Noisy(WithPerson(50 + 10 * (i % 4)), i); };
    std::vector<int> shown;
    for (int i = 0; i < 200; ++i) {
        if (feed(false, moving(i))) {
            shown.push_back(i);
        }
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_GE(shown[0], 13);
    EXPECT_LE(shown[0], 16);
    // Tracked, then lost again: it shows again after two untracked seconds, once.
    EXPECT_FALSE(feed(true, Room()));
    shown.clear();
    for (int i = 0; i < 200; ++i) {
        if (feed(false, moving(i))) {
            shown.push_back(i);
        }
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], 59);
}

// The rendered clip in which the person is in view from the first frame, walks out, leaves the
// room empty for 2.5 s and comes back: learning the room first (countdown 3 s, the still second,
// a fresh tracker warmed up on it) follows the returning person; tracking from the first frame
// loses them and the hint says why.
TEST(RoomLearning, ReturningPersonIsTrackedWhenTheRoomWasLearnedFirst) {
    int returned = 0;
    synth::SceneConfig config;
    config.script = synth::ScriptInViewLeaveReturn({}, &returned);
    const synth::Scene scene(config);
    const int settled = returned + 30;
    const int frames = scene.FrameCount();
    ASSERT_GT(frames - settled, 300);
    auto feed = [](Olvar& tracker, const cv::Mat& image) {
        TrackingRecord records[2];
        GestureRecord gestures[2];
        int userNumber = 0;
        const int status = tracker.ProcessFrame(image.data, static_cast<int>(image.total() * 3),
                                                &userNumber, records, gestures);
        return status == kOlvarOk && records[0].torsoHalfWidth > 0;
    };

    // Learning the room first.
    RoomLearner learner(640, 480, kFps, 3.0);
    int next = 0;
    while (!learner.Done() && next < frames) {
        const cv::Mat image = scene.Render(next++).image;
        learner.Add(image.data, static_cast<int>(image.step[0]));
    }
    ASSERT_TRUE(learner.Done());
    EXPECT_FALSE(learner.FellBack());
    EXPECT_LT(next, returned - 30) << "the room is learned while the person is away";
    int trackedLearned = 0;
    {
        Olvar tracker;
        ASSERT_EQ(tracker.SetFrameFormat(640 * 3, 480, 640, kOlvarBgr24, false), kOlvarOk);
        ASSERT_EQ(WarmUpOnRoom(&tracker, learner.Room(), 40), kOlvarOk);
        for (int i = next; i < frames; ++i) {
            const bool tracked = feed(tracker, scene.Render(i).image);
            trackedLearned += i >= settled && tracked ? 1 : 0;
        }
    }

    // Tracking from the first frame, with the hint watching.
    int trackedDefault = 0, hintsWhileInView = 0;
    {
        Olvar tracker;
        ASSERT_EQ(tracker.SetFrameFormat(640 * 3, 480, 640, kOlvarBgr24, false), kOlvarOk);
        UntrackedHint hint(640, 480, kFps);
        for (int i = 0; i < frames; ++i) {
            const synth::Frame frame = scene.Render(i);
            const bool tracked = feed(tracker, frame.image);
            trackedDefault += i >= settled && tracked ? 1 : 0;
            if (i >= 30 &&
                hint.Update(tracked, frame.image.data, static_cast<int>(frame.image.step[0]))) {
                hintsWhileInView += frame.people[0].visible ? 1 : 0;
            }
        }
    }
    const double learnedShare = static_cast<double>(trackedLearned) / (frames - settled);
    const double defaultShare = static_cast<double>(trackedDefault) / (frames - settled);
    std::printf(
        "returning person tracked after settling: %.3f with the learned room, %.3f from "
        "the first frame (%d hints)\n",
        learnedShare, defaultShare, hintsWhileInView);
    EXPECT_GE(learnedShare, 0.95);
    EXPECT_LT(defaultShare, 0.8);
    EXPECT_GE(hintsWhileInView, 1);
}

}  // namespace
}  // namespace olvar::host
