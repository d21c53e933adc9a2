#include "colour_stage.h"

namespace olvar::python {

// COLOUR-GAIN HOOK: once <olvar/colour_gain.h> is in the public include folder, define
// OLVAR_HAVE_COLOUR_GAIN for this target (python/CMakeLists.txt) and fill the three marked
// places below with the helper's calls: observe the warm-up frames and choose the gain for
// "auto", and apply a gain other than 1.0 into scratch_.

bool ColourStage::Available() {
#ifdef OLVAR_HAVE_COLOUR_GAIN
    return true;
#else
    return false;
#endif
}

bool ColourStage::Supports(Kind kind, double gain) {
    return Available() || kind != Kind::kFixed || gain == 1.0;
}

ColourStage::ColourStage(Kind kind, double gain) : kind_(kind) {
    switch (kind) {
        case Kind::kOff:
            gain_ = 1.0;
            break;
        case Kind::kFixed:
            gain_ = gain;
            break;
        case Kind::kAuto:
            // HOOK 1: with the helper, leave gain_ empty here and let Condition() observe the
            // warm-up. Without it there is nothing to choose from: the frames pass unchanged.
            gain_ = 1.0;
            break;
    }
}

const uint8_t* ColourStage::Condition(const uint8_t* frame, const FrameLayout& layout) {
    // HOOK 2: while kind_ is kAuto and gain_ is empty, hand `frame` to the helper's observer
    // and, once it has chosen, store the gain in gain_ (fixed from then on).
    if (!gain_ || *gain_ == 1.0) {
        return frame;
    }
    // HOOK 3: apply *gain_ to `frame` (layout gives stride, format and row order) into scratch_
    // and return scratch_.data(). Supports() keeps this build from reaching here without it.
    (void)layout;
    return frame;
}

}  // namespace olvar::python
