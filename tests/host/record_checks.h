// What every host may rely on in a call's results, checked with the public header alone: the
// documented status codes, finite records, gesture identifiers in range, and the observed points
// (face and hands) inside the picture.
#ifndef OLVAR_TESTS_HOST_RECORD_CHECKS_H
#define OLVAR_TESTS_HOST_RECORD_CHECKS_H

#include <cmath>
#include <vector>

#include "olvar/olvar.h"

namespace olvar::checks {

// The codes ProcessFrame may return.
inline bool DocumentedFrameStatus(int status) {
    switch (status) {
        case kOlvarOk:
        case kOlvarNothing:
        case kOlvarLost:
        case kOlvarInvalid:
        case kOlvarTooMuchMotion:
        case kOlvarTooLittleForeground:
        case kOlvarBadFormat:
            return true;
        default:
            return false;
    }
}

// -2 marks a mode's first frame, -1 no gesture, 0..72 the gestures.
inline bool GestureInRange(int gesture) {
    return gesture >= -2 && gesture <= 72;
}

// Every value of the record's named fields, as doubles.
inline std::vector<double> RecordValues(const TrackingRecord& r) {
    std::vector<double> v = {r.heightEstimate, r.faceX,      r.faceY,  r.faceSize, r.torsoX,
                             r.torsoY,         r.torsoValue, r.hand0X, r.hand0Y,   r.hand0Size,
                             r.palmRadius,     r.hand1X,     r.hand1Y, r.hand1Size};
    for (const OlvarPoint& p : r.fingertips) {
        v.insert(v.end(), {p.x, p.y});
    }
    for (const OlvarPoint& p : r.fingerBases) {
        v.insert(v.end(), {p.x, p.y});
    }
    for (const OlvarPoint& p : r.joints) {
        v.insert(v.end(), {p.x, p.y});
    }
    for (const OlvarPoint& p : r.legJoints) {
        v.insert(v.end(), {p.x, p.y});
    }
    return v;
}

inline bool Finite(const TrackingRecord& record) {
    for (double value : RecordValues(record)) {
        if (!std::isfinite(value)) {
            return false;
        }
    }
    return true;
}

// A named point of a record.
struct NamedPoint {
    const char* name;
    float x, y;
};

// The points the trackers observe in the picture: the face centre and both hands. The skeleton
// joints are placed by the body model from the torso and the fitted arms and may lie outside
// (the hip centre below the bottom row for a person close to the camera, an elbow of an arm
// hanging out of the picture).
inline std::vector<NamedPoint> ObservedPoints(const TrackingRecord& r) {
    return {
        {"face", r.faceX, r.faceY}, {"hand 0", r.hand0X, r.hand0Y}, {"hand 1", r.hand1X, r.hand1Y}};
}

// Inside a width x height picture (frame pixels, the last row and column included).
inline bool InPicture(const NamedPoint& p, int width, int height) {
    return p.x >= 0 && p.y >= 0 && p.x <= static_cast<float>(width - 1) &&
           p.y <= static_cast<float>(height - 1);
}

}  // namespace olvar::checks

#endif  // OLVAR_TESTS_HOST_RECORD_CHECKS_H
