// Skin colour: the colour rules, the hue of the chroma plane, the Gaussian colour model, the head
// search in a body blob, face-colour learning with its process-wide limit, and the skin map.
#include <gtest/gtest.h>

#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "body/skin_colour.h"

namespace olvar {
namespace {

constexpr int kW = 200, kH = 150;

// (R, G, B) as the tests write colours; images store blue, green, red.
cv::Scalar Rgb(int r, int g, int b) {
    return cv::Scalar(b, g, r);
}

const cv::Scalar kGrey = Rgb(128, 128, 128);  // passes no colour rule
const cv::Scalar kSkin = Rgb(200, 120, 90);   // passes the main rule and the hue window

// One working frame: colour, its YCrCb conversion and a foreground mask.
struct Frame {
    cv::Mat colour = cv::Mat(kH, kW, CV_8UC3, kGrey);
    cv::Mat foreground = cv::Mat(kH, kW, CV_8UC1, cv::Scalar(1));
    cv::Mat ycrcb;

    void Paint(const cv::Rect& box, const cv::Scalar& colour_) {
        cv::rectangle(colour, box, colour_, cv::FILLED);
    }
    void Dot(int x, int y, const cv::Scalar& c) {
        colour.at<cv::Vec3b>(y, x) = cv::Vec3b(c[0], c[1], c[2]);
    }
    const cv::Mat& YCrCb() {
        cv::cvtColor(colour, ycrcb, cv::COLOR_BGR2YCrCb);
        return ycrcb;
    }
};

void SampleOf(const cv::Scalar& colour, float sample[3]) {
    cv::Mat pixel(1, 1, CV_8UC3, colour), ycc;
    cv::cvtColor(pixel, ycc, cv::COLOR_BGR2YCrCb);
    const cv::Vec3b v = ycc.at<cv::Vec3b>(0, 0);
    sample[0] = v[1];
    sample[1] = v[2];
    sample[2] = v[0];
}

TEST(SkinRules, ColourRulesOnChosenPixels) {
    struct Case {
        int r, g, b;
        bool admissible, bright, main, opponent;
    };
    const Case cases[] = {
        {200, 120, 90, true, false, true, true},      // typical skin: angle 343, magnitude 42
        {230, 220, 200, true, true, false, false},    // bright skin, too grey for the angle rule
        {221, 211, 171, true, true, false, false},    // the bright rule's lower corner
        {221, 211, 211, true, false, false, false},   // blue not below green
        {236, 220, 200, true, false, true, false},    // red and green 16 apart: main, not bright
        {96, 80, 21, true, false, true, false},       // the main rule's lower corner
        {95, 79, 21, true, false, false, false},      // red below 96
        {120, 105, 100, true, false, false, false},   // red and green only 15 apart
        {252, 100, 100, false, false, true, true},    // red above 251
        {100, 100, 250, false, false, false, false},  // blue above 249
        {30, 20, 19, false, false, false, false},     // sum 69
        {30, 20, 20, true, false, false, false},      // sum 70
        {230, 150, 30, true, false, true, true},      // angle 14
        {180, 100, 140, true, false, true, true},     // angle 323, magnitude 50
        {228, 100, 164, true, false, true, false},    // angle 323, magnitude 80 (over 75)
        {140, 100, 60, true, false, true, false},     // angle 0
        {128, 128, 128, true, false, false, false},   // grey
        // The angle is taken in [0, 360) and then truncated: -0.99 degrees reads 359 (not 0),
        // -28.5 reads 331 (magnitude 80, over that window's 75) and -51.3 reads 308.
        {236, 120, 6, true, false, false, true},
        {200, 60, 70, true, false, true, false},
        {130, 50, 170, true, false, false, false},
        // b = -17 >> 2 rounds down to -5, giving magnitude 13 (exactly enough) at angle 337.
        {124, 100, 93, true, false, true, true},
        // A pale face in flat light passes the main rule but not the angle rule: magnitude 8,
        // far below 13.
        {146, 130, 121, true, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.r << "," << c.g << "," << c.b);
        EXPECT_EQ(IsAdmissibleColour(c.r, c.g, c.b), c.admissible);
        EXPECT_EQ(IsBrightSkin(c.r, c.g, c.b), c.bright);
        EXPECT_EQ(IsMainSkin(c.r, c.g, c.b), c.main);
        EXPECT_EQ(PassesOpponentAngle(c.r, c.g, c.b), c.opponent);
    }
}

TEST(SkinRules, HueAndSaturationOfTheChromaPlane) {
    struct Case {
        int r, g, b;
        int hue, saturation;
    };
    const Case cases[] = {
        {128, 128, 128, 50, 0}, {1, 1, 1, 50, 0},    {255, 255, 255, 50, 0},
        {200, 120, 90, 51, 17}, {255, 0, 0, 55, 79}, {0, 0, 255, 87, 56},
    };
    for (const Case& c : cases) {
        const HueSaturation hs = ChromaHueSaturation(c.b, c.g, c.r);
        EXPECT_EQ(hs.hue, c.hue) << c.r << "," << c.g << "," << c.b;
        EXPECT_EQ(hs.saturation, c.saturation) << c.r << "," << c.g << "," << c.b;
    }
    // Black has no saturation: whatever is reported lies outside every window (3 and up).
    EXPECT_LT(ChromaHueSaturation(0, 0, 0).saturation, 3);
}

TEST(SkinModel, EmptyModelAnswersOneHundred) {
    SkinColourModel model;
    ClearModel(model);
    FinishModel(model);  // nothing to finish
    EXPECT_FALSE(model.valid);
    const float sample[3] = {150, 110, 120};
    EXPECT_EQ(ColourDistance(model, sample), 100.0f);
}

TEST(SkinModel, OneSampleGivesTheRidgeCovariance) {
    SkinColourModel model;
    ClearModel(model);
    const float s[3] = {150, 110, 120};
    AddColourSample(model, s);
    FinishModel(model);
    ASSERT_TRUE(model.valid);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(model.mean[i], s[i]);
        for (int j = 0; j < 3; ++j) {
            EXPECT_FLOAT_EQ(model.covariance[i][j], i == j ? 0.0001f : 0.0f);
            EXPECT_NEAR(model.inverse[i][j], i == j ? 10000.0f : 0.0f, 0.01f);
        }
    }
    EXPECT_NEAR(model.determinant, 1e-12f, 1e-17f);
    EXPECT_NEAR(model.rootDeterminant, 1e-6f, 1e-10f);
    EXPECT_EQ(ColourDistance(model, s), 0.0f);
    struct Case {
        float d[3];
    };
    for (const Case& c : {Case{{1, 0, 0}}, Case{{0, -2, 0}}, Case{{1, 1, 1}}, Case{{0.5f, 0, 0}}}) {
        const float sample[3] = {s[0] + c.d[0], s[1] + c.d[1], s[2] + c.d[2]};
        const float squared = c.d[0] * c.d[0] + c.d[1] * c.d[1] + c.d[2] * c.d[2];
        EXPECT_NEAR(ColourDistance(model, sample), 10000 * squared, squared);
    }
}

TEST(SkinModel, CovarianceAndDistanceOfSpreadSamples) {
    // Cr takes 10 and 12 (variance 1), Cb 20 and 24 (variance 4) together with it, Y is fixed.
    SkinColourModel model;
    ClearModel(model);
    const float a[3] = {10, 20, 30}, b[3] = {12, 24, 30};
    AddColourSample(model, a);
    AddColourSample(model, b);
    FinishModel(model);
    EXPECT_FLOAT_EQ(model.mean[0], 11);
    EXPECT_FLOAT_EQ(model.mean[1], 22);
    EXPECT_FLOAT_EQ(model.covariance[0][0], 1.0001f);
    EXPECT_FLOAT_EQ(model.covariance[1][1], 4.0001f);
    EXPECT_FLOAT_EQ(model.covariance[0][1], 2.0f);
    EXPECT_FLOAT_EQ(model.covariance[1][0], 2.0f);
    // Along the samples' line a step of one standard deviation costs about 1 (the ridge adds a
    // little); across it, the thin ridge makes any step expensive.
    const float along[3] = {12, 24, 30};
    EXPECT_NEAR(ColourDistance(model, along), 1.0f, 0.01f);
    const float across[3] = {12, 20, 30};
    EXPECT_GT(ColourDistance(model, across), 1000.0f);
}

TEST(SkinModel, MergeCases) {
    const float s1[3] = {150, 110, 120}, s2[3] = {152, 110, 120};
    SkinColourModel one;
    ClearModel(one);
    AddColourSample(one, s1);
    FinishModel(one);
    SkinColourModel unfinished;
    ClearModel(unfinished);
    AddColourSample(unfinished, s2);
    SkinColourModel empty;
    ClearModel(empty);

    // A target with samples pools them and is finished again.
    SkinColourModel target = one;
    SkinColourModel other = one;
    ClearModel(other);
    AddColourSample(other, s2);
    FinishModel(other);
    MergeModel(other, target);
    EXPECT_EQ(target.sampleCount, 2);
    EXPECT_FLOAT_EQ(target.mean[0], 151);
    EXPECT_FLOAT_EQ(target.covariance[0][0], 1.0001f);
    EXPECT_TRUE(target.valid);

    // An empty target copies a finished source.
    SkinColourModel copy;
    ClearModel(copy);
    MergeModel(one, copy);
    EXPECT_TRUE(copy.valid);
    EXPECT_EQ(copy.sampleCount, 1);
    EXPECT_EQ(ColourDistance(copy, s1), 0.0f);

    // An empty target ignores an unfinished source; both empty stays empty.
    SkinColourModel untouched;
    ClearModel(untouched);
    MergeModel(unfinished, untouched);
    EXPECT_EQ(untouched.sampleCount, 0);
    EXPECT_FALSE(untouched.valid);
    MergeModel(empty, untouched);
    EXPECT_EQ(untouched.sampleCount, 0);
    EXPECT_EQ(ColourDistance(untouched, s1), 100.0f);
}

// Head search in the blob (50, 20, 100 x 120): the first pass reads rows 20..49 (the top
// quarter), the second rows 20..59 (the top third).
class HeadSkin : public ::testing::Test {
  protected:
    const cv::Rect blob{50, 20, 100, 120};

