// The finger-tap detector: turns the index finger's length relative to its default into press,
// held and release events.
//
// The first five inputs form the baseline; afterwards the baseline follows the input with weights
// 0.35 (old) and 0.65 (new). An input more than `threshold` below the baseline is "short". Two
// consecutive short inputs report a press, the following ones held, until the third consecutive
// long input reports the release; the input after a release starts over.
#ifndef OLVAR_PALM_FINGER_EVENTS_H
#define OLVAR_PALM_FINGER_EVENTS_H

namespace olvar {

enum FingerEvent { kFingerNone = 0, kFingerPress = 1, kFingerHeld = 2, kFingerRelease = 3 };

class CFingerEvents {
  public:
    static constexpr int kLatched = 10;

    CFingerEvents() = default;
    virtual ~CFingerEvents() = default;

    // One input (the index finger's length / r / 2.2); returns the event code.
    int Update(double x);

    double average = 0;
    double lastDrop = 0;
    double newWeight = 0.65;
    double oldWeight = 0.35;
    double threshold = 0.048;
    double last = 0;
    int pressCount = 0;
    int releaseCount = 0;
    bool ready = false;
    int warmupCount = 0;

  private:
    int WhileShort();
    int WhileLong();
};

// The one detector of the process: created on first use, shared by every user and every
// library object, never reset.
CFingerEvents& SharedFingerEvents();
// One input to the shared detector under its lock (library objects on several threads share
// it); returns the event code.
int UpdateSharedFingerEvents(double x);

}  // namespace olvar

#endif  // OLVAR_PALM_FINGER_EVENTS_H
