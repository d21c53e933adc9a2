// The static room behind the people: walls, floor, window, furniture and a few objects. The
// layout is defined in fractions of the frame, so every frame size shows the same room.
#ifndef OLVAR_TOOLS_SYNTH_ROOM_H
#define OLVAR_TOOLS_SYNTH_ROOM_H

#include <opencv2/core.hpp>

namespace olvar::synth {

struct RoomStyle {
    unsigned seed = 1;  // picks the wall colour, the books and the wood grain
    // Light wooden furniture (a door and a sideboard) in skin-like tones, right behind where
    // people stand: a trap for skin detectors.
    bool skinColouredFurniture = false;
};

cv::Mat RenderRoom(cv::Size size, const RoomStyle& style);

}  // namespace olvar::synth

#endif  // OLVAR_TOOLS_SYNTH_ROOM_H
