// Gesture and mode identifiers and their names.
#ifndef OLVAR_GESTURES_VOCABULARY_H
#define OLVAR_GESTURES_VOCABULARY_H

#include <cstdint>

namespace olvar {

constexpr int kGestureCount = 74;     // identifiers -1 .. 72
constexpr int kModeCount = 15;        // identifiers 0 .. 14
constexpr int kSelectableModes = 14;  // all but 3
constexpr int kFirstGesture = -1;
constexpr int kLastGesture = 72;
constexpr int kLastMode = 14;

// Points *list at the constant array of selectable modes (0, 1, 2, 4, ..., 14); returns 14.
int ModeList(const int** list);
// Name of a mode; "modeUndefine" for 3 and for identifiers outside 0..14.
const char* ModeName(int mode);
// Points *list at the constant array of gesture identifiers (-1 .. 72); returns 74.
int GestureList(const int** list);
// Name of a gesture; "gesUndefined" for -1 and for identifiers outside -1..72.
const char* GestureName(int gesture);

}  // namespace olvar

#endif  // OLVAR_GESTURES_VOCABULARY_H
