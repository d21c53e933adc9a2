// Learning the room before tracking: a host-side piece for programs that drive the tracker from a
// camera (olvar-demo, the Python example). The tracker learns its background from its first
// frames, so a person in view from the start is background until they move; the host asks the
// person to step out, waits until the picture holds still, and warms a fresh tracker up on the
// per-pixel median of that still second.
//
//   olvar::host::RoomLearner learner(width, height, fps, countdownSeconds);
//   while (!learner.Done()) { learner.Add(frame, stride); /* show learner.Phase() */ }
//   olvar::host::WarmUpOnRoom(tracker, learner.Room(), width, height, 40);
//
// Frames are 3 bytes per pixel (blue, green, red), top-down, rows `stride` bytes apart. Time is
// counted in frames of the input's own rate.
#ifndef OLVAR_TOOLS_HOST_ROOM_LEARNER_H
#define OLVAR_TOOLS_HOST_ROOM_LEARNER_H

#include <olvar/olvar.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

namespace olvar::host {

enum class RoomPhase {
    kCountdown,  // "Step out of view": frames are shown, not used
    kWaiting,    // the picture still changes
    kLearning,   // the picture holds still; these frames may become the room
    kDone,       // the room is learned
};

// "countdown", "waiting", "learning" or "done".
const char* RoomPhaseName(RoomPhase phase);

// Whether two frames show the same still picture: camera noise and a change of the overall
// brightness (slow light drift, exposure) do not count, a moving person does.
class StillTest {
  public:
    StillTest(int width, int height);
    // The share of sampled pixels that changed between a and b beyond noise and the common
    // brightness change.
    double ChangedShare(const uint8_t* a, const uint8_t* b, int stride) const;
    bool Still(const uint8_t* a, const uint8_t* b, int stride) const;
    // ChangedShare over the middle third of the picture only.
    double ChangedShareInMiddle(const uint8_t* a, const uint8_t* b, int stride) const;

  private:
    double Share(const uint8_t* a, const uint8_t* b, int stride, int x0, int x1, int y0,
                 int y1) const;
    int width_, height_;
};

class RoomLearner {
  public:
    static constexpr double kStillSeconds = 1.0;
    static constexpr double kMaxWaitSeconds = 10.0;

    RoomLearner(int width, int height, double fps, double countdownSeconds);

    // Takes the next input frame; returns the phase that frame belonged to. Frames after the
    // room is learned are ignored (kDone).
    RoomPhase Add(const uint8_t* frame, int stride);
    RoomPhase Phase() const { return phase_; }
    bool Done() const { return phase_ == RoomPhase::kDone; }
    // Whole seconds of the countdown left (for "Step out of view 3").
    int CountdownLeft() const;
    // The picture never held still within kMaxWaitSeconds; the last second was taken anyway.
    bool FellBack() const { return fellBack_; }
    // The learned room: the per-pixel median of the still second, width * 3 bytes per row.
    const std::vector<uint8_t>& Room() const { return room_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

  private:
    void Finish(bool fellBack);

    int width_, height_;
    int countdownFrames_, stillFrames_, maxWaitFrames_;
    StillTest still_;
    RoomPhase phase_;
    int frames_ = 0;    // input frames taken
    int waited_ = 0;    // frames since the countdown ended
    int stillRun_ = 0;  // the last frames that held still, counting the newest
    std::deque<std::vector<uint8_t>> recent_;  // the last stillFrames_ frames, packed
    bool fellBack_ = false;
    std::vector<uint8_t> room_;
};

// Per-pixel median of equally sized packed frames.
std::vector<uint8_t> MedianFrame(const std::deque<std::vector<uint8_t>>& frames);

// Warm-up frames of the room as a camera would deliver them: the room with a little sensor noise
// (about one grey level), deterministic for a seed. `index` numbers the frames.
std::vector<uint8_t> RoomFrame(const std::vector<uint8_t>& room, int index);

// Feeds `frames` warm-up frames of the room (RoomFrame) to the tracker, which is declared for
// the room's size in 3 bytes per pixel with packed rows. `condition` (may be empty) changes each
// frame before it is fed, as the host conditions its camera frames (the colour gain); `fed` (may
// be empty) hears each frame's status. Returns kOlvarOk, or kOlvarInvalid when the tracker
// refuses a frame (12 or 21: the room does not match its declared format).
int WarmUpOnRoom(IOlvar* tracker, const std::vector<uint8_t>& room, int frames,
                 const std::function<void(std::vector<uint8_t>&)>& condition = {},
                 const std::function<void(int status)>& fed = {});

// "Nobody is tracked although someone is there": after `seconds` of input with no user tracked
// while the middle of the picture keeps changing (on at least a quarter of the frames of the
// last `seconds`), Update returns true once; it can return true
// again only after someone has been tracked and lost again.
class UntrackedHint {
  public:
    static constexpr const char* kText =
        "nobody is tracked although the picture moves: the person may have been learned into "
        "the background; step out of view and press b (or restart with --learn-room)";

    UntrackedHint(int width, int height, double fps, double seconds = 2.0);
    // Call once per input frame after the warm-up; true on the frame the hint shows.
    bool Update(bool tracked, const uint8_t* frame, int stride);

  private:
    StillTest still_;
    int width_, height_;
    int windowFrames_;
    int untracked_ = 0;        // frames since the last tracked frame
    std::deque<bool> moving_;  // of the last windowFrames_ frames: did the middle change
    bool armed_ = true;
    std::vector<uint8_t> previous_;
};

}  // namespace olvar::host

#endif  // OLVAR_TOOLS_HOST_ROOM_LEARNER_H
