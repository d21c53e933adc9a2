// The colour codebook: codeword bounds when learning starts, how learning refines them, the
// brightness ratio box, the replacement of the older codeword by a third colour, and the
// learning used during tracking.
#include <gtest/gtest.h>

#include "imaging/codebook.h"

namespace olvar {
namespace {

struct Yc {
    uint8_t v[3];
};

// A codebook of one cell.
ZykCB OneCell() {
    ZykCB codebook;
    codebook.Reset(1, 1);
    return codebook;
}

bool Matches(ZykCB& codebook, uint8_t y, uint8_t cr, uint8_t cb) {
    const uint8_t v[3] = {y, cr, cb};
    return codebook.MatchPixel(0, v) == ZykCB::kBackground;
}

TEST(Codebook, FirstLearnedValueGetsARatioBoxInBrightnessAndAMarginInColour) {
    // Brightness: 179/256 to 282/256 of the value; colour: 5 below to 8 above, cut at 0 and 255.
    struct Case {
        uint8_t value;
        uint8_t yLow, yHigh, cLow, cHigh;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 8},           {4, 2, 4, 0, 12},          {5, 3, 5, 0, 13},
        {100, 69, 110, 95, 108},   {232, 162, 255, 227, 240}, {247, 172, 255, 242, 255},
        {248, 173, 255, 243, 255}, {255, 178, 255, 250, 255},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(static_cast<int>(k.value));
        ZykCB codebook = OneCell();
        const uint8_t v[3] = {k.value, k.value, k.value};
        codebook.LearnPixel(0, v);
        const CodebookCell& cell = codebook.Cell(0);
        ASSERT_EQ(cell.count, 1);
        const Codeword& w = cell.words[0];
        EXPECT_EQ(w.low[0], k.yLow);
        EXPECT_EQ(w.high[0], k.yHigh);
        for (int c = 1; c < 3; ++c) {
            EXPECT_EQ(w.low[c], k.cLow);
            EXPECT_EQ(w.high[c], k.cHigh);
        }
        EXPECT_EQ(w.samples, 1);
        EXPECT_EQ(w.created, 0);
        EXPECT_EQ(w.lastAccess, 1);
        EXPECT_EQ(w.longestGap, 1);
        EXPECT_FLOAT_EQ(w.mean[0], k.value);
    }
}

TEST(Codebook, BrightnessMatchesBetweenPointSevenAndOnePointOneOfTheBrightestSeen) {
    // Learned Y 100: 69 and 110 match, 68 and 111 do not (colour unchanged).
    ZykCB single = OneCell();
    const uint8_t learned[3] = {100, 120, 130};
    single.LearnPixel(0, learned);
    EXPECT_TRUE(Matches(single, 69, 120, 130));
    EXPECT_TRUE(Matches(single, 110, 120, 130));
    EXPECT_FALSE(Matches(single, 68, 120, 130));
    EXPECT_FALSE(Matches(single, 111, 120, 130));

    // A second matching value refines the box in floating point: brightest 110 and darkest 100
    // give (int)(0.7 * 110) = 77 up to (int)(1.1 * 110) = 121.
    const uint8_t brighter[3] = {110, 120, 130};
    single.LearnPixel(0, brighter);
    const Codeword& w = single.Cell(0).words[0];
    EXPECT_EQ(w.low[0], 77);
    EXPECT_EQ(w.high[0], 121);
    EXPECT_EQ(w.largest[0], 110);
    EXPECT_EQ(w.smallest[0], 100);
    EXPECT_FLOAT_EQ(w.mean[0], 105.0f);
    EXPECT_EQ(w.samples, 2);

    // A dark value lets 1.43 times the darkest cut the box below 1.1 times the brightest:
    // brightest 100, darkest 72: up to (int)(1.43 * 72) = 102 instead of 110.
    ZykCB shaded = OneCell();
    shaded.LearnPixel(0, learned);
    const uint8_t darker[3] = {72, 120, 130};
    shaded.LearnPixel(0, darker);
    EXPECT_EQ(shaded.Cell(0).words[0].high[0], 102);
    EXPECT_EQ(shaded.Cell(0).words[0].low[0], 70);
    EXPECT_TRUE(Matches(shaded, 102, 120, 130));
    EXPECT_FALSE(Matches(shaded, 103, 120, 130));
}

TEST(Codebook, ColourOutsideTheMarginsStartsANewCodeword) {
    ZykCB codebook = OneCell();
    const uint8_t learned[3] = {100, 120, 130};
    codebook.LearnPixel(0, learned);
    struct Case {
        uint8_t y, cr, cb;
        bool matches;
    };
    const Case cases[] = {
        {100, 115, 130, true},  {100, 114, 130, false}, {100, 128, 130, true},
        {100, 129, 130, false}, {100, 120, 125, true},  {100, 120, 138, true},
        {100, 120, 139, false}, {100, 120, 124, false},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(Matches(codebook, k.y, k.cr, k.cb), k.matches)
            << static_cast<int>(k.cr) << "," << static_cast<int>(k.cb);
    }
}

TEST(Codebook, ThirdColourReplacesTheOlderCodewordAndMovesTheFirstBack) {
    ZykCB codebook = OneCell();
    const uint8_t wall[3] = {180, 130, 120};
    const uint8_t shirt[3] = {60, 190, 100};
    const uint8_t jeans[3] = {70, 110, 160};
    codebook.LearnPixel(0, wall);
    codebook.LearnPixel(0, shirt);
    ASSERT_EQ(codebook.Cell(0).count, 2);
    EXPECT_EQ(codebook.Cell(0).words[0].largest[1], 190);  // newest first
    EXPECT_EQ(codebook.Cell(0).words[1].largest[1], 130);

    codebook.LearnPixel(0, jeans);
    const CodebookCell& cell = codebook.Cell(0);
    ASSERT_EQ(cell.count, 2);
    EXPECT_EQ(cell.words[0].largest[2], 160);  // the new colour in first place
    EXPECT_EQ(cell.words[1].largest[1], 190);  // the former first in second place
    EXPECT_EQ(cell.words[0].samples, 1);
    EXPECT_EQ(cell.words[0].created, 2);
    EXPECT_TRUE(Matches(codebook, 70, 110, 160));
    EXPECT_TRUE(Matches(codebook, 60, 190, 100));
    EXPECT_FALSE(Matches(codebook, 180, 130, 120));  // the oldest colour is forgotten
}

TEST(Codebook, LearningDuringTrackingWidensWithIntegerBoundsAndWiderColourMargins) {
    ZykCB codebook = OneCell();
    const uint8_t first[3] = {100, 120, 130};
    codebook.LearnPixel(0, first);
    const Codeword before = codebook.Cell(0).words[0];

    // A matching value: brightest 108, darkest 100 -> 179 * 108 >> 8 = 75 up to
    // min(282 * 108, 366 * 100) >> 8 = 118; colour margins become 8 on both sides.
    const uint8_t second[3] = {108, 118, 134};
    EXPECT_EQ(codebook.LearnBackground(0, second), ZykCB::kBackground);
    const Codeword& w = codebook.Cell(0).words[0];
    EXPECT_EQ(w.low[0], 75);
    EXPECT_EQ(w.high[0], 118);
    EXPECT_EQ(w.low[1], 110);
    EXPECT_EQ(w.high[1], 128);
    EXPECT_EQ(w.low[2], 122);
    EXPECT_EQ(w.high[2], 142);
    // Means, samples and times belong to the initial learning only.
    EXPECT_FLOAT_EQ(w.mean[0], before.mean[0]);
    EXPECT_EQ(w.samples, before.samples);
    EXPECT_EQ(w.lastAccess, before.lastAccess);
    EXPECT_EQ(codebook.Cell(0).accesses, 2);

    // A colour that matches nothing becomes the first codeword with those bounds.
    const uint8_t other[3] = {40, 200, 3};
    EXPECT_EQ(codebook.LearnBackground(0, other), ZykCB::kBackground);
    const Codeword& n = codebook.Cell(0).words[0];
    ASSERT_EQ(codebook.Cell(0).count, 2);
    EXPECT_EQ(n.low[0], (179 * 40) >> 8);
    EXPECT_EQ(n.high[0], (282 * 40) >> 8);
    EXPECT_EQ(n.low[1], 192);
    EXPECT_EQ(n.high[1], 208);
    EXPECT_EQ(n.low[2], 0);
    EXPECT_EQ(n.high[2], 11);
    EXPECT_EQ(codebook.Cell(0).words[1].high[0], 118);
}

TEST(Codebook, EveryCallCountsAnAccessAndCellsOutsideTheTableAreForeground) {
    ZykCB codebook;
    codebook.Reset(3, 2);
    EXPECT_EQ(codebook.CellCount(), 6);
    const uint8_t v[3] = {50, 128, 128};
    codebook.LearnPixel(5, v);
    codebook.MatchPixel(5, v);
    codebook.LearnBackground(5, v);
    EXPECT_EQ(codebook.Cell(5).accesses, 3);
    EXPECT_EQ(codebook.Cell(4).accesses, 0);

    // No cell: nothing is learned and nothing is taken for background.
    for (int index : {-1, 6, 1 << 30}) {
        codebook.LearnPixel(index, v);
        EXPECT_EQ(codebook.MatchPixel(index, v), ZykCB::kForeground);
        EXPECT_EQ(codebook.LearnBackground(index, v), ZykCB::kBackground);
    }

    // Resetting empties the table for a new size.
    codebook.Reset(2, 2);
    EXPECT_EQ(codebook.CellCount(), 4);
    EXPECT_EQ(codebook.Cell(1).count, 0);
    EXPECT_EQ(codebook.MatchPixel(1, v), ZykCB::kForeground);
}

}  // namespace
}  // namespace olvar
