// Two-person figures of olvar-eval: per sequence the frames until each person is first tracked
// after standing, the share of settled frames with both tracked, index swaps, and the step of the
// per-user step that refuses a person while untracked; optionally a per-frame trace of every
// user's outcome.
#ifndef OLVAR_TOOLS_EVAL_TWO_USERS_H
#define OLVAR_TOOLS_EVAL_TWO_USERS_H

#include <olvar/olvar.h>

#include <string>
#include <vector>

#include "synth/scene.h"

namespace olvar::eval {

// The record (of the first `users`) whose face lies nearest the person's face, within two torso
// half-widths; -1 when none does.
int NearestRecord(const TrackingRecord* records, int users, const synth::PersonTruth& truth);

struct TwoUserSequence {
    std::string name;
    synth::SceneConfig config;
};

// Runs each sequence in two-user operation and prints one line per figure and sequence, then the
// table; with `trace`, also one line per frame in which any user's outcome or any person's
// tracking changed. Only sequences whose name contains `match` run.
void RunTwoUserTable(const std::vector<TwoUserSequence>& sequences, int mode, bool trace,
                     const std::string& match);

}  // namespace olvar::eval

#endif  // OLVAR_TOOLS_EVAL_TWO_USERS_H
