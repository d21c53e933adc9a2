#include "gestures/mode_manager.h"

namespace olvar {
namespace {

template <typename Mode>
std::unique_ptr<IMode> MakeMode(int modeId) {
    return std::make_unique<Mode>(modeId);
}

}  // namespace

ModeMgr::ModeMgr()
    : modes_{MakeMode<GestureMotionExtend1>(modeMotionExt1),
             MakeMode<GestureMotionExtend2>(modeMotionExt2),
             MakeMode<GestureMotionExtend3>(modeMotionExt3),
             MakeMode<GestureCombine>(modeCombine),
             MakeMode<GestureCombine1>(modeCombine1),
             MakeMode<GestureCombine2>(modeCombine2),
             MakeMode<GestureMedialCenter>(modeMediaCenter),
             MakeMode<GestureSolitaire>(modeSolitaire),
             MakeMode<GestureGoogleEarth>(modeGoogleEarth),
             MakeMode<GestureJoyStick>(modeJoyStick),
             MakeMode<GestureTreasureHunter>(modeTreasureHunter)} {}

IMode* ModeMgr::Find(int modeId) const {
    if (modeId < kFirstMode || modeId > kLastMode) {
        return nullptr;
    }
    return modes_[modeId - kFirstMode].get();
}

}  // namespace olvar
