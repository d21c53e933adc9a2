// The records of the whole pipeline on short rendered scenes, through the public interface only:
// a person walks into an empty room, settles, raises both hands and swipes; two people stand
// side by side and gesture in turn. The scenes carry their ground truth, so the records are
// checked against the rendered joints with tolerances in torso half-widths.
#include <gtest/gtest.h>
#include <olvar/olvar.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "synth/scene.h"

namespace {

using olvar::synth::Action;
using olvar::synth::Label;
using olvar::synth::PersonTruth;

// A person counts as settled one second after the walk in ends.
constexpr int kSettleFrames = 30;
// A gesture counts for a scripted step when it is reported from a little before the step to a
// little after it (the classifier needs a few samples of the motion, and reports its end).
constexpr int kSlackBefore = 3;
constexpr int kSlackAfter = 12;

double Distance(float x, float y, cv::Point2f p) {
    return std::hypot(x - p.x, y - p.y);
}

// What the library reported for one frame, and what was rendered.
struct FrameOutcome {
    int status = -1;
    TrackingRecord records[2]{};
    GestureRecord gestures[2]{};
    std::vector<PersonTruth> people;  // masks dropped
    bool settled[2] = {false, false};
};

// One scripted person on one frame: which record follows them (-1 none) and its errors.
struct Match {
    int record = -1;
    double faceError = NAN;
    double handError[2] = {NAN, NAN};
};

class Tracker {
  public:
    Tracker(int users, cv::Size size) : tracker_(CreateOlvar()) {
        EXPECT_NE(tracker_, nullptr);
        EXPECT_EQ(
            tracker_->SetFrameFormat(size.width * 3, size.height, size.width, kOlvarBgr24, false),
            kOlvarOk);
        const UserMode mode{users, 0};
        EXPECT_EQ(tracker_->SetUserMode(&mode), kOlvarOk);
        const int gestureMode = modeMotionExt1;
        EXPECT_EQ(tracker_->SetGestureMode(&gestureMode), kOlvarOk);
    }
    ~Tracker() { ReleaseOlvar(&tracker_); }
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    IOlvar* operator->() const { return tracker_; }

