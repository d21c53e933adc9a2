// Leg figures: on rendered whole-body sequences, how often the leg joints are present while the
// feet are in view, how far hips, knees and feet are from the truth (in torso half-widths), and,
// for the close scene, how often the legs are reported absent while they are out of the picture.
#include "eval/legs.h"

#include <olvar/olvar.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "synth/scene.h"
#include "synth/script_legs.h"

namespace olvar::eval {
namespace {

namespace s = olvar::synth;

constexpr int kSettleFrames = 30;

struct LegFigures {
    std::map<std::string, std::vector<double>> samples;
    std::map<std::string, std::pair<long, long>> ratios;

    void Ratio(const std::string& name, bool hit) {
        ratios[name].first += hit ? 1 : 0;
        ratios[name].second += 1;
    }
    void Merge(const LegFigures& o) {
        for (const auto& [name, v] : o.samples) {
            samples[name].insert(samples[name].end(), v.begin(), v.end());
        }
        for (const auto& [name, r] : o.ratios) {
            ratios[name].first += r.first;
            ratios[name].second += r.second;
        }
    }
};

double MedianOf(std::vector<double> v) {
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void PrintFigures(const std::string& sequence, const LegFigures& f) {
    for (const auto& [name, r] : f.ratios) {
        if (r.second > 0) {
            std::printf("%-24s %-24s %.3f  (%ld/%ld)\n", sequence.c_str(), name.c_str(),
                        static_cast<double>(r.first) / r.second, r.first, r.second);
        }
    }
    for (const auto& [name, v] : f.samples) {
        std::printf("%-24s %-24s %.3f\n", sequence.c_str(), name.c_str(), MedianOf(v));
    }
}

bool LegsPresent(const TrackingRecord& r) {
    for (const OlvarPoint& p : r.legJoints) {
        if (p.x != 0.0f || p.y != 0.0f) {
            return true;
        }
    }
    return false;
}

bool FeetInView(const s::PersonTruth& truth, cv::Size frame) {
    for (int k : {kLegRightFoot, kLegLeftFoot}) {
        const cv::Point2f& p = truth.legJoints[k];
        if (p.x < 0 || p.y < 0 || p.x >= frame.width || p.y >= frame.height) {
            return false;
        }
    }
    return true;
}

double Error(const OlvarPoint& p, cv::Point2f truth, double t) {
    return std::hypot(p.x - truth.x, p.y - truth.y) / t;
}

// One sequence through the public interface with leg tracking on.
LegFigures RunLegSequence(const s::Scene& scene, bool verbose, const std::string& name) {
    IOlvar* tracker = CreateOlvar();
    const cv::Size size = scene.config().frameSize;
    tracker->SetFrameFormat(size.width * 3, size.height, size.width, kOlvarBgr24, false);
    tracker->EnableLegTracking(true);
    LegFigures f;
    int walkEnd = -1;
    bool wasWalking = false;
    for (int i = 0; i < scene.FrameCount(); ++i) {
        const s::Frame frame = scene.Render(i);
        TrackingRecord records[1];
        GestureRecord gestures[1] = {{-1, 0, 0}};
        int userNumber = 0;
        const int status =
            tracker->ProcessFrame(frame.image.data, static_cast<int>(frame.image.total() * 3),
                                  &userNumber, records, gestures);
        const s::PersonTruth& truth = frame.people[0];
        const bool walking = truth.label.action == s::Action::kWalkIn || !truth.visible;
        if (wasWalking && !walking) {
            walkEnd = i;
        }
        wasWalking = walking;
        const bool settled = truth.visible && walkEnd >= 0 && i >= walkEnd + kSettleFrames;
        if (!settled) {
            continue;
        }
        const bool tracked = status == 0 && records[0].torsoHalfWidth > 0;
        const bool legs = tracked && LegsPresent(records[0]);
        const double t = truth.torsoHalfWidth;
        f.Ratio("upper_body_tracked", tracked);
        if (!FeetInView(truth, size)) {
            f.Ratio("legs_absent_out_of_view", !legs);
            continue;
        }
        f.Ratio("legs_present_feet_in_view", legs);
        if (!legs) {
            if (verbose) {
                std::printf("%s frame %d %s legs absent\n", name.c_str(), i,
                            truth.label.Text().c_str());
            }
            continue;
        }
        const TrackingRecord& r = records[0];
        double worst[3] = {0, 0, 0};  // hip, knee, foot
        for (int k = 0; k < 6; ++k) {
            const double e = Error(r.legJoints[k], truth.legJoints[k], t);
            static const char* const kNames[3] = {"median_hip_error", "median_knee_error",
                                                  "median_foot_error"};
            f.samples[kNames[k / 2]].push_back(e);
            worst[k / 2] = std::max(worst[k / 2], e);
        }
        for (int k = 0; k < 6; ++k) {
            static const char* const kPck[3] = {"hip_pck_0.5", "knee_pck_0.5", "foot_pck_0.5"};
            f.Ratio(kPck[k / 2], Error(r.legJoints[k], truth.legJoints[k], t) <= 0.5);
        }
        f.Ratio("knee_and_foot_within_0.5", worst[1] <= 0.5 && worst[2] <= 0.5);
        if (verbose) {
            std::printf("%s frame %d %s hip %.2f knee %.2f foot %.2f |", name.c_str(), i,
                        truth.label.Text().c_str(), worst[0], worst[1], worst[2]);
            for (int k = 0; k < 6; ++k) {
                std::printf(" (%.0f,%.0f/%.0f,%.0f)", r.legJoints[k].x, r.legJoints[k].y,
                            truth.legJoints[k].x, truth.legJoints[k].y);
            }
            std::printf("\n");
        }
    }
    ReleaseOlvar(&tracker);
    return f;
}

s::LegScriptOptions LegOptionsForSeed(int seed) {
    s::LegScriptOptions options;
    options.look = s::LegAppearance(static_cast<s::SkinTone>(seed % s::kSkinToneCount),
                                    seed % s::kShirtCount, seed);
    options.enterFrom = seed % 2 ? s::kImageLeft : s::kImageRight;
    return options;
}

}  // namespace

void RunLegEvaluation(int firstSeed, int seeds, bool verbose) {
    LegFigures whole, close;
    for (int seed = firstSeed; seed < firstSeed + seeds; ++seed) {
        for (int closeScene = 0; closeScene < 2; ++closeScene) {
            s::SceneConfig config;
            config.script = closeScene ? s::ScriptLegsClose(LegOptionsForSeed(seed))
                                       : s::ScriptLegs(LegOptionsForSeed(seed));
            config.seed = static_cast<uint64_t>(seed + 200);
            const s::Scene scene(config);
            const std::string name =
                std::string(closeScene ? "legs_close_seed" : "legs_seed") + std::to_string(seed);
            const LegFigures f = RunLegSequence(scene, verbose, name);
            PrintFigures(name, f);
            (closeScene ? close : whole).Merge(f);
        }
    }
    PrintFigures("overall_legs", whole);
    PrintFigures("overall_legs_close", close);
}

}  // namespace olvar::eval
