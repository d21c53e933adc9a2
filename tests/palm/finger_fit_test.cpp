// The hand model's geometry and the pieces of the finger fit on small hand-made masks: base
// points, the side-probe profile (its early stop, finite scores for any width, probes anywhere
// in a camera-sized mask), the gap probe, the tip contrast's sign and limits, the length probe's
// cleaning and fallbacks, and the sweeps' fallbacks.
#include <gtest/gtest.h>

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "imaging/integral.h"
#include "palm/finger_fit.h"
#include "palm/hand_model.h"

namespace olvar {
namespace {

constexpr double kPi = kPalmPi;

TEST(HandModel, ConstructionClearAndInitialPose) {
    HandModel model;
    const double angles[] = {0, -kPi / 4, -kPi / 12, 0, kPi / 12, kPi / 6};
    for (int i = 0; i < kHandParts; ++i) {
        EXPECT_EQ(model.parts[i].id, i);
        EXPECT_DOUBLE_EQ(model.parts[i].angle, angles[i]);
        EXPECT_EQ(model.parts[i].length, 0);
    }
    EXPECT_EQ(model.radius, 0);

    InitHandModel(model, 100, 200, 30, kPi / 2);  // r = 15, fingers up
    EXPECT_EQ(model.radius, 15);
    EXPECT_EQ(model.parts[kPalm].baseX, 100);
    EXPECT_DOUBLE_EQ(model.parts[kPalm].length, 30);
    EXPECT_DOUBLE_EQ(model.parts[kPalm].width, 36);
    struct Case {
        int finger;
        int baseX, baseY;
        double length, width;
    };
    // Up: base = (cx + d r, cy + c r) truncated; the thumb right of the centre, the little left.
    const Case cases[] = {
        {kThumb, 109, 192, 1.9 * 15, 9},   {kIndex, 106, 174, 2.2 * 15, 6},
        {kMiddle, 100, 173, 2.4 * 15, 6},  {kRing, 93, 173, 2.2 * 15, 4.5},
        {kLittle, 88, 173, 1.8 * 15, 4.5},
    };
    for (const Case& c : cases) {
        const HandPart& p = model.parts[c.finger];
        EXPECT_EQ(p.baseX, c.baseX) << c.finger;
        EXPECT_EQ(p.baseY, c.baseY) << c.finger;
        EXPECT_DOUBLE_EQ(p.length, c.length) << c.finger;
        EXPECT_DOUBLE_EQ(p.width, c.width) << c.finger;
        EXPECT_DOUBLE_EQ(p.angle, kPi / 2 + angles[c.finger]) << c.finger;
    }
    // A small palm takes the width floors: 3 pixels for the thumb, 2 for the others.
    InitHandModel(model, 50, 50, 4, 0);
    EXPECT_EQ(model.parts[kThumb].width, 3);
    EXPECT_EQ(model.parts[kRing].width, 2);
    // Pointing right: base = (cx - c r, cy + d r).
    EXPECT_EQ(model.parts[kIndex].baseX, 53);  // 50 + 1.7 * 2
    EXPECT_EQ(model.parts[kIndex].baseY, 50);  // 50 + 0.4 * 2 truncated

    model.Clear();
    EXPECT_EQ(model.radius, 0);
    EXPECT_EQ(model.parts[kRing].id, kRing);
    EXPECT_EQ(model.parts[kRing].angle, 0);
    EXPECT_EQ(model.parts[kRing].width, 0);
}

TEST(HandModel, PlaceFingerPartTruncatesTheLengthAndDropsTheFloor) {
    HandModel model;
    InitHandModel(model, 100, 200, 4, kPi / 2);  // r = 2: floored widths
    PlaceFingerPart(kIndex, kPi / 2, kPi / 3, 20.9, model);
    const HandPart& p = model.parts[kIndex];
    EXPECT_EQ(p.length, 20);
    EXPECT_DOUBLE_EQ(p.width, 0.8);
    EXPECT_DOUBLE_EQ(p.angle, kPi / 3);
    EXPECT_NEAR(p.tipX, p.baseX + 10, 1e-9);
    EXPECT_NEAR(p.tipY, p.baseY - 20 * std::sin(kPi / 3), 1e-9);
}

cv::Mat Blank(int w, int h, uint8_t fill = 0) {
    return cv::Mat(h, w, CV_8UC1, cv::Scalar(fill));
}

TEST(GapDistance, FirstTwoClearPixelsFromTheMidpoint) {
    struct Case {
        const char* name;
        int clearFrom;  // columns >= clearFrom are clear on row 5 (-1: none)
        int singleHole;
        int expected;
    };
    // The probe runs from (2, 5) to (12, 5); its midpoint is (7, 5).
    const Case cases[] = {
        {"all foreground", -1, -1, 0},
        {"start on background", 0, -1, 10},
        {"edge at the midpoint", 7, -1, 0},
        {"edge two short of it", 5, -1, 2},
        {"edge beyond it", 10, -1, 3},
        {"single hole is no gap", -1, 4, 0},
        {"gap only at the last pixel", 12, -1, 0},
    };
    for (const Case& c : cases) {
        cv::Mat image = Blank(20, 10, 1);
        if (c.clearFrom >= 0) {
            image(cv::Rect(c.clearFrom, 0, 20 - c.clearFrom, 10)).setTo(0);
        }
        if (c.singleHole >= 0) {
            image.at<uint8_t>(5, c.singleHole) = 0;
        }
        EXPECT_EQ(GapDistance(image, 2, 5, 12, 5), c.expected) << c.name;
    }
}

// A vertical finger bar of the given width from row `tipRow` down to the base row (inclusive).
cv::Mat VerticalFinger(int w, int h, int centreX, int width, int tipRow, int baseRow) {
    cv::Mat mask = Blank(w, h);
    mask(cv::Rect(centreX - width / 2, tipRow, width, baseRow - tipRow + 1)).setTo(1);
    return mask;
}

TEST(FingerProfile, ScoresAFingerOfTheRightWidthWhereverItIs) {
    // The same finger at two places of a 640 x 480 mask, one of them beyond 200 x 150: probes are
    // clamped to the mask, so both score alike, and the edges lie where the width says.
    const cv::Mat nearOrigin = VerticalFinger(640, 480, 100, 6, 60, 120);
    const cv::Mat farOut = VerticalFinger(640, 480, 500, 6, 360, 420);
    const double a = FingerProfile(nearOrigin, 100, 120, 6, 50, kPi / 2);
    const double b = FingerProfile(farOut, 500, 420, 6, 50, kPi / 2);
    EXPECT_DOUBLE_EQ(a, b);
    EXPECT_GT(a, 0.5);
    // A finger a third as wide has its edges off the probes' midpoints and scores lower.
    const cv::Mat thin = VerticalFinger(640, 480, 500, 2, 360, 420);
    EXPECT_LT(FingerProfile(thin, 500, 420, 6, 50, kPi / 2), a);
    // Probes near the mask's edges are clamped into it.
    EXPECT_TRUE(std::isfinite(FingerProfile(farOut, 639, 479, 6, 400, 0.3)));
    EXPECT_TRUE(std::isfinite(FingerProfile(farOut, -50, 900, 6, 50, -2.0)));
}

TEST(FingerProfile, StopsWhenBothFirstProbesMissTheFinger) {
    // The axis is background at 0.3 of the length (rows 105..) but foreground further out: the
    // first pair of probes both give 10 and the profile stops there.
    const int w = 6, g = 3;
    const double e = 1.0 / ((0.5 * g) * (0.5 * g));
    const double expected = std::exp(-10 * e) + 0.001;
    cv::Mat mask = VerticalFinger(200, 200, 100, w, 40, 100);  // base at row 150, finger above 100
    EXPECT_NEAR(FingerProfile(mask, 100, 150, w, 50, kPi / 2), expected, 1e-12);
    // Without the early stop the later probes on the finger would have raised the score.
    mask(cv::Rect(97, 100, 6, 51)).setTo(1);
    EXPECT_GT(FingerProfile(mask, 100, 150, w, 50, kPi / 2), 0.5);
}

TEST(FingerProfile, AnyWidthGivesAFiniteScore) {
    const cv::Mat full = Blank(100, 100, 1);
    const cv::Mat empty = Blank(100, 100, 0);
    for (double width : {0.0, 0.4, 0.99, 1.0, 3.0, 1e6}) {
        for (const cv::Mat* m : {&full, &empty}) {
            const double score = FingerProfile(*m, 50, 80, width, 40, kPi / 2);
            EXPECT_TRUE(std::isfinite(score)) << width;
            EXPECT_GE(score, 0.001) << width;
            EXPECT_LE(score, 1.001) << width;
        }
    }
    // On a full mask every probe finds no gap (0): the best score.
    EXPECT_DOUBLE_EQ(FingerProfile(full, 50, 80, 0.4, 40, kPi / 2), 1.001);
}

struct Masked {
    cv::Mat mask;
    Integral integral;
    explicit Masked(cv::Mat m) : mask(std::move(m)) { BuildIntegral(integral, mask); }
    MaskView View() const { return {mask, integral}; }
};

TEST(TipContrast, SignLimitsAndShortBoxes) {
    // An upright finger 4 wide (columns 50..53) whose tip row is 81 (length 20 from row 100);
    // upright boxes from (51, 100) are axis boxes: rows 101 - L .. 100, columns 50..53.
    const Masked finger(VerticalFinger(100, 160, 52, 4, 81, 100));
    struct Case {
        const char* name;
        double length;
        double expected;
    };
    const Case cases[] = {
        {"at the tip: last 8 rows full, none beyond", 20, 1.0},
        {"4 rows past the tip", 24, 0.5},
        {"inside the finger: both stretches full", 12, 0.0},
        {"shorter than 2w: the box of length 0 holds nothing", 6, 0.25},
        {"past the tip by 2w: both stretches empty", 28, 0.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(TipContrast(finger.View(), 51, 100, c.length, kPi / 2, 4), c.expected, 1e-6)
            << c.name;
    }
    // Beyond fuller than inside by more than half: out of range, 0.
    cv::Mat gap = Blank(100, 160);
    gap(cv::Rect(50, 73, 4, 12)).setTo(1);  // rows 73..84 only
    const Masked gapped(gap);
    EXPECT_EQ(TipContrast(gapped.View(), 51, 100, 16, kPi / 2, 4), 0.0);
    // Widths without area give 0, not a division by zero.
    for (double width : {0.0, -1.0}) {
        EXPECT_EQ(TipContrast(finger.View(), 51, 100, 20, kPi / 2, width), 0.0) << width;
    }
    EXPECT_TRUE(std::isfinite(TipContrast(finger.View(), 51, 100, 20, kPi / 2, 0.01)));
}

TEST(ProbeLength, CleanedRunAlongTheAxisAndItsFallbacks) {
    HandModel model, previous;
    previous.Clear();
    previous.parts[kIndex].length = 17;
    InitHandModel(model, 50, 150, 20, kPi / 2);  // r = 10: index reach 42, closing span 11
    HandPart& index = model.parts[kIndex];
    index.angle = kPi / 2;
    const int bx = index.baseX, by = index.baseY;
    struct Case {
        const char* name;
        int tipRow;            // finger from tipRow to the base row
        int gapFrom, gapRows;  // a clear stretch inside the finger
        double expected;
    };
    const Case cases[] = {
        {"finger 25 long", by - 24, 0, 0, 25},
        {"a 3-pixel crease is closed", by - 24, by - 12, 3, 25},
        {"filling the whole reach: previous length", 0, 0, 0, 17},
        {"base on background", by + 5, 0, 0, 0},
    };
    for (const Case& c : cases) {
        cv::Mat mask = Blank(100, 200);
        if (c.tipRow <= by) {
            mask(cv::Rect(bx - 2, c.tipRow, 5, by - c.tipRow + 1)).setTo(1);
        }
        if (c.gapRows > 0) {
            mask(cv::Rect(0, c.gapFrom, 100, c.gapRows)).setTo(0);
        }
        ProbeLength(kIndex, mask, model, previous);
        EXPECT_EQ(index.length, c.expected) << c.name;
    }
    // An empty image measures nothing: the previous length.
    ProbeLength(kIndex, cv::Mat(), model, previous);
    EXPECT_EQ(index.length, 17);
}

TEST(FitLength, ThumbProbesTheCompanionAndAFullRangeTakesThePreviousLength) {
    HandModel model, previous;
    previous.Clear();
    previous.parts[kThumb].length = 7;
    previous.parts[kMiddle].length = 11;
    InitHandModel(model, 100, 200, 20, kPi / 2);  // r = 10
    model.parts[kThumb].angle = kPi / 2;
    model.parts[kMiddle].angle = kPi / 2;
    const HandPart& thumb = model.parts[kThumb];
    const HandPart& middle = model.parts[kMiddle];
    // The hand mask has both fingers 18 long; the companion only the thumb, 12 long.
    cv::Mat hand = Blank(200, 300), companion = Blank(200, 300);
    hand(cv::Rect(thumb.baseX - 2, thumb.baseY - 17, 5, 18)).setTo(1);
    hand(cv::Rect(middle.baseX - 2, middle.baseY - 17, 5, 18)).setTo(1);
    companion(cv::Rect(thumb.baseX - 2, thumb.baseY - 11, 5, 12)).setTo(1);
    const Masked h(hand), c(companion);
    const FingerFitInputs in{h.View(), c.View(), previous};
    FitLength(kThumb, model, in);
    EXPECT_EQ(model.parts[kThumb].length, 12) << "always the probe, on the companion mask";
    // Middle: the companion has nothing there, so the search scores nothing and the probe on the
    // hand mask measures it.
    FitLength(kMiddle, model, in);
    EXPECT_EQ(model.parts[kMiddle].length, 18);
    // A finger whose tip lies at the longest candidate (4 r = 40) wins the search there, and the
    // previous length is taken instead.
    const Masked tall(
        VerticalFinger(200, 300, middle.baseX + 1, 4, middle.baseY - 39, middle.baseY));
    const FingerFitInputs full{tall.View(), tall.View(), previous};
    FitLength(kMiddle, model, full);
    EXPECT_EQ(model.parts[kMiddle].length, 11);
}

TEST(Sweeps, EmptyMasksFallBackToDefaultOrPreviousAngles) {
    const Masked empty(Blank(300, 300));
    HandModel cleared;
    cleared.Clear();
    HandModel previous;
    InitHandModel(previous, 150, 200, 20, kPi / 2);
    previous.parts[kRing].angle = 1.234;
    for (int mode : {5, 0}) {
        for (const HandModel* prev : {&cleared, &previous}) {
            HandModel model;
            InitHandModel(model, 150, 200, 20, kPi / 2 + 0.1);
            FitFingers(model, mode, {empty.View(), empty.View(), *prev});
            for (int f = kThumb; f <= kLittle; ++f) {
                const double expected = prev->radius > 0
                                            ? prev->parts[f].angle
                                            : kPi / 2 + 0.1 + FingerTable(f).angleOffset;
                EXPECT_DOUBLE_EQ(model.parts[f].angle, expected) << "mode " << mode << " " << f;
                // Nothing to measure: the probe starts on background.
                EXPECT_EQ(model.parts[f].length, 0) << f;
                EXPECT_DOUBLE_EQ(model.parts[f].width, FingerTable(f).fittedWidth * 10) << f;
            }
        }
    }
}

TEST(Sweeps, NeighbourLimitHoldsForHandsPointingLeft) {
    // The ring finger's downward sweep is bounded by the little finger fitted before it. For a
    // hand pointing left (palm angle about pi) the direction to the little finger lies across the
    // atan2 cut; it must bound the sweep in the same turn, not empty it.
    for (double theta : {kPi / 2, kPi - 0.05, kPi + 0.05, -kPi + 0.05}) {
        HandModel model, previous;
        previous.Clear();
        InitHandModel(model, 200, 200, 30, theta);  // r = 15
        HandPart& little = model.parts[kLittle];
        little.angle = theta + 0.6;
        little.length = 27;
        little.width = 4.5;
        const HandPart& ring = model.parts[kRing];
        const double drawn = theta + 0.05;  // off the default (pi / 12), inside the range
        cv::Mat mask = Blank(400, 400);
        const cv::Point2d from(ring.baseX, ring.baseY);
        cv::line(mask, from, from + 33.0 * cv::Point2d(std::cos(drawn), -std::sin(drawn)),
                 cv::Scalar(1), 5);
        const Masked m(mask);
        SweepDown(kRing, model, {m.View(), m.View(), previous});
        EXPECT_NEAR(std::remainder(ring.angle - drawn, 2 * kPi), 0, 0.1) << "theta " << theta;
        EXPECT_GT(ring.length, 25) << "theta " << theta;
    }
}

}  // namespace
}  // namespace olvar
