#include "eval/two_users.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>

#include "library/olvar_object.h"

namespace olvar::eval {
namespace {

constexpr int kSettleFrames = 30;  // as for the other figures: one second after walking in

// What happened to one person in one frame, and which rule decided each user's step.
struct FrameOutcome {
    int status = 0;
    std::array<bool, 2> visible{};
    std::array<bool, 2> walking{};
    std::array<int, 2> record{-1, -1};  // the record matched to each person
    std::array<StepOutcome, 2> user{};  // per user (record) slot
};

struct PersonSummary {
    int standFrame = -1;  // first frame after the walk in
    int firstTracked = -1;
    long drops = 0;  // tracked in one settled frame, not in the next
    std::map<StepOutcome, long> refusals;
};

struct SequenceSummary {
    std::array<PersonSummary, 2> people;
    long bothTracked = 0, bothSettled = 0;
    long swaps = 0;
};

std::vector<FrameOutcome> RunTraced(const synth::Scene& scene, int mode) {
    Olvar tracker;  // white box: the users' outcomes are read after each frame
    const cv::Size size = scene.config().frameSize;
    if (tracker.SetFrameFormat(size.width * 3, size.height, size.width, kOlvarBgr24, false) != 0) {
        std::fprintf(stderr, "olvar-eval: cannot set up the tracker\n");
        std::exit(1);
    }
    const UserMode userMode{2, 0};
    tracker.SetUserMode(&userMode);
    tracker.SetGestureMode(&mode);
    std::vector<FrameOutcome> out;
    for (int i = 0; i < scene.FrameCount(); ++i) {
        const synth::Frame frame = scene.Render(i);
        TrackingRecord records[2];
        GestureRecord gestures[2] = {{-1, 0, 0}, {-1, 0, 0}};
        int userNumber = 0;
        PerUserState& users = tracker.Users();
        users.outcome[0] = users.outcome[1] = StepOutcome::kNotRun;
        FrameOutcome f;
        f.status = tracker.ProcessFrame(frame.image.data, static_cast<int>(frame.image.total() * 3),
                                        &userNumber, records, gestures);
        f.user = {users.outcome[0], users.outcome[1]};
        for (int p = 0; p < 2; ++p) {
            const synth::PersonTruth& truth = frame.people[static_cast<size_t>(p)];
            f.visible[p] = truth.visible;
            f.walking[p] = !truth.visible || truth.label.action == synth::Action::kWalkIn;
            if (truth.visible && f.status == 0) {
                f.record[p] = NearestRecord(records, 2, truth);
            }
        }
        out.push_back(f);
    }
    return out;
}

// The user slot that would have to pick up person p: the one not following the other person.
int FreeSlot(const FrameOutcome& f, int p) {
    const int other = f.record[1 - p];
    return other >= 0 ? 1 - other : 0;
}

SequenceSummary Summarise(const std::vector<FrameOutcome>& frames) {
    SequenceSummary s;
    std::array<bool, 2> wasWalking{true, true};
    std::array<int, 2> lastIndex{-1, -1};
    std::array<bool, 2> wasTracked{false, false};
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameOutcome& f = frames[i];
        const int frame = static_cast<int>(i);
        std::array<bool, 2> settled{};
        for (int p = 0; p < 2; ++p) {
            PersonSummary& person = s.people[p];
            if (wasWalking[p] && !f.walking[p]) {
                person.standFrame = frame;
            }
            wasWalking[p] = f.walking[p];
            const bool tracked = f.record[p] >= 0;
            if (tracked && person.firstTracked < 0 && f.visible[p]) {
                person.firstTracked = frame;
            }
            settled[p] = f.visible[p] && person.standFrame >= 0 &&
                         frame >= person.standFrame + kSettleFrames;
            if (settled[p]) {
                person.drops += wasTracked[p] && !tracked ? 1 : 0;
            }
            if (!tracked && f.visible[p] && person.standFrame >= 0) {
                ++person.refusals[f.user[FreeSlot(f, p)]];
            }
            wasTracked[p] = tracked;
            if (tracked) {
                s.swaps += lastIndex[p] >= 0 && f.record[p] != lastIndex[p] ? 1 : 0;
                lastIndex[p] = f.record[p];
            }
        }
        if (settled[0] && settled[1]) {
            ++s.bothSettled;
            s.bothTracked += f.record[0] >= 0 && f.record[1] >= 0 ? 1 : 0;
        }
    }
    return s;
}

// Frames from standing to the first track (negative when tracked while still walking).
std::string FramesToTrack(const PersonSummary& p) {
    if (p.firstTracked < 0 || p.standFrame < 0) {
        return "never";
    }
    return std::to_string(p.firstTracked - p.standFrame);
}

// The most frequent refusing step while the person was untracked after standing, among the
// frames in which a full step ran, and the number of still frames (no step ran).
std::string MainRefusal(const PersonSummary& p) {
    StepOutcome best = StepOutcome::kCount;
    long count = 0, total = 0, still = 0;
    for (const auto& [outcome, n] : p.refusals) {
        if (outcome == StepOutcome::kNotRun) {
            still += n;
            continue;
        }
        total += n;
        if (n > count) {
            best = outcome;
            count = n;
        }
    }
    std::string text = total == 0 ? std::string("-")
                                  : std::string(StepOutcomeName(best)) + " " +
                                        std::to_string(count) + "/" + std::to_string(total);
    return still > 0 ? text + " (still " + std::to_string(still) + ")" : text;
}

void PrintTrace(const std::string& name, const std::vector<FrameOutcome>& frames) {
    const FrameOutcome* last = nullptr;
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameOutcome& f = frames[i];
        const bool changed = last == nullptr || last->record != f.record || last->user != f.user ||
                             last->visible != f.visible || last->walking != f.walking;
        last = &f;
        if (!changed) {
            continue;
        }
        std::printf("trace %-20s %4zu status %3d", name.c_str(), i, f.status);
        for (int p = 0; p < 2; ++p) {
            const char* state = !f.visible[p] ? "out" : f.walking[p] ? "walk" : "stand";
            std::printf("  p%d %-5s rec %2d", p, state, f.record[p]);
        }
        std::printf("  u0 %-18s u1 %s\n", StepOutcomeName(f.user[0]), StepOutcomeName(f.user[1]));
    }
}

}  // namespace

