#include "imaging/codebook.h"

#include <algorithm>
#include <utility>

namespace olvar {
namespace {

constexpr int kChannels = 3;
constexpr int kHighMargin = 8;
constexpr int kLearnLowMargin = 5;       // initial learning: low bound of the colour channels
constexpr int kBackgroundLowMargin = 8;  // learning during tracking

uint8_t HighBound(int largest) {
    return static_cast<uint8_t>(largest > 255 - kHighMargin ? 255 : largest + kHighMargin);
}

uint8_t LowBound(int smallest, int margin) {
    return static_cast<uint8_t>(smallest < margin ? 0 : smallest - margin);
}

// Brightness box in fixed point: about 0.7 (179/256) times the brightest value up to about
// 1.1 (282/256) times the brightest and 1.43 (366/256) times the darkest.
void SetBrightnessBoundsFixed(Codeword& w) {
    const int largest = w.largest[0], smallest = w.smallest[0];
    w.low[0] = static_cast<uint8_t>((179 * largest) >> 8);
    w.high[0] = static_cast<uint8_t>(std::min(255, std::min(282 * largest, 366 * smallest) >> 8));
}

// The same box in floating point, used when a learned value refines a codeword.
void SetBrightnessBoundsFloat(Codeword& w) {
    const int largest = w.largest[0], smallest = w.smallest[0];
    w.low[0] = static_cast<uint8_t>(static_cast<int>(largest * 0.7));
    w.high[0] = static_cast<uint8_t>(
        std::min(255, static_cast<int>(std::min(1.1 * largest, 1.43 * smallest))));
}

bool Matches(const Codeword& w, const uint8_t value[3]) {
    for (int c = 0; c < kChannels; ++c) {
        if (value[c] < w.low[c] || value[c] > w.high[c]) {
            return false;
        }
    }
    return true;
}

void WidenRange(Codeword& w, const uint8_t value[3]) {
    for (int c = 0; c < kChannels; ++c) {
        if (value[c] > w.largest[c]) {
            w.largest[c] = value[c];
        } else if (value[c] < w.smallest[c]) {
            w.smallest[c] = value[c];
        }
    }
}

// A codeword holding exactly one colour, with the bounds of a given low margin; the brightness
// bounds are set by the caller.
void StartRange(Codeword& w, const uint8_t value[3], int lowMargin) {
    for (int c = 0; c < kChannels; ++c) {
        w.mean[c] = value[c];
        w.largest[c] = value[c];
        w.smallest[c] = value[c];
        w.high[c] = HighBound(value[c]);
        w.low[c] = LowBound(value[c], lowMargin);
    }
}

// The bounds of the learning during tracking, from the largest and smallest values seen.
void SetBackgroundBounds(Codeword& w) {
    SetBrightnessBoundsFixed(w);
    for (int c = 1; c < kChannels; ++c) {
        w.high[c] = HighBound(w.largest[c]);
        w.low[c] = LowBound(w.smallest[c], kBackgroundLowMargin);
    }
}

}  // namespace

void ZykCB::Reset(int width, int height) {
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    cells_.assign(static_cast<size_t>(width_) * height_, CodebookCell{});
}

Codeword* ZykCB::FirstMatch(CodebookCell& cell, const uint8_t value[3]) {
    for (int i = 0; i < cell.count; ++i) {
        if (Matches(cell.words[i], value)) {
            return &cell.words[i];
        }
    }
    return nullptr;
}

Codeword& ZykCB::InsertFront(CodebookCell& cell) {
    if (cell.count < CodebookCell::kMaxWords) {
        // Grow by one; the existing codeword moves back.
        if (cell.count == 1) {
            cell.words[1] = cell.words[0];
        }
        cell.words[0] = Codeword{};
        ++cell.count;
    } else {
        // Full: the older second codeword is recycled as the new first one, so the former
        // first moves to second place. Fields the caller does not set keep their old values.
        std::swap(cell.words[0], cell.words[1]);
    }
    return cell.words[0];
}

void ZykCB::LearnPixel(int index, const uint8_t value[3]) {
    if (!Valid(index)) {
        return;
    }
    CodebookCell& cell = cells_[static_cast<size_t>(index)];
    const int t = ++cell.accesses;
    if (Codeword* w = FirstMatch(cell, value)) {
        const int n = w->samples;
        const float weight = static_cast<float>(1.0 / (n + 1));
        for (int c = 0; c < kChannels; ++c) {
            w->mean[c] = weight * (static_cast<float>(n) * w->mean[c] + value[c]);
        }
        WidenRange(*w, value);
        for (int c = 0; c < kChannels; ++c) {
            w->high[c] = HighBound(w->largest[c]);
            w->low[c] = LowBound(w->smallest[c], kLearnLowMargin);
        }
        w->samples = n + 1;
        w->longestGap = std::max(w->longestGap, t - w->lastAccess);
        w->lastAccess = t;
        SetBrightnessBoundsFloat(*w);
        return;
    }
    Codeword& w = InsertFront(cell);
    StartRange(w, value, kLearnLowMargin);
    w.samples = 1;
    w.created = t - 1;
    w.longestGap = t;
    w.lastAccess = t;
    SetBrightnessBoundsFixed(w);
}

int ZykCB::LearnBackground(int index, const uint8_t value[3]) {
    if (!Valid(index)) {
        return kBackground;
    }
    CodebookCell& cell = cells_[static_cast<size_t>(index)];
    ++cell.accesses;
    if (Codeword* w = FirstMatch(cell, value)) {
        WidenRange(*w, value);
        SetBackgroundBounds(*w);
        return kBackground;
    }
    Codeword& w = InsertFront(cell);
    StartRange(w, value, kBackgroundLowMargin);
    SetBackgroundBounds(w);
    return kBackground;
}

int ZykCB::MatchPixel(int index, const uint8_t value[3]) {
    if (!Valid(index)) {
        return kForeground;
    }
    CodebookCell& cell = cells_[static_cast<size_t>(index)];
    ++cell.accesses;
    return FirstMatch(cell, value) != nullptr ? kBackground : kForeground;
}

}  // namespace olvar
