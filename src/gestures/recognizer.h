// The per-user gesture recognizer: runs the selected mode on each tracking record and writes the
// user's gesture record.
#ifndef OLVAR_GESTURES_RECOGNIZER_H
#define OLVAR_GESTURES_RECOGNIZER_H

#include "olvar/olvar.h"

namespace olvar {

class IZykGR {
public:
    // Selects a mode; 12 (mode kept) for a null pointer or an identifier above 14.
    virtual int SetMode(const int* mode) = 0;
    // Writes the current mode into *mode (when not null) and returns it.
    virtual int GetMode(int* mode) = 0;
    virtual int GetModeList(const int** list) = 0;
    virtual const char* GetModeName(int mode) = 0;
    virtual int GetGestureList(const int** list) = 0;
    virtual const char* GetGestureName(int gesture) = 0;
    // Runs the current mode on one record and writes the gesture; always returns 0.
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

private:
    int currentMode_ = 2;
    int previousMode_ = 2;
};

}  // namespace olvar

#endif  // OLVAR_GESTURES_RECOGNIZER_H