    // `dots` isolated skin pixels in row 25 (first pass), plus a skin block in rows 50..59
    // (second pass only).
    void Paint(int dots, const cv::Rect& block) {
        for (int k = 0; k < dots; ++k) {
            f.Dot(60 + 3 * k, 25, kSkin);
        }
        f.Paint(block, kSkin);
    }
    bool Find(cv::Rect* head) {
        return FindHeadSkin(f.colour, f.YCrCb(), f.foreground, blob, scratch, head);
    }

    Frame f;
    cv::Mat scratch;
};

TEST_F(HeadSkin, NeedsMoreThanTenRuleSkinPixelsInTheTopQuarter) {
    const cv::Rect block(80, 50, 20, 10);
    for (int dots : {10, 11}) {
        f = Frame();
        Paint(dots, block);
        cv::Rect head(-1, -1, -1, -1);
        EXPECT_EQ(Find(&head), dots == 11) << dots;
        if (dots == 11) {
            EXPECT_EQ(head, block);
            // The scratch mask holds the accepted pixels of both passes.
            EXPECT_EQ(cv::countNonZero(scratch), 11 + 200);
        }
    }
}

TEST_F(HeadSkin, BlobsBelowTheMinimumAreaOrOutsideTheForegroundAreNotHeads) {
    // 25 is the minimum contour area at 200 x 150; a 6 x 5 block encloses 5 x 4 = 20.
    Paint(11, cv::Rect(80, 50, 6, 5));
    cv::Rect head;
    EXPECT_FALSE(Find(&head));

    f = Frame();
    Paint(11, cv::Rect(80, 50, 20, 10));
    f.foreground(cv::Rect(80, 50, 20, 10)).setTo(0);
    EXPECT_FALSE(Find(&head));
}

TEST_F(HeadSkin, LargestContourWinsAndTheLaterOneWinsATie) {
    Paint(11, cv::Rect(60, 50, 10, 6));
    f.Paint(cv::Rect(120, 50, 20, 8), kSkin);
    cv::Rect head;
    ASSERT_TRUE(Find(&head));
    EXPECT_EQ(head, cv::Rect(120, 50, 20, 8));

    // Two equal blocks: the one the contour scan lists later wins.
    f = Frame();
    Paint(11, cv::Rect(60, 50, 12, 8));
    f.Paint(cv::Rect(120, 50, 12, 8), kSkin);
    std::vector<std::vector<cv::Point>> contours;
    ASSERT_TRUE(Find(&head));
    cv::findContours(scratch, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    cv::Rect last;
    for (const auto& c : contours) {
        if (cv::contourArea(c) >= 25) {
            last = cv::boundingRect(c);
        }
    }
    EXPECT_EQ(head, last);
}

TEST_F(HeadSkin, ContoursAreTracedInsideTheFrameBorder) {
    // The outermost rows and columns count as background: a head cut by the frame edge is boxed
    // from row or column 1, and a strip along the edge loses those pixels from its area.
    struct Case {
        const char* what;
        cv::Rect blob;
        std::vector<cv::Rect> blocks;
        cv::Rect head;
    };
    const Case cases[] = {
        {"cut by the top and left edges", {0, 0, 100, 120}, {{0, 0, 20, 10}}, {1, 1, 19, 9}},
        {"cut by the right edge", {100, 20, 100, 120}, {{185, 30, 15, 10}}, {185, 30, 14, 10}},
        // The strip (columns 0..3) encloses 3 x 29 = 87 with its edge column, 2 x 29 = 58
        // without; the block encloses 8 x 8 = 64.
        {"edge strip against an inner block",
         {0, 20, 100, 120},
         {{0, 20, 4, 30}, {40, 25, 9, 9}},
         {40, 25, 9, 9}},
    };
    for (const Case& c : cases) {
        f = Frame();
        for (const cv::Rect& block : c.blocks) {
            f.Paint(block, kSkin);
        }
        cv::Rect head;
        ASSERT_TRUE(FindHeadSkin(f.colour, f.YCrCb(), f.foreground, c.blob, scratch, &head))
            << c.what;
        EXPECT_EQ(head, c.head) << c.what;
    }
}

TEST_F(HeadSkin, BlobsReachingOutsideTheFrameAndMismatchedImagesAreSafe) {
    Paint(11, cv::Rect(80, 50, 20, 10));
    cv::Rect head;
    // A blob box far outside on every side reads only the frame.
    EXPECT_TRUE(FindHeadSkin(f.colour, f.YCrCb(), f.foreground, cv::Rect(-500, -10, 2000, 280),
                             scratch, &head));
    EXPECT_FALSE(
        FindHeadSkin(f.colour, f.YCrCb(), f.foreground, cv::Rect(50, 20, -5, 120), scratch, &head));
    const cv::Mat small(10, 10, CV_8UC1, cv::Scalar(1));
    EXPECT_FALSE(FindHeadSkin(f.colour, f.YCrCb(), small, blob, scratch, &head));
    EXPECT_FALSE(FindHeadSkin(f.colour, f.YCrCb(), f.foreground, blob, scratch, nullptr));
}

// Face learning around (100, 50) with radius 10 on an all-skin foreground frame: the face square
// is columns 92..107 and rows 42..58, the neck strip below it columns 95..105 down to row 71.
class LearnFace : public ::testing::Test {
  protected:
    LearnFace() {
        f.colour.setTo(kSkin);
        f.YCrCb();
        ClearModel(model);
    }
    void Learn(bool restart) {
        LearnFaceColour(restart, 100, 50, 10, f.colour, f.ycrcb, f.foreground, skin, model);
    }

    Frame f;
    cv::Mat skin = cv::Mat::zeros(kH, kW, CV_8UC1);
    SkinColourModel model;
};

TEST_F(LearnFace, TeachesTheFaceSquareAndTheNeckStrip) {
    Learn(true);
    EXPECT_EQ(model.sampleCount, 17 * 16 + 13 * 11);
    EXPECT_EQ(cv::countNonZero(skin), 17 * 16 + 13 * 11);
    struct Case {
        int x, y;
        bool set;
    };
    for (const Case& c :
         {Case{92, 42, true}, Case{91, 50, false}, Case{107, 58, true}, Case{108, 50, false},
          Case{100, 41, false}, Case{94, 60, false}, Case{95, 60, true}, Case{105, 71, true},
          Case{105, 72, false}, Case{106, 59, false}}) {
        EXPECT_EQ(skin.at<uint8_t>(c.y, c.x) != 0, c.set) << c.x << "," << c.y;
    }
}

TEST_F(LearnFace, PixelsAlreadyInTheSkinMapTeachWhateverTheirColour) {
    f.Paint(cv::Rect(92, 42, 16, 17), kGrey);  // the whole face square is grey
    f.YCrCb();
    skin.at<uint8_t>(45, 100) = 1;          // one grey pixel is known skin
    f.foreground.at<uint8_t>(71, 100) = 0;  // one neck pixel is background
    Learn(true);
    EXPECT_EQ(model.sampleCount, 1 + 13 * 11 - 1);
    float grey[3];
    SampleOf(kGrey, grey);
    EXPECT_LT(ColourDistance(model, grey), 1e6f);  // the grey sample is part of the model
    EXPECT_EQ(skin.at<uint8_t>(71, 100), 0);
}

TEST_F(LearnFace, StopsAfterTwoHundredAndOneCallsUntilRestarted) {
    Learn(true);
    const int perCall = model.sampleCount;
    for (int call = 2; call <= 201; ++call) {
        Learn(false);
        ASSERT_EQ(model.sampleCount, call * perCall) << call;
    }
    Learn(false);
    Learn(false);
    EXPECT_EQ(model.sampleCount, 201 * perCall);
    // The counter is shared: another user's model does not learn either.
    SkinColourModel other;
    ClearModel(other);
    LearnFaceColour(false, 100, 50, 10, f.colour, f.ycrcb, f.foreground, skin, other);
    EXPECT_EQ(other.sampleCount, 0);
    Learn(true);
    EXPECT_EQ(model.sampleCount, perCall);
}

TEST_F(LearnFace, RegionsAtTheFrameEdgeAndBadImagesAreSafe) {
    LearnFaceColour(true, -1e9f, 1e9f, 1e9f, f.colour, f.ycrcb, f.foreground, skin, model);
    LearnFaceColour(true, 199, 149, 30, f.colour, f.ycrcb, f.foreground, skin, model);
    // The last column and row are never visited (their bounds exclude W - 1 and H - 1).
    EXPECT_EQ(model.sampleCount, (199 - 175) * (149 - 125));
    cv::Mat empty;
    SkinColourModel untouched = model;
    LearnFaceColour(true, 100, 50, 10, f.colour, empty, f.foreground, skin, untouched);
    EXPECT_EQ(untouched.sampleCount, model.sampleCount);
}

class SkinMap : public ::testing::Test {
  protected:
    SkinMap() {
        ClearModel(tracked);
        ClearModel(detected);
        float s[3];
        SampleOf(kSkin, s);
        AddColourSample(detected, s);
        FinishModel(detected);
    }
    cv::Mat Build() {
        cv::Mat map;
        BuildSkinMap(f.colour, f.YCrCb(), f.foreground, tracked, detected, map);
        return map;
    }

    Frame f;
    SkinColourModel tracked, detected;
};

TEST_F(SkinMap, KeepsConnectedSkinAndRemovesIsolatedPixels) {
    f.Dot(20, 20, kSkin);  // isolated
    f.Dot(40, 20, kSkin);  // a diagonal pair: both isolated
    f.Dot(41, 21, kSkin);
    f.Paint(cv::Rect(60, 20, 2, 2), kSkin);  // 2 x 2 block
    f.Paint(cv::Rect(80, 20, 1, 6), kSkin);  // one-pixel line
    f.Dot(0, 0, kSkin);                      // the border rows are not cleaned
    const cv::Mat map = Build();
    EXPECT_EQ(map.at<uint8_t>(20, 20), 0);
    EXPECT_EQ(map.at<uint8_t>(20, 40), 0);
    EXPECT_EQ(map.at<uint8_t>(21, 41), 0);
    EXPECT_EQ(cv::countNonZero(map(cv::Rect(60, 20, 2, 2))), 4);
    EXPECT_EQ(cv::countNonZero(map(cv::Rect(80, 20, 1, 6))), 6);
    EXPECT_EQ(map.at<uint8_t>(0, 0), 1);
    EXPECT_EQ(cv::countNonZero(map), 4 + 6 + 1);
}

TEST_F(SkinMap, EitherModelAcceptsOnlyForegroundInTheHueWindow) {
    f.Paint(cv::Rect(60, 20, 10, 10), kSkin);
    f.foreground(cv::Rect(60, 20, 5, 10)).setTo(0);
    EXPECT_EQ(cv::countNonZero(Build()), 50);
    std::swap(tracked, detected);  // now only the tracked model knows the colour
    EXPECT_EQ(cv::countNonZero(Build()), 50);

    // Grey pixels matched by a model still fail the hue window (saturation 0).
    ClearModel(tracked);
    float grey[3];
    SampleOf(kGrey, grey);
    AddColourSample(tracked, grey);
    FinishModel(tracked);
    EXPECT_EQ(cv::countNonZero(Build()), 0);

    // Two empty models accept nothing.
    ClearModel(tracked);
    ClearModel(detected);
    EXPECT_EQ(cv::countNonZero(Build()), 0);
}

}  // namespace
}  // namespace olvar
