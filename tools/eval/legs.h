// Leg figures of olvar-eval: whole-body sequences and the close scene, legs on.
#ifndef OLVAR_TOOLS_EVAL_LEGS_H
#define OLVAR_TOOLS_EVAL_LEGS_H

namespace olvar::eval {

// Runs the leg sequences for seeds firstSeed .. firstSeed + seeds - 1 and prints one line per
// figure ("<sequence> <figure> <value>"), per sequence and overall.
void RunLegEvaluation(int firstSeed, int seeds, bool verbose);

}  // namespace olvar::eval

#endif  // OLVAR_TOOLS_EVAL_LEGS_H
