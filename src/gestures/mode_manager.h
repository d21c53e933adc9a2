// ModeMgr: owns one object of each application mode (4 to 14) of a recognizer.
#ifndef OLVAR_GESTURES_MODE_MANAGER_H
#define OLVAR_GESTURES_MODE_MANAGER_H

#include <array>
#include <memory>

#include "gestures/modes.h"

namespace olvar {

class ModeMgr {
  public:
    static constexpr int kFirstMode = modeMotionExt1;
    static constexpr int kLastMode = modeTreasureHunter;

    // Creates the eleven mode objects, each knowing its identifier.
    ModeMgr();
    virtual ~ModeMgr() = default;
    ModeMgr(const ModeMgr&) = delete;
    ModeMgr& operator=(const ModeMgr&) = delete;

    // The object of mode `modeId`, or null when the identifier has no mode object (outside
    // 4..14). Looking up never creates entries.
    IMode* Find(int modeId) const;

  private:
    std::array<std::unique_ptr<IMode>, kLastMode - kFirstMode + 1> modes_;
};

}  // namespace olvar

#endif  // OLVAR_GESTURES_MODE_MANAGER_H
