#include "palm/finger_events.h"

#include <mutex>

namespace olvar {

int CFingerEvents::Update(double x) {
    last = x;
    if (!ready) {
        average += x;
        warmupCount += 1;
        if (warmupCount > 4) {
            average /= 5;
            ready = true;
        }
        return kFingerNone;
    }
    const double drop = average - threshold;
    lastDrop = drop;
    average = oldWeight * average + newWeight * x;
    if (x < drop) {
        return WhileShort();
    }
    if (pressCount == kLatched) {
        return WhileLong();
    }
    pressCount = 0;
    return kFingerNone;
}

int CFingerEvents::WhileShort() {
    if (pressCount != kLatched) {
        pressCount += 1;
        if (pressCount == 1) {
            return kFingerNone;
        }
        pressCount = kLatched;
        return kFingerPress;
    }
    const int wasReleasing = releaseCount;
    releaseCount = 0;
    if (wasReleasing != kLatched) {
        return kFingerHeld;
    }
    pressCount = 0;
    return kFingerNone;
}

int CFingerEvents::WhileLong() {
    if (releaseCount != kLatched) {
        releaseCount += 1;
        if (releaseCount <= 2) {
            return kFingerHeld;
        }
        releaseCount = kLatched;
        return kFingerRelease;
    }
    releaseCount = 0;
    pressCount = 0;
    return kFingerNone;
}

CFingerEvents& SharedFingerEvents() {
    static CFingerEvents detector;
    return detector;
}

int UpdateSharedFingerEvents(double x) {
    static std::mutex lock;
    const std::lock_guard<std::mutex> hold(lock);
    return SharedFingerEvents().Update(x);
}

}  // namespace olvar
