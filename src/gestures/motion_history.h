// The last four hand positions of one user, oldest first.
//
// The gesture classifier reads motion from the spread of these positions (a hand's minimum and
// maximum over four frames) rather than from frame-to-frame differences, which keeps single
// noisy frames from deciding a direction. The samples live in a fixed ring, so recording a frame
// never allocates.
#ifndef OLVAR_GESTURES_MOTION_HISTORY_H
#define OLVAR_GESTURES_MOTION_HISTORY_H

#include <array>

namespace olvar {

// Hand 0 of the tracking record is called the left hand, hand 1 the right hand, as in the
// gesture names.
enum Hand : int { kLeftHand = 0, kRightHand = 1 };

// Both hands' positions in one frame, integer pixels.
struct MotionSample {
    int lx = 0;
    int ly = 0;
    int rx = 0;
    int ry = 0;

    int X(int hand) const { return hand == kLeftHand ? lx : rx; }
    int Y(int hand) const { return hand == kLeftHand ? ly : ry; }
};

// Bounding box of one hand's positions over the history.
struct HandRange {
    int minX = 0;
    int maxX = 0;
    int minY = 0;
    int maxY = 0;

    int Width() const { return maxX - minX; }
    int Height() const { return maxY - minY; }
};

class MotionHistory {
  public:
    static constexpr int kCapacity = 4;

    // Forgets everything and keeps only `sample`.
    void Restart(const MotionSample& sample) {
        first_ = 0;
        size_ = 1;
        samples_[0] = sample;
    }

    // Appends `sample` as the newest entry; once full, the oldest entry makes room.
    void Push(const MotionSample& sample) {
        if (size_ < kCapacity) {
            samples_[Slot(size_)] = sample;
            ++size_;
            return;
        }
        samples_[first_] = sample;
        first_ = Slot(1);
    }

    int Size() const { return size_; }

    // Index 0 is the oldest entry. Requires 0 <= index < Size().
    const MotionSample& At(int index) const { return samples_[Slot(index)]; }

    // Requires Size() > 0.
    const MotionSample& Newest() const { return At(size_ - 1); }

    // Replaces the newest entry by the mean of all entries (each coordinate summed and divided
    // by the count, truncated toward zero). Requires Size() > 0.
    void ReplaceNewestWithMean() {
        MotionSample sum;
        for (int i = 0; i < size_; ++i) {
            const MotionSample& s = At(i);
            sum.lx += s.lx;
            sum.ly += s.ly;
            sum.rx += s.rx;
            sum.ry += s.ry;
        }
        samples_[Slot(size_ - 1)] = {sum.lx / size_, sum.ly / size_, sum.rx / size_,
                                     sum.ry / size_};
    }

    // Requires Size() > 0.
    HandRange RangeOf(int hand) const {
        HandRange range;
        range.minX = range.maxX = At(0).X(hand);
        range.minY = range.maxY = At(0).Y(hand);
        for (int i = 1; i < size_; ++i) {
            const int x = At(i).X(hand);
            const int y = At(i).Y(hand);
            range.minX = x < range.minX ? x : range.minX;
            range.maxX = x > range.maxX ? x : range.maxX;
            range.minY = y < range.minY ? y : range.minY;
            range.maxY = y > range.maxY ? y : range.maxY;
        }
        return range;
    }

  private:
    int Slot(int index) const { return (first_ + index) % kCapacity; }

    std::array<MotionSample, kCapacity> samples_{};
    int first_ = 0;
    int size_ = 0;
};

}  // namespace olvar

#endif  // OLVAR_GESTURES_MOTION_HISTORY_H
