#include "palm/palm_analysis.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "olvar/olvar.h"
#include "palm/finger_events.h"
#include "palm/finger_fit.h"
#include "palm/fingertips.h"
#include "palm/palm_boxes.h"

namespace olvar {
namespace {

// The body tracker's values the palm analysis reads, in the working grid.
struct HandOne {
    double x, y;      // hand 1's centre
    int size;         // hand 1's size
    double angle;     // the image-left forearm's direction
    double neckLine;  // a hand image-right of this column is not the raised image-left hand
};

HandOne ReadHandOne(const UserTracker& tracker) {
    const BodySkeleton& skeleton = tracker.skeleton;
    return {tracker.handX[1], tracker.handY[1], tracker.handSizeInt[1],
            skeleton.L(BodySkeleton::kLeftForearm).angle,
            skeleton.J(BodySkeleton::kNeckTop).x - skeleton.bodyScale / 2};
}

// The tap detector's input: the index finger's length in units of its default. A model without
// a palm radius has no such length; it reports no event.
int FingerEventOf(const HandModel& model) {
    if (!(model.radius > 0)) {
        return kFingerNone;
    }
    return UpdateSharedFingerEvents(model.parts[kIndex].length / model.radius / 2.2);
}

// The palm group as it stands when tracking starts: the model's radius, every finger slot on
// the palm centre, no event (a previous track's points must not reach the new track's records).
void StartGroup(const HandModel& model, double inverseK, PalmGroup* group) {
    const cv::Point2f centre(static_cast<float>(model.parts[kPalm].baseX * inverseK),
                             static_cast<float>(model.parts[kPalm].baseY * inverseK));
    group->radius = model.radius * inverseK;
    for (int i = 0; i < kPalmFingers; ++i) {
        group->fingertips[i] = centre;
        group->fingerBases[i] = centre;
    }
    group->fingerEvent = kFingerNone;
}

// Starts palm tracking on hand 1 when it lies strictly image-left of the neck line: the hand
// model at the hand (camera grid), the tracker seeded on its palm, no previous fit.
void StartPalmTracking(const HandOne& hand, PalmState* palm) {
    const double k = palm->k;
    if (!(hand.x * k < hand.neckLine * k) || hand.size <= 0 || !std::isfinite(hand.y)) {
        return;
    }
    HandModel& model = palm->current;
    InitHandModel(model, TruncToInt(hand.x * k), TruncToInt(hand.y * k), hand.size * k, hand.angle);
    const HandPart& p = model.parts[kPalm];
    palm->tracker->Tracker().Seed(p.baseX, p.baseY, model.radius, p.angle);
    palm->previous.Clear();
    palm->palmActive = true;
    StartGroup(model, palm->inverseK, &palm->group);
}

int HandStillness(const PalmFrame& frame, const PalmState& palm) {
    const HandModel& model = palm.current;
    const HandPart& p = model.parts[kPalm];
    const PalmPose pose{p.baseX * palm.inverseK, p.baseY * palm.inverseK,
                        model.radius * palm.inverseK, p.angle};
    return IsHandStill(frame.skin.mask.cols, frame.skin.mask.rows, pose, frame.skin.integral,
                       frame.foreground.integral, frame.motion.integral);
}

// Re-centres the palm on the hand mask: the palm radius of the record, and the palm centre
// (hand 1's position) when the hand box holds hand mask.
void RecentreOnHandMask(const PalmFrame& frame, int handSize, PalmState* palm) {
    const HandModel& model = palm->current;
    const RecentredPalm r = RecentrePalm(frame.handMask, palm->handBox, palm->k, handSize,
                                         model.radius, model.parts[kPalm].angle);
    if (r.radius > 0) {
        palm->group.radius = r.radius;
    }
    if (r.found) {
        palm->palmX = r.x;
        palm->palmY = r.y;
    }
}

// Grey frame and edge map of the hand's rectangle (only the rectangle is converted: the edge map
// reads nothing else).
void BuildEdgeMap(const cv::Mat& colour, cv::Rect roi, PalmBuffers* buffers) {
    if (roi.area() > 0) {
        cv::Mat grey = buffers->grey(roi);
        cv::cvtColor(colour(roi), grey, cv::COLOR_BGR2GRAY);
    }
    EdgesInBox(buffers->grey, buffers->edges, roi, &buffers->edgeWork);
}

// The tracker's estimate is the hand when its angle is within a quarter turn of the forearm's,
// its centre within 2.5 hand sizes of the last palm centre, its palm box holds hand mask and
// the step followed the palm.
bool AcceptEstimate(const PalmSample& e, int stepResult, double X, double Y, double R, double A,
                    MaskView handMask) {
    if (stepResult != 0) {
        return false;
    }
    const double turn = e.angle - A;
    if (!(turn >= -kPalmPi / 2 && turn <= kPalmPi / 2)) {
        return false;
    }
    const int x = TruncToInt(e.x), y = TruncToInt(e.y);
    if (!(std::hypot(x - X, y - Y) <= 2.5 * R)) {
        return false;
    }
    const double fill = handMask.Density(x, y, 2.0 * e.scale, 2.4 * e.scale, e.angle);
    return fill >= 0.01;
}

// The fitted model's palm radius, tips and bases into the palm group (working grid).
void WriteModel(const HandModel& model, double inverseK, PalmGroup* group) {
    group->radius = model.radius * inverseK;
    for (int i = 0; i < kPalmFingers; ++i) {
        const HandPart& f = model.parts[kThumb + i];
        const double tipX = f.baseX + f.length * std::cos(f.angle);
        const double tipY = f.baseY - f.length * std::sin(f.angle);
        group->fingertips[i] =
            cv::Point2f(static_cast<float>(tipX * inverseK), static_cast<float>(tipY * inverseK));
        group->fingerBases[i] = cv::Point2f(static_cast<float>(f.baseX * inverseK),
                                            static_cast<float>(f.baseY * inverseK));
    }
}

int StopPalmTracking(PalmState* palm) {
    palm->palmActive = false;
    palm->previous.Clear();
    return kOlvarLost;
}

// One frame of palm tracking (camera grid): 0 when the palm was followed, 10 when tracking
// stopped.
int TrackPalm(const HandOne& hand, const PalmFrame& frame, PalmBuffers* buffers, PalmState* palm) {
    const double k = palm->k;
    const double X = palm->palmX * k, Y = palm->palmY * k, R = hand.size * k, A = hand.angle;
    const cv::Mat& mask = frame.handMask.mask;
    const int W = mask.cols, H = mask.rows;
    if (X > hand.neckLine * k) {
        return StopPalmTracking(palm);
    }
    const int mode = HandOpenTest(frame.handMask.integral, W, H, X, Y, R, A) ? 5 : 0;

    const cv::Rect roi = HandRoi(frame.handMask.integral, W, H, X, Y, R);
    palm->roiX = roi.x;
    palm->roiY = roi.y;
    palm->roiWidth = roi.width;
    palm->roiHeight = roi.height;
    BuildEdgeMap(frame.colourFrame, roi, buffers);

    PalmParticle& t = palm->tracker->Tracker();
    t.refX = X;
    t.refY = Y;
    t.refScale = 0.5 * R;
    t.refAngle = A;
    const int step = palm->tracker->Step(mask, buffers->handMaskIntegral, frame.colourFrame,
                                         buffers->edges, mode, palm->previous);
    const PalmSample e = t.estimate;
    if (!AcceptEstimate(e, step, X, Y, R, A, frame.handMask)) {
        return StopPalmTracking(palm);
    }

    HandModel& model = palm->current;
    InitHandModel(model, TruncToInt(e.x), TruncToInt(e.y), 2.0 * e.scale, e.angle);
    FitFingers(model, mode, {frame.handMask, frame.cameraForeground, palm->previous});
    WriteModel(model, palm->inverseK, &palm->group);
    palm->group.fingerEvent = FingerEventOf(model);
    palm->previous = model;
    return kOlvarOk;
}

// The visible fingertips around the re-centred palm replace the model's finger points.
void FindVisibleFingertips(const PalmFrame& frame, int handSize, PalmBuffers* buffers,
                           PalmState* palm) {
    const double k = palm->k;
    const HandModel& model = palm->current;
    ModelTips tips;
    tips.radius = model.radius;
    tips.palmAngle = model.parts[kPalm].angle;
    for (int i = 0; i < kPalmFingers; ++i) {
        tips.tips[i] = {model.parts[kThumb + i].tipX, model.parts[kThumb + i].tipY};
    }
    const TipPalm centre{palm->palmX * k, palm->palmY * k, palm->group.radius * k};
    FindFingertips(frame.handMask, frame.cameraForeground, centre, tips, k, handSize,
                   &palm->handBox, &buffers->fingertips, &palm->group);
}

}  // namespace

int PalmAnalysis(const UserTracker& tracker, const PalmFrame& frame, PalmBuffers* buffers,
                 PalmState* palm) {
    if (frame.handMask.mask.empty() || frame.skin.mask.empty() || frame.skin.mask.cols <= 0) {
        return kOlvarLost;
    }
    palm->k = static_cast<double>(frame.handMask.mask.cols) / frame.skin.mask.cols;
    palm->inverseK = 1.0 / palm->k;
    if (!palm->handRegionFound) {
        return palm->palmActive ? kOlvarOk : kOlvarLost;
    }
    const HandOne hand = ReadHandOne(tracker);
    if (!palm->palmActive) {
        StartPalmTracking(hand, palm);
        palm->palmX = static_cast<float>(hand.x);
        palm->palmY = static_cast<float>(hand.y);
    } else if (HandStillness(frame, *palm) != kHandMoving) {
        // A still hand keeps its fit; only the tap detector runs.
        palm->group.fingerEvent = FingerEventOf(palm->current);
        RecentreOnHandMask(frame, hand.size, palm);
        return kOlvarOk;
    } else if (TrackPalm(hand, frame, buffers, palm) == kOlvarOk) {
        RecentreOnHandMask(frame, hand.size, palm);
        FindVisibleFingertips(frame, hand.size, buffers, palm);
    }
    return palm->palmActive ? kOlvarOk : kOlvarLost;
}

}  // namespace olvar
