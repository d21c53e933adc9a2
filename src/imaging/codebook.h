// ZykCB: a per-pixel colour codebook of the background over the working YCrCb image.
//
// Each working pixel has one cell holding at most two codewords. A codeword is a box in YCrCb:
// a pixel value v matches it when low <= v <= high in every channel. The brightness channel (Y)
// gets a ratio box around the brightest and darkest values seen (about 0.7 to 1.1 times the
// brightest, and at most 1.43 times the darkest), so shading and slow light changes still
// match; the colour channels (Cr, Cb) get a fixed margin around the values seen.
//
// A cell keeps its newest codeword first. A colour that matches neither codeword takes the
// first place; with two codewords already present, the older second one is overwritten and the
// former first moves to second place.
//
// Requires: cell indices y * Width() + x below CellCount() (calls with other indices do nothing and
// report foreground). Ensures: a cell never holds more than two codewords.
#ifndef OLVAR_IMAGING_CODEBOOK_H
#define OLVAR_IMAGING_CODEBOOK_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace olvar {

// One colour box of a cell. Channels in YCrCb order: 0 = Y, 1 = Cr, 2 = Cb.
struct Codeword {
    uint8_t high[3];
    uint8_t low[3];
    uint8_t largest[3];   // largest value seen per channel
    uint8_t smallest[3];  // smallest value seen per channel
    float mean[3];
    int32_t samples;     // values learned into the codeword
    int32_t created;     // times are values of the cell's access counter
    int32_t longestGap;  // longest interval between two accesses
    int32_t lastAccess;
};
static_assert(sizeof(Codeword) == 40, "Codeword layout");

struct CodebookCell {
    static constexpr int kMaxWords = 2;

    Codeword words[kMaxWords];
    int32_t count = 0;     // codewords in use, 0..2, newest first
    int32_t accesses = 0;  // incremented by every learning or matching call on the cell
};

class ZykCB {
  public:
    // Result of MatchPixel and LearnBackground.
    static constexpr int kBackground = 0;
    static constexpr int kForeground = 1;

    virtual ~ZykCB() = default;

    // Replaces the cell table by one empty cell per pixel of a width x height image.
    void Reset(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    int CellCount() const { return static_cast<int>(cells_.size()); }
    const CodebookCell& Cell(int index) const { return cells_[static_cast<size_t>(index)]; }

    // Initial learning of one pixel (the first segmented frame): the first matching codeword
    // absorbs the value into its mean and its range, otherwise a new codeword is made.
    void LearnPixel(int index, const uint8_t value[3]);

    // Learning during tracking: widens the first matching codeword's range to the value, or
    // makes a new codeword. Returns kBackground.
    int LearnBackground(int index, const uint8_t value[3]);

    // kBackground when some codeword matches the value, else kForeground.
    int MatchPixel(int index, const uint8_t value[3]);

  private:
    bool Valid(int index) const { return index >= 0 && index < CellCount(); }
    // The first codeword that matches the value, or null.
    static Codeword* FirstMatch(CodebookCell& cell, const uint8_t value[3]);
    // Makes room for a new codeword at the front of the cell and returns it.
    static Codeword& InsertFront(CodebookCell& cell);

    std::vector<CodebookCell> cells_;  // row-major, one per pixel
    int width_ = 0;
    int height_ = 0;
};

}  // namespace olvar

#endif  // OLVAR_IMAGING_CODEBOOK_H