int NearestRecord(const TrackingRecord* records, int users, const synth::PersonTruth& truth) {
    double best = 1e9;
    int index = -1;
    for (int k = 0; k < users; ++k) {
        if (records[k].torsoHalfWidth <= 0) {
            continue;
        }
        const double d =
            std::hypot(records[k].faceX - truth.face.x, records[k].faceY - truth.face.y);
        if (d < best && d < 2.0 * truth.torsoHalfWidth) {
            best = d;
            index = k;
        }
    }
    return index;
}

void RunTwoUserTable(const std::vector<TwoUserSequence>& sequences, int mode, bool trace,
                     const std::string& match) {
    std::vector<std::string> rows;
    long both = 0, settled = 0;
    for (const TwoUserSequence& sequence : sequences) {
        if (sequence.name.find(match) == std::string::npos) {
            continue;
        }
        const synth::Scene scene(sequence.config);
        const std::vector<FrameOutcome> frames = RunTraced(scene, mode);
        if (trace) {
            PrintTrace(sequence.name, frames);
        }
        const SequenceSummary s = Summarise(frames);
        both += s.bothTracked;
        settled += s.bothSettled;
        const double share =
            s.bothSettled > 0 ? static_cast<double>(s.bothTracked) / s.bothSettled : NAN;
        char row[512];
        std::snprintf(row, sizeof row,
                      "| %s | %s | %s | %.3f (%ld/%ld) | %ld | %ld/%ld | %s | %s |",
                      sequence.name.c_str(), FramesToTrack(s.people[0]).c_str(),
                      FramesToTrack(s.people[1]).c_str(), share, s.bothTracked, s.bothSettled,
                      s.swaps, s.people[0].drops, s.people[1].drops,
                      MainRefusal(s.people[0]).c_str(), MainRefusal(s.people[1]).c_str());
        rows.push_back(row);
        std::printf("%s\n", row);
        std::fflush(stdout);
    }
    std::printf(
        "\n| sequence | p0 frames to track | p1 frames to track | both tracked | swaps | "
        "drops p0/p1 | p0 refused by | p1 refused by |\n|---|---|---|---|---|---|---|---|\n");
    for (const std::string& row : rows) {
        std::printf("%s\n", row.c_str());
    }
    std::printf("| all | | | %.3f (%ld/%ld) | | | | |\n",
                settled > 0 ? static_cast<double>(both) / settled : NAN, both, settled);
}

}  // namespace olvar::eval
