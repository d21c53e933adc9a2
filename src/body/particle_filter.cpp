#include "body/particle_filter.h"

namespace olvar {

void CParticleFilter::SetFrameSize(int width, int height) {
    frameWidth = width;
    frameHeight = height;
    if (estimate) {
        estimate->frameWidth = width;
        estimate->frameHeight = height;
    }
}

}  // namespace olvar
