// One user's palm analysis state: whether the palm group of the user's record holds a result,
// and the flag the palm step clears at the start of every call.
#ifndef OLVAR_PALM_PALM_STATE_H
#define OLVAR_PALM_PALM_STATE_H

namespace olvar {

struct PalmState {
    bool palmActive = false;  // the record's palm group carries this user's palm
    bool stepFlag = false;    // cleared at the start of every palm step

    // Forgets the palm: the next record reports the palm group absent.
    void Clear() { *this = PalmState(); }
};

}  // namespace olvar

#endif  // OLVAR_PALM_PALM_STATE_H
