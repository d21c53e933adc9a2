// Torso tracking: the shoulder line's centre and the torso half-width, started one face height
// below the face and followed by the torso particle filter on the foreground.
#include "body/user_tracker.h"

namespace olvar {

int UserTracker::StartTorso(TorsoStart start, const int32_t* foregroundIntegral) {
    if (start == TorsoStart::kBelowFace) {
        // The shoulder line lies one face height below the face centre; the half-width equals
        // the face height.
        scratchX = TruncToInt(faceX);
        scratchY = TruncToInt(faceY + faceSize);
        scratchSize = TruncToInt(faceSize);
    } else if (start == TorsoStart::kAtLastPose) {
        scratchX = TruncToInt(torsoX);
        scratchY = TruncToInt(torsoY);
        scratchSize = torsoSize;
    } else {
        return kOlvarNothing;
    }
    if (torsoFilter.Initialize(foregroundIntegral, &scratchX, &scratchY, &scratchSize)) {
        torsoFound = true;
        torsoSize = scratchSize;
        torsoX = static_cast<float>(scratchX);
        torsoY = static_cast<float>(scratchY);
        // A torso within one and a half half-widths of the left or right border is partly out
        // of view.
        if (1.5 * torsoSize <= scratchX && scratchX <= W - 1.5 * torsoSize) {
            return kOlvarOk;
        }
    }
    torsoFound = false;
    return kOlvarNothing;
}

int UserTracker::TrackTorso(const int32_t* foregroundIntegral) {
    if (!torsoFound) {
        if (!faceFound || StartTorso(TorsoStart::kBelowFace, foregroundIntegral) != 0) {
            return kOlvarLost;
        }
        torsoFound = true;
    } else {
        scratchX = TruncToInt(torsoX);
        scratchY = TruncToInt(torsoY);
        scratchSize = torsoSize;
        if (torsoFilter.Track(foregroundIntegral, &scratchX, &scratchY, &scratchSize)) {
            torsoX = static_cast<float>(0.7 * scratchX + 0.3 * torsoX);
            torsoY = static_cast<float>(0.7 * scratchY + 0.3 * torsoY);
            torsoSize = TruncToInt(0.7 * scratchSize + 0.3 * torsoSize);
        } else {
            // Lost: one retry at the last pose with a search ten per cent larger.
            scratchX = TruncToInt(torsoX);
            scratchY = TruncToInt(torsoY);
            scratchSize = TruncToInt(1.1 * torsoSize);
            if (!torsoFilter.Initialize(foregroundIntegral, &scratchX, &scratchY, &scratchSize)) {
                torsoFound = false;
                return kOlvarLost;
            }
            torsoSize = scratchSize;
            torsoX = static_cast<float>(scratchX);
            torsoY = static_cast<float>(scratchY);
            return kOlvarOk;
        }
    }
    if (torsoSize < 8) {
        torsoFound = false;
        return kOlvarTorsoTooSmall;
    }
    if (torsoSize <= torsoX && torsoX <= W - torsoSize && torsoSize <= torsoY &&
        torsoY <= H - torsoSize) {
        return kOlvarOk;
    }
    torsoFound = false;
    return kOlvarTorsoAtBorder;
}

}  // namespace olvar
