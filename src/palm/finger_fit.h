// Finger fitting: the five fingers of the hand model, one after another, fitted to the hand mask
// and its companion mask at the palm pose the palm tracker found.
//
// Each finger's angle is swept in steps of 0.01 rad inside a range that depends on the finger and
// on its already fitted neighbour; an angle scores by the hand-mask and companion-mask density of
// a box along it, by side probes that look for the finger's edges (FingerProfile), and by a prior
// around the finger's default direction. The length is then searched from the longest plausible
// down, by the contrast between the last stretch of the finger and the stretch beyond its tip
// (TipContrast), or probed along the finger's axis (ProbeLength) when that finds nothing. Every
// finger always ends with a geometry: from the best candidate, the previous model or the defaults.
//
// Requires: the integral arrays belong to their masks (one entry per pixel); masks hold 0 or 1.
// Ensures: every read stays inside the masks, and every score is finite whatever the widths.
#ifndef OLVAR_PALM_FINGER_FIT_H
#define OLVAR_PALM_FINGER_FIT_H

#include <opencv2/core.hpp>

#include "imaging/integral.h"
#include "palm/hand_model.h"
#include "palm/mask_view.h"

namespace olvar {

struct FingerFitInputs {
    MaskView hand;
    MaskView companion;
    const HandModel& previous;
};

// Fits all five fingers of the model (rebuilt by InitHandModel at the palm pose). Mode 5: the
// downward sweep from the little finger to the thumb; any other mode: the upward sweep from the
// index finger to the little finger, then the thumb downward.
void FitFingers(HandModel& model, int mode, const FingerFitInputs& in);

// The angle searches for one finger; each ends with FitLength and PlaceFingerPart.
void SweepDown(int finger, HandModel& model, const FingerFitInputs& in);
void SweepUp(int finger, HandModel& model, const FingerFitInputs& in);

// Side-probe score in (0.001, 1.001] of a finger of width w and length L at angle phi from the
// base: how far the finger's edges lie from where the width puts them, sampled at 0.3 .. 1.0 of
// the length on both sides. Probes are clamped into the mask.
double FingerProfile(const cv::Mat& mask, int baseX, int baseY, double width, double length,
                     double angle);

// 10 when the start pixel is clear; else the truncated distance from the segment's midpoint to
// the first clear pixel that is followed by another clear one on the walk, 0 when there is none.
int GapDistance(const cv::Mat& image, int x0, int y0, int x1, int y1);

// The finger's length (see FitLength in the definition): box search on both masks, the previous
// length when the best is the longest candidate, the probe when the search finds nothing.
void FitLength(int finger, HandModel& model, const FingerFitInputs& in);

// The share of the finger's last 2w that is mask minus the share of the 2w beyond its tip on the
// companion mask, as |t| when t lies in [-0.5, 1.1], else 0.
double TipContrast(const MaskView& companion, int baseX, int baseY, double length, double angle,
                   double width);

// The length at which the cleaned mask run along the finger's axis ends; the previous model's
// length when the run fills the whole probe.
void ProbeLength(int finger, const cv::Mat& image, HandModel& model, const HandModel& previous);

}  // namespace olvar

#endif  // OLVAR_PALM_FINGER_FIT_H
