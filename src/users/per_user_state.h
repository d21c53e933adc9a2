// Both users' tracking state and the buffers the per-user step shares between them.
#ifndef OLVAR_USERS_PER_USER_STATE_H
#define OLVAR_USERS_PER_USER_STATE_H

#include <cstdint>

#include "olvar/olvar.h"

namespace olvar {

struct PerUserState {
    int width = 200;
    int height = 150;
    int pixelCount = 200 * 150;
    int32_t reserved = 0;
    int current = 0;  // the user being processed
    UserMode userMode{1, 0};

    // Re-creates the shared buffers and restarts both trackers for a new working size.
    int ResizeState(int newWidth, int newHeight, int count);
};

}  // namespace olvar

#endif  // OLVAR_USERS_PER_USER_STATE_H
