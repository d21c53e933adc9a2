// olvar-eval's palm sequences: the palm scene on several seeds (skin tones light to dark), run
// through the public interface with palm tracking on, scored against the renderer's palm truth.
#ifndef OLVAR_TOOLS_EVAL_PALM_EVAL_H
#define OLVAR_TOOLS_EVAL_PALM_EVAL_H

#include <functional>

#include "synth/script.h"

namespace olvar::eval {

// Prints, per sequence and overall, one line per figure ("<sequence> <figure> <value>"):
//   palm_present_open   frames with the hand raised and open on which the palm group is present
//   palm_centre_error   median distance of the reported palm centre (hand 1) from the drawn one,
//                       in palm radii, on those frames
//   tips_found          drawn fingertips with a reported tip within 0.6 palm radii
//   tips_false          reported tips farther than one palm radius from every drawn tip
//   taps_detected       scripted taps followed within a few frames by press, held, release
//   presses_elsewhere   presses reported outside every tap's window (count)
//   presses_still_open  of those, presses on frames with the hand raised, open and held still
//   ms_per_frame        mean ProcessFrame time
// With `legs` the leg tracking is on as well.
void RunPalmSequences(int firstSeed, int seeds,
                      const std::function<synth::ScriptOptions(int)>& optionsForSeed,
                      bool legs = false);

}  // namespace olvar::eval

#endif  // OLVAR_TOOLS_EVAL_PALM_EVAL_H
