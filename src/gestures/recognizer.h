// The per-user gesture recognizer: runs the selected mode on each tracking record and writes the
// user's gesture record.
//
// Modes 0 to 2 run on one shared classifier, modes 4 to 14 on their own mode objects, so every
// mode keeps its motion history and swipe state while another mode is active; selecting a mode
// anew only makes it re-learn the user's rest position. Mode 3 recognizes nothing.
#ifndef OLVAR_GESTURES_RECOGNIZER_H
#define OLVAR_GESTURES_RECOGNIZER_H

#include "gestures/gesture_classifier.h"
#include "gestures/mode_manager.h"
#include "olvar/olvar.h"

namespace olvar {

class IZykGR {
  public:
    // Selects a mode; 12 (mode kept) for a null pointer or an identifier above 14. Negative
    // identifiers run the motion mode.
    virtual int SetMode(const int* mode) = 0;
    // Writes the current mode into *mode (when not null) and returns it.
    virtual int GetMode(int* mode) = 0;
    virtual int GetModeList(const int** list) = 0;
    virtual const char* GetModeName(int mode) = 0;
    virtual int GetGestureList(const int** list) = 0;
    virtual const char* GetGestureName(int gesture) = 0;
    // Runs the current mode on one record and writes the gesture (and, for cursor and lean
    // gestures, x and y). A frame that cannot be judged yet leaves the record untouched in modes
    // 0 to 2 and reports -2 in modes 4 to 14. Returns 0, or 12 for a null pointer.
    virtual int Recognize(const TrackingRecord* record, GestureRecord* gesture) = 0;

  protected:
    ~IZykGR() = default;
};

class ZykGR final : public IZykGR {
  public:
    ZykGR() = default;
    ~ZykGR() = default;
    ZykGR(const ZykGR&) = delete;
    ZykGR& operator=(const ZykGR&) = delete;

    int SetMode(const int* mode) override;
    int GetMode(int* mode) override;
    int GetModeList(const int** list) override;
    const char* GetModeName(int mode) override;
    int GetGestureList(const int** list) override;
    const char* GetGestureName(int gesture) override;
    int Recognize(const TrackingRecord* record, GestureRecord* gesture) override;

    // For tests: the classifier of modes 0 to 2 and the mode objects.
    const CGesture& SharedClassifier() const { return classifier_; }
    IMode* ModeObject(int modeId) const { return modes_.Find(modeId); }

  private:
    int currentMode_ = modeMotion;
    int previousMode_ = modeMotion;
    CGesture classifier_;
    ModeMgr modes_;
};

}  // namespace olvar

#endif  // OLVAR_GESTURES_RECOGNIZER_H
