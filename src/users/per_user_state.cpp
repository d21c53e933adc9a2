#include "users/per_user_state.h"

namespace olvar {

int PerUserState::ResizeState(int newWidth, int newHeight, int count) {
    if (newWidth == width && newHeight == height) {
        return 0;
    }
    width = newWidth;
    height = newHeight;
    pixelCount = count;
    return 0;
}

}  // namespace olvar