  private:
    IOlvar* tracker_;
};

// Renders every frame of the scene and hands it to a tracker following `users` users.
std::vector<FrameOutcome> RunScene(const olvar::synth::Scene& scene, int users) {
    Tracker tracker(users, scene.config().frameSize);
    std::vector<FrameOutcome> outcomes;
    const int people = static_cast<int>(scene.config().script.people.size());
    std::vector<int> walkEnd(people, -1);
    std::vector<bool> walking(people, true);
    for (int i = 0; i < scene.FrameCount(); ++i) {
        olvar::synth::Frame frame = scene.Render(i);
        FrameOutcome out;
        for (GestureRecord& g : out.gestures) {
            g = {-1, 0, 0};
        }
        int userNumber = -1;
        out.status =
            tracker->ProcessFrame(frame.image.data, static_cast<int>(frame.image.total() * 3),
                                  &userNumber, out.records, out.gestures);
        for (int p = 0; p < people; ++p) {
            PersonTruth truth = frame.people[p];
            truth.silhouette.release();
            truth.skin.release();
            const bool nowWalking = !truth.visible || truth.label.action == Action::kWalkIn;
            if (walking[p] && !nowWalking) {
                walkEnd[p] = i;
            }
            walking[p] = nowWalking;
            out.settled[p] = truth.visible && walkEnd[p] >= 0 && i >= walkEnd[p] + kSettleFrames;
            out.people.push_back(std::move(truth));
        }
        outcomes.push_back(std::move(out));
    }
    return outcomes;
}

bool Reported(const FrameOutcome& f, int users, int k) {
    return k < users && f.status == kOlvarOk && f.records[k].torsoHalfWidth > 0;
}

// The record whose face lies nearest the person's rendered face, within two torso half-widths.
Match MatchPerson(const FrameOutcome& f, int users, int person) {
    Match m;
    const PersonTruth& truth = f.people[person];
    if (!truth.visible) {
        return m;
    }
    const double t = truth.torsoHalfWidth;
    double best = 2.0 * t;
    for (int k = 0; k < users; ++k) {
        if (!Reported(f, users, k)) {
            continue;
        }
        const TrackingRecord& r = f.records[k];
        const double d = Distance(r.faceX, r.faceY, truth.face);
        if (d < best) {
            best = d;
            m.record = k;
        }
    }
    if (m.record >= 0) {
        const TrackingRecord& r = f.records[m.record];
        m.faceError = best / t;
        m.handError[0] = Distance(r.hand0X, r.hand0Y, truth.hands[0]) / t;
        m.handError[1] = Distance(r.hand1X, r.hand1Y, truth.hands[1]) / t;
    }
    return m;
}

double Median(std::vector<double> v) {
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Tracking figures of one person over the settled frames.
struct PersonFigures {
    int settled = 0;
    int tracked = 0;
    std::vector<double> faceErrors;
    std::vector<double> handErrors;
    std::vector<double> restHandErrors;  // on frames at rest, hands hanging still

    double TrackedShare() const { return settled > 0 ? static_cast<double>(tracked) / settled : 0; }
};

PersonFigures ScorePerson(const std::vector<FrameOutcome>& run, int users, int person) {
    PersonFigures fig;
    for (const FrameOutcome& f : run) {
        if (!f.settled[person]) {
            continue;
        }
        ++fig.settled;
        const Match m = MatchPerson(f, users, person);
        if (m.record < 0) {
            continue;
        }
        ++fig.tracked;
        fig.faceErrors.push_back(m.faceError);
        fig.handErrors.push_back(m.handError[0]);
        fig.handErrors.push_back(m.handError[1]);
        if (f.people[person].label.action == Action::kRest) {
            fig.restHandErrors.push_back(m.handError[0]);
            fig.restHandErrors.push_back(m.handError[1]);
        }
    }
    return fig;
}

// The scripted steps of one person: [first, last] frame ranges with their label.
struct StepSpan {
    Label label;
    int first = 0;
    int last = 0;
};

std::vector<StepSpan> Steps(const std::vector<FrameOutcome>& run, int person) {
    std::vector<StepSpan> steps;
    for (int i = 0; i < static_cast<int>(run.size()); ++i) {
        const Label& label = run[i].people[person].label;
        if (steps.empty() || !(steps.back().label == label)) {
            steps.push_back({label, i, i});
        } else {
            steps.back().last = i;
        }
    }
    return steps;
}

// Whether the record following the person reported `gesture` around the step.
bool ReportedAround(const std::vector<FrameOutcome>& run, int users, int person,
                    const StepSpan& step, int gesture) {
    const int from = std::max(0, step.first - kSlackBefore);
    const int to = std::min(static_cast<int>(run.size()) - 1, step.last + kSlackAfter);
    for (int i = from; i <= to; ++i) {
        const Match m = MatchPerson(run[i], users, person);
        if (m.record >= 0 && run[i].gestures[m.record].gesture == gesture) {
            return true;
        }
    }
    return false;
}

// The swipe gesture of mode 4 for a scripted swipe: hand 0 is the record's left hand, and "Left"
// is a motion toward larger image x.
int SwipeGesture(const Label& label) {
    if (label.hand == 0) {
        return label.direction > 0 ? gesLeftLeft : gesLeftRight;
    }
    return label.direction > 0 ? gesRightLeft : gesRightRight;
}

olvar::synth::SceneConfig ConfigFor(olvar::synth::Script script, cv::Size size, uint64_t seed) {
    olvar::synth::SceneConfig config;
    config.frameSize = size;
    config.script = std::move(script);
    config.seed = seed;
    return config;
}

// Empty room, walk in, settle, both hands up, one swipe with each hand, rest.
olvar::synth::Script OnePersonScript() {
    using olvar::synth::kImageLeft;
    using olvar::synth::kImageRight;
    olvar::synth::TrackBuilder person(
        olvar::synth::MakeAppearance(olvar::synth::SkinTone::kOlive, 2, 4, false));
    person.Absent(36, kImageLeft).WalkTo(0.5f).Rest(25);
    person.BothHandsUp().Rest(8);
    person.Swipe(0, kImageRight).Rest(6);
    person.Swipe(1, kImageLeft).Rest(12);
    return olvar::synth::Script{{person.Build()}};
}

TEST(RecordsEndToEnd, OnePersonIsTrackedAndGesturesInModeFour) {
    const olvar::synth::Scene scene(ConfigFor(OnePersonScript(), {640, 480}, 2));
    ASSERT_LE(scene.FrameCount(), 300);
    const std::vector<FrameOutcome> run = RunScene(scene, 1);

    // The empty room before the person walks in: no user, no gesture.
    int emptyFrames = 0;
    for (int i = 0; i < static_cast<int>(run.size()) && !run[i].people[0].visible; ++i) {
        ++emptyFrames;
        EXPECT_FALSE(Reported(run[i], 1, 0)) << "frame " << i;
        EXPECT_EQ(run[i].gestures[0].gesture, -1) << "frame " << i;
    }
    EXPECT_GE(emptyFrames, 35);

    const PersonFigures fig = ScorePerson(run, 1, 0);
    ASSERT_GE(fig.settled, 100);
    EXPECT_GE(fig.TrackedShare(), 0.9) << fig.tracked << " of " << fig.settled;
    // Errors in torso half-widths. Hands swapped between the arms would be off by more than a
    // torso width.
    EXPECT_LT(Median(fig.faceErrors), 0.4);
    EXPECT_LT(Median(fig.handErrors), 0.75);
    EXPECT_LT(Median(fig.restHandErrors), 0.75);

    int bothUpSteps = 0, bothUpSeen = 0, swipeSteps = 0, swipesSeen = 0;
    for (const StepSpan& step : Steps(run, 0)) {
        if (step.label.action == Action::kBothHandsUp) {
            ++bothUpSteps;
            bothUpSeen += ReportedAround(run, 1, 0, step, gesBothUp) ? 1 : 0;
        } else if (step.label.action == Action::kSwipe) {
            ++swipeSteps;
            swipesSeen += ReportedAround(run, 1, 0, step, SwipeGesture(step.label)) ? 1 : 0;
        }
    }
    ASSERT_EQ(bothUpSteps, 1);
    ASSERT_EQ(swipeSteps, 2);
    EXPECT_EQ(bothUpSeen, 1);
    EXPECT_GE(swipesSeen, 1);
}

TEST(RecordsEndToEnd, TwoPeopleKeepTheirUserIndices) {
    olvar::synth::ScriptOptions options;
    options.look = olvar::synth::MakeAppearance(olvar::synth::SkinTone::kBrown, 0, 10, false);
    options.otherLook = olvar::synth::MakeAppearance(olvar::synth::SkinTone::kLight, 4, 8, true);
    const olvar::synth::Scene scene(
        ConfigFor(olvar::synth::ScriptTwoPeople(options), {320, 240}, 108));
    ASSERT_LE(scene.FrameCount(), 300);
    const std::vector<FrameOutcome> run = RunScene(scene, 2);

    int bothSettled = 0, bothTracked = 0;
    int index[2] = {-1, -1};
    for (int i = 0; i < static_cast<int>(run.size()); ++i) {
        const FrameOutcome& f = run[i];
        // Each written record names its slot, whether or not its user was found on this frame.
        for (int k = 0; k < 2 && f.status == kOlvarOk; ++k) {
            EXPECT_EQ(f.records[k].userIndex, k) << "frame " << i;
        }
        if (!f.people[0].visible && !f.people[1].visible) {
            EXPECT_FALSE(Reported(f, 2, 0) || Reported(f, 2, 1)) << "frame " << i;
            EXPECT_TRUE(f.gestures[0].gesture == -1 && f.gestures[1].gesture == -1)
                << "frame " << i;
        }
        const Match m[2] = {MatchPerson(f, 2, 0), MatchPerson(f, 2, 1)};
        if (m[0].record >= 0 && m[1].record >= 0) {
            EXPECT_NE(m[0].record, m[1].record) << "one record for both people at " << i;
        }
        for (int p = 0; p < 2; ++p) {
            if (m[p].record < 0) {
                continue;
            }
            if (index[p] >= 0) {
                EXPECT_EQ(m[p].record, index[p]) << "person " << p << " changed record at " << i;
            }
            index[p] = m[p].record;
        }
        if (f.settled[0] && f.settled[1]) {
            ++bothSettled;
            bothTracked += m[0].record >= 0 && m[1].record >= 0 ? 1 : 0;
        }
    }
    ASSERT_GE(bothSettled, 100);
    EXPECT_GE(bothTracked, 0.8 * bothSettled);
    EXPECT_NE(index[0], index[1]);
    for (int p = 0; p < 2; ++p) {
        const PersonFigures fig = ScorePerson(run, 2, p);
        EXPECT_LT(Median(fig.faceErrors), 0.5) << "person " << p;
    }
}

}  // namespace
