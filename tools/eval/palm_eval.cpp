#include "eval/palm_eval.h"

#include <olvar/olvar.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "synth/scene.h"

namespace olvar::eval {
namespace {

constexpr int kHand = 1;               // the palm scene's raised hand: the image-left arm's
constexpr double kTipFound = 0.6;      // palm radii from a drawn tip
constexpr double kTipFalse = 1.0;      // palm radii from every drawn tip
constexpr int kTapSlackBefore = 2;     // frames before a scripted tap a press still counts
constexpr int kTapSlackAfter = 8;      // and after it (held and release follow the press)
constexpr double kStillMotion = 0.25;  // pixels per frame of the drawn palm centre: held still

struct Count {
    long hits = 0;
    long trials = 0;
    void Add(bool hit) {
        hits += hit ? 1 : 0;
        ++trials;
    }
    void Merge(const Count& other) {
        hits += other.hits;
        trials += other.trials;
    }
};

struct PalmFigures {
    Count present, tipsFound, tipsFalse, taps;
    long pressesElsewhere = 0;
    long pressesStill = 0;  // of which on frames with the hand held still and open
    std::vector<double> centreErrors;
    double ms = 0;
    int frames = 0;

    void Merge(const PalmFigures& o) {
        present.Merge(o.present);
        tipsFound.Merge(o.tipsFound);
        tipsFalse.Merge(o.tipsFalse);
        taps.Merge(o.taps);
        pressesElsewhere += o.pressesElsewhere;
        pressesStill += o.pressesStill;
        centreErrors.insert(centreErrors.end(), o.centreErrors.begin(), o.centreErrors.end());
        ms += o.ms;
        frames += o.frames;
    }
};

// One frame's outcome.
struct PalmFrame {
    synth::PalmTruth truth;
    bool raisedOpen = false;  // raised, open, fingers spread (held, moving about or tapping)
    bool present = false;
    TrackingRecord record{};
};

bool PalmPresent(const TrackingRecord& r) {
    return r.torsoHalfWidth > 0 && r.fingerEvent >= 0;
}

double Distance(float x, float y, cv::Point2f p) {
    return std::hypot(x - p.x, y - p.y);
}

// The reported tips: slots whose tip differs from the reported palm centre (slots without a
// finger report the centre).
std::vector<cv::Point2f> ReportedTips(const TrackingRecord& r) {
    std::vector<cv::Point2f> tips;
    for (const OlvarPoint& p : r.fingertips) {
        if (std::hypot(p.x - r.hand1X, p.y - r.hand1Y) > 0.5) {
            tips.emplace_back(p.x, p.y);
        }
    }
    return tips;
}

std::vector<PalmFrame> Run(const synth::Scene& scene, bool legs, double* ms) {
    IOlvar* tracker = CreateOlvar();
    const cv::Size size = scene.config().frameSize;
    if (tracker == nullptr ||
        tracker->SetFrameFormat(size.width * 3, size.height, size.width, kOlvarBgr24, false) != 0) {
        std::fprintf(stderr, "olvar-eval: cannot set up the tracker\n");
        std::exit(1);
    }
    tracker->EnablePalmTracking(true);
    tracker->EnableLegTracking(legs);
    std::vector<PalmFrame> frames;
    double total = 0;
    for (int i = 0; i < scene.FrameCount(); ++i) {
        const synth::Frame frame = scene.Render(i);
        TrackingRecord records[2];
        GestureRecord gestures[2];
        int userNumber = 0;
        const int64_t start = cv::getTickCount();
        const int status =
            tracker->ProcessFrame(frame.image.data, static_cast<int>(frame.image.total() * 3),
                                  &userNumber, records, gestures);
        total += (cv::getTickCount() - start) * 1000.0 / cv::getTickFrequency();
        PalmFrame f;
        const synth::PersonTruth& person = frame.people[0];
        f.truth = person.palms[kHand];
        const synth::Action action = person.label.action;
        f.raisedOpen = f.truth.open && !f.truth.fist &&
                       (action == synth::Action::kOpenHand || action == synth::Action::kFingerTap);
        f.present = status == kOlvarOk && PalmPresent(records[0]);
        f.record = records[0];
        frames.push_back(f);
    }
    ReleaseOlvar(&tracker);
    *ms = total;
    return frames;
}

void ScoreTips(const PalmFrame& f, PalmFigures* out) {
    const std::vector<cv::Point2f> reported = ReportedTips(f.record);
    const double r = f.truth.radius;
    for (const cv::Point2f& drawn : f.truth.tips) {
        bool found = false;
        for (const cv::Point2f& tip : reported) {
            found = found || Distance(tip.x, tip.y, drawn) <= kTipFound * r;
        }
        out->tipsFound.Add(found);
    }
    for (const cv::Point2f& tip : reported) {
        double nearest = 1e9;
        for (const cv::Point2f& drawn : f.truth.tips) {
            nearest = std::min(nearest, Distance(tip.x, tip.y, drawn));
        }
        out->tipsFalse.Add(nearest > kTipFalse * r);
    }
}

// Runs of scripted tap frames as [first, last].
std::vector<std::pair<int, int>> TapRuns(const std::vector<PalmFrame>& frames) {
    std::vector<std::pair<int, int>> runs;
    for (int i = 0; i < static_cast<int>(frames.size()); ++i) {
        if (!frames[i].truth.tapping) {
            continue;
        }
        if (!runs.empty() && runs.back().second == i - 1) {
            runs.back().second = i;
        } else {
            runs.emplace_back(i, i);
        }
    }
    return runs;
}

void ScoreTaps(const std::vector<PalmFrame>& frames, PalmFigures* out) {
    const int n = static_cast<int>(frames.size());
    const std::vector<std::pair<int, int>> runs = TapRuns(frames);
    std::vector<bool> inWindow(n, false);
    for (const auto& [first, last] : runs) {
        const int begin = std::max(0, first - kTapSlackBefore);
        const int end = std::min(n - 1, last + kTapSlackAfter);
        int stage = 0;  // 0 waiting for a press, 1 for held, 2 for release, 3 done
        const int wanted[3] = {1, 2, 3};
        for (int i = begin; i <= end; ++i) {
            inWindow[i] = true;
            if (stage < 3 && frames[i].present && frames[i].record.fingerEvent == wanted[stage]) {
                ++stage;
            }
        }
        out->taps.Add(stage == 3);
    }
    for (int i = 0; i < n; ++i) {
        if (!inWindow[i] && frames[i].present && frames[i].record.fingerEvent == 1) {
            ++out->pressesElsewhere;
            // Held still: open and raised, the drawn palm where it was on the frame before.
            const bool still = frames[i].raisedOpen && i > 0 &&
                               Distance(frames[i].truth.centre.x, frames[i].truth.centre.y,
                                        frames[i - 1].truth.centre) < kStillMotion;
            out->pressesStill += still ? 1 : 0;
        }
    }
}

PalmFigures Score(const std::vector<PalmFrame>& frames) {
    PalmFigures out;
    for (const PalmFrame& f : frames) {
        if (!f.raisedOpen) {
            continue;
        }
        out.present.Add(f.present);
        if (f.present) {
            out.centreErrors.push_back(Distance(f.record.hand1X, f.record.hand1Y, f.truth.centre) /
                                       f.truth.radius);
            ScoreTips(f, &out);
        }
    }
    ScoreTaps(frames, &out);
    return out;
}

double Median(std::vector<double> v) {
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void PrintCount(const std::string& sequence, const char* name, const Count& c) {
    std::printf("%-24s %-24s %.3f  (%ld/%ld)\n", sequence.c_str(), name,
                c.trials > 0 ? static_cast<double>(c.hits) / c.trials : NAN, c.hits, c.trials);
}

void Print(const std::string& sequence, const PalmFigures& f) {
    PrintCount(sequence, "palm_present_open", f.present);
    std::printf("%-24s %-24s %.3f\n", sequence.c_str(), "palm_centre_error",
                Median(f.centreErrors));
    PrintCount(sequence, "tips_found", f.tipsFound);
    PrintCount(sequence, "tips_false", f.tipsFalse);
    PrintCount(sequence, "taps_detected", f.taps);
    std::printf("%-24s %-24s %ld\n", sequence.c_str(), "presses_elsewhere", f.pressesElsewhere);
    std::printf("%-24s %-24s %ld\n", sequence.c_str(), "presses_still_open", f.pressesStill);
    std::printf("%-24s %-24s %.3f\n", sequence.c_str(), "ms_per_frame",
                f.frames > 0 ? f.ms / f.frames : NAN);
}

}  // namespace

void RunPalmSequences(int firstSeed, int seeds,
                      const std::function<synth::ScriptOptions(int)>& optionsForSeed, bool legs) {
    PalmFigures overall;
    for (int seed = firstSeed; seed < firstSeed + seeds; ++seed) {
        synth::SceneConfig config;
        config.script = synth::ScriptPalm(optionsForSeed(seed));
        config.seed = static_cast<uint64_t>(seed + 200);
        const synth::Scene scene(config);
        double ms = 0;
        const std::vector<PalmFrame> frames = Run(scene, legs, &ms);
        PalmFigures f = Score(frames);
        f.ms = ms;
        f.frames = static_cast<int>(frames.size());
        Print("palm_seed" + std::to_string(seed), f);
        overall.Merge(f);
    }
    Print("overall_palm", overall);
}

}  // namespace olvar::eval
