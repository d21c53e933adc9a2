#include "colour_stage.h"

namespace olvar::python {

ColourStage::ColourStage(Kind kind, double gain) : kind_(kind) {
    switch (kind) {
        case Kind::kOff:
            helper_.SetGain(1.0f);
            break;
        case Kind::kFixed:
            // Out of range the helper refuses and nothing is fixed; the package checks first.
            if (helper_.SetGain(static_cast<float>(gain)) != kOlvarOk) {
                helper_.SetGain(1.0f);
            }
            break;
        case Kind::kAuto:
            break;  // chosen from the first frames observed
    }
}

void ColourStage::DeclareLayout(const FrameLayout& layout) {
    // The layout is the one the tracker accepted; declaring it again costs a few assignments.
    helper_.SetFrameFormat(layout.stride, layout.height, layout.width, layout.format,
                           layout.bottomUp);
}

void ColourStage::Observe(const uint8_t* frame, const FrameLayout& layout) {
    if (helper_.Chosen()) {
        return;
    }
    DeclareLayout(layout);
    helper_.Observe(frame, layout.stride * layout.height);
}

const uint8_t* ColourStage::Condition(const uint8_t* frame, const FrameLayout& layout) {
    Observe(frame, layout);
    if (helper_.Gain() == 1.0f) {
        return frame;
    }
    DeclareLayout(layout);
    const int size = layout.stride * layout.height;
    scratch_.resize(static_cast<size_t>(size));
    if (helper_.Apply(frame, size, scratch_.data()) != kOlvarOk) {
        return frame;  // not reached: the frame was checked against this layout
    }
    return scratch_.data();
}

double ColourStage::Choose() {
    helper_.Choose();
    return helper_.Gain();
}

std::optional<double> ColourStage::Gain() const {
    if (!helper_.Chosen()) {
        return std::nullopt;
    }
    return helper_.Gain();
}

}  // namespace olvar::python
