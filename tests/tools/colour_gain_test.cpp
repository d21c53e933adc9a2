// The host-side colour gain: the per-pixel arithmetic (grey stays grey, luma kept, chroma scaled,
// saturation instead of wrapping), every frame layout giving the same pixels, bad input, the gain
// staying fixed once chosen, the automatic choice on rendered rooms and on pale versions of them,
// and the tracker following a pale rendered person only with the gain.
#include <gtest/gtest.h>

#include <olvar/colour_gain.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "library/olvar_object.h"
#include "synth/scene.h"

namespace olvar {
namespace {

double Luma(double b, double g, double r) {
    return 0.114 * b + 0.587 * g + 0.299 * r;
}

// The gain in doubles: c' = Y + gain * (c - Y), rounded and saturated.
unsigned char Reference(int c, double y, double gain) {
    return cv::saturate_cast<unsigned char>(std::lround(y + gain * (c - y)));
}

OlvarColourGain FixedGain(float gain, int width, int height, int format = kOlvarBgr24,
                          int stride = 0, bool bottomUp = false) {
    OlvarColourGain helper;
    const int bytes = format == kOlvarBgr24 ? 3 : 4;
    EXPECT_EQ(
        helper.SetFrameFormat(stride > 0 ? stride : bytes * width, height, width, format, bottomUp),
        kOlvarOk);
    EXPECT_EQ(helper.SetGain(gain), kOlvarOk);
    return helper;
}

int Bytes(const cv::Mat& image) {
    return static_cast<int>(image.step[0] * static_cast<size_t>(image.rows));
}

// Every colour of a coarse cube, one per pixel of a 3-byte image.
cv::Mat ColourCube() {
    std::vector<cv::Vec3b> colours;
    for (int b = 0; b <= 255; b += 15) {
        for (int g = 0; g <= 255; g += 15) {
            for (int r = 0; r <= 255; r += 15) {
                colours.emplace_back(b, g, r);
            }
        }
    }
    return cv::Mat(colours, true).reshape(3, 1);
}

TEST(ColourGainPixels, ScalesChromaAboutLumaAndSaturates) {
    const cv::Mat cube = ColourCube();
    for (const float gain : {0.0f, 0.5f, 1.0f, 1.3f, 1.75f, 2.0f}) {
        SCOPED_TRACE(gain);
        OlvarColourGain helper = FixedGain(gain, cube.cols, 1);
        cv::Mat out = cube.clone();
        ASSERT_EQ(helper.ApplyInPlace(out.data, Bytes(out)), kOlvarOk);
        int unsaturated = 0;
        for (int i = 0; i < cube.cols; ++i) {
            const cv::Vec3b in = cube.at<cv::Vec3b>(0, i);
            const cv::Vec3b got = out.at<cv::Vec3b>(0, i);
            const double y = Luma(in[0], in[1], in[2]);
            bool clipped = false;
            for (int c = 0; c < 3; ++c) {
                // Rounding of the luma and of the product: one grey level at most.
                EXPECT_LE(std::abs(got[c] - Reference(in[c], y, helper.Gain())), 1)
                    << "pixel " << in << " channel " << c;
                const double ideal = y + helper.Gain() * (in[c] - y);
                clipped = clipped || ideal < 0 || ideal > 255;
            }
            if (in[0] == in[1] && in[1] == in[2]) {
                EXPECT_EQ(got, in) << "grey pixel";
            }
            if (!clipped) {
                ++unsaturated;
                EXPECT_NEAR(Luma(got[0], got[1], got[2]), y, 1.0) << "pixel " << in;
                // The opponent differences the skin rules read scale with the gain.
                EXPECT_NEAR(got[2] - got[1], helper.Gain() * (in[2] - in[1]), 2.0);
                EXPECT_NEAR(2 * got[1] - got[0] - got[2],
                            helper.Gain() * (2 * in[1] - in[0] - in[2]), 3.0);
            }
        }
        EXPECT_GT(unsaturated, cube.cols / 5);
    }
    // Saturation, not wrapping: pure red at gain 2 wants red 434 and blue -76.
    cv::Mat red(1, 1, CV_8UC3, cv::Scalar(0, 0, 255));
    FixedGain(2.0f, 1, 1).ApplyInPlace(red.data, 3);
    EXPECT_EQ(red.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 255));
}

TEST(ColourGainPixels, EveryLayoutGivesTheSamePixels) {
    cv::Mat base(7, 5, CV_8UC3);
    cv::randu(base, 0, 256);
    cv::Mat expected = base.clone();
    FixedGain(1.6f, base.cols, base.rows).ApplyInPlace(expected.data, Bytes(expected));

    struct Layout {
        const char* name;
        int format;
        int padding;  // bytes after each row
        bool bottomUp;
        bool inPlace;
    };
    const Layout layouts[] = {
        {"3 bytes, packed, into a buffer", kOlvarBgr24, 0, false, false},
        {"3 bytes, padded rows", kOlvarBgr24, 7, false, true},
        {"3 bytes, bottom-up, padded, into a buffer", kOlvarBgr24, 3, true, false},
        {"4 bytes", kOlvarBgrx32, 0, false, true},
        {"4 bytes, padded, bottom-up, into a buffer", kOlvarBgrx32, 12, true, false},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        const int bytes = l.format == kOlvarBgr24 ? 3 : 4;
        const int stride = bytes * base.cols + l.padding;
        // Pad bytes and the fourth byte carry a pattern that must come through unchanged.
        std::vector<unsigned char> frame(static_cast<size_t>(stride) * base.rows);
        for (size_t i = 0; i < frame.size(); ++i) {
            frame[i] = static_cast<unsigned char>(i * 37 + 11);
        }
        const std::vector<unsigned char> pattern = frame;
        auto rowOf = [&](int y) { return l.bottomUp ? base.rows - 1 - y : y; };
        for (int y = 0; y < base.rows; ++y) {
            for (int x = 0; x < base.cols; ++x) {
                std::copy_n(base.ptr<unsigned char>(y) + 3 * x, 3,
                            &frame[static_cast<size_t>(rowOf(y)) * stride + bytes * x]);
            }
        }
        const OlvarColourGain helper =
            FixedGain(1.6f, base.cols, base.rows, l.format, stride, l.bottomUp);
        std::vector<unsigned char> out(frame.size(), 0);
        const int size = static_cast<int>(frame.size());
        if (l.inPlace) {
            out = frame;
            ASSERT_EQ(helper.ApplyInPlace(out.data(), size), kOlvarOk);
        } else {
            ASSERT_EQ(helper.Apply(frame.data(), size, out.data()), kOlvarOk);
        }
        for (int y = 0; y < base.rows; ++y) {
            const size_t row = static_cast<size_t>(rowOf(y)) * stride;
            for (int x = 0; x < base.cols; ++x) {
                for (int c = 0; c < 3; ++c) {
                    EXPECT_EQ(out[row + bytes * x + c], expected.at<cv::Vec3b>(y, x)[c]);
                }
                if (bytes == 4) {
                    EXPECT_EQ(out[row + 4 * x + 3], pattern[row + 4 * x + 3]);
                }
            }
            for (size_t i = row + bytes * base.cols; i < row + stride; ++i) {
                EXPECT_EQ(out[i], pattern[i]) << "padding byte " << i;
            }
        }
    }
}

// The integer arithmetic written out per pixel, as plainly as possible: luma with the weights
// 29, 150, 77 (/256, rounded), then Y + floor((q (c - Y) + 32) / 64) for the gain q/64, saturated.
void ReferenceGainPixel(const unsigned char* in, unsigned char* out, int gainQ6) {
    const int y = (29 * in[0] + 150 * in[1] + 77 * in[2] + 128) / 256;
    for (int c = 0; c < 3; ++c) {
        const int t = gainQ6 * (in[c] - y) + 32;
        const int scaled = t >= 0 ? t / 64 : -((-t + 63) / 64);
        out[c] = static_cast<unsigned char>(std::clamp(y + scaled, 0, 255));
    }
}

// Apply works on whole blocks of pixels at a time where the CPU allows and pixel by pixel at the
// end of each row: random pixels in every layout, widths around the block sizes (16 and 32
// pixels) and every gain step must give exactly the plain per-pixel arithmetic, with the padding
// and the fourth bytes as they came.
TEST(ColourGainPixels, BlocksAndRowEndsGiveThePlainPerPixelArithmetic) {
    struct Layout {
        int format;
        int width;
        int padding;  // bytes after each row
        bool bottomUp;
        bool inPlace;
    };
    const Layout layouts[] = {
        {kOlvarBgr24, 1, 0, false, false},   {kOlvarBgr24, 31, 0, false, true},
        {kOlvarBgr24, 32, 0, false, false},  {kOlvarBgr24, 33, 5, true, true},
        {kOlvarBgr24, 97, 3, false, false},  {kOlvarBgr24, 160, 0, true, true},
        {kOlvarBgr24, 223, 13, true, false}, {kOlvarBgrx32, 1, 0, false, true},
        {kOlvarBgrx32, 15, 0, false, false}, {kOlvarBgrx32, 16, 4, true, true},
        {kOlvarBgrx32, 17, 0, false, true},  {kOlvarBgrx32, 63, 12, true, false},
        {kOlvarBgrx32, 211, 3, false, true},
    };
    constexpr int kRows = 5;
    std::mt19937 random(17);
    std::uniform_int_distribution<int> byte(0, 255);
    for (const Layout& l : layouts) {
        const int bytes = l.format == kOlvarBgr24 ? 3 : 4;
        const int stride = bytes * l.width + l.padding;
        std::vector<unsigned char> frame(static_cast<size_t>(stride) * kRows);
        const int size = static_cast<int>(frame.size());
        for (int q = 0; q <= 128; ++q) {
            SCOPED_TRACE(testing::Message()
                         << bytes << " bytes, width " << l.width << ", padding " << l.padding
                         << (l.bottomUp ? ", bottom-up" : "") << (l.inPlace ? ", in place" : "")
                         << ", gain " << q << "/64");
            for (unsigned char& value : frame) {
                value = static_cast<unsigned char>(byte(random));
            }
            std::vector<unsigned char> expected = frame;
            for (int y = 0; y < kRows; ++y) {
                for (int x = 0; x < l.width; ++x) {
                    const size_t at = static_cast<size_t>(y) * stride + bytes * x;
                    ReferenceGainPixel(&frame[at], &expected[at], q);
                }
            }
            OlvarColourGain helper;
            ASSERT_EQ(helper.SetFrameFormat(stride, kRows, l.width, l.format, l.bottomUp),
                      kOlvarOk);
            ASSERT_EQ(helper.SetGain(q / 64.0f), kOlvarOk);
            ASSERT_EQ(helper.Gain(), q / 64.0f);
            std::vector<unsigned char> out(frame.size(), 0);
            if (l.inPlace) {
                out = frame;
                ASSERT_EQ(helper.ApplyInPlace(out.data(), size), kOlvarOk);
            } else {
                ASSERT_EQ(helper.Apply(frame.data(), size, out.data()), kOlvarOk);
            }
            const auto [got, want] = std::mismatch(out.begin(), out.end(), expected.begin());
            ASSERT_TRUE(got == out.end())
                << "byte " << (got - out.begin()) << " is " << int{*got} << ", not " << int{*want};
        }
    }
}

TEST(ColourGainInput, BadInputGetsAStatusAndChangesNothing) {
    OlvarColourGain helper;
    ASSERT_EQ(helper.SetFrameFormat(30, 4, 10, kOlvarBgr24, false), kOlvarOk);
    struct Format {
        int stride, height, width, format, expected;
    };
    const Format formats[] = {
        {30, 4, 10, 3, kOlvarBadFormat},          {30, 4, 10, 0, kOlvarBadFormat},
        {29, 4, 10, kOlvarBgr24, kOlvarInvalid},  {39, 4, 10, kOlvarBgrx32, kOlvarInvalid},
        {30, 0, 10, kOlvarBgr24, kOlvarInvalid},  {0, 4, 0, kOlvarBgr24, kOlvarInvalid},
        {-30, 4, 10, kOlvarBgr24, kOlvarInvalid}, {30, 9000, 10, kOlvarBgr24, kOlvarInvalid},
    };
    for (const Format& f : formats) {
        EXPECT_EQ(helper.SetFrameFormat(f.stride, f.height, f.width, f.format, false), f.expected)
            << f.stride << " " << f.height << " " << f.width << " " << f.format;
    }
    for (const float gain : {-0.01f, 2.01f, NAN, INFINITY}) {
        EXPECT_EQ(helper.SetGain(gain), kOlvarInvalid) << gain;
    }
    EXPECT_FALSE(helper.Chosen());
    ASSERT_EQ(helper.SetGain(1.5f), kOlvarOk);

    // The declared layout is still 10 x 4 in 3 bytes: 120 bytes.
    std::vector<unsigned char> frame(120, 100), out(120, 7);
    frame[2] = 200;
    EXPECT_EQ(helper.Observe(nullptr, 120), kOlvarInvalid);
    EXPECT_EQ(helper.Observe(frame.data(), 119), kOlvarInvalid);
    EXPECT_EQ(helper.Apply(nullptr, 120, out.data()), kOlvarInvalid);
    EXPECT_EQ(helper.Apply(frame.data(), 120, nullptr), kOlvarInvalid);
    EXPECT_EQ(helper.Apply(frame.data(), 121, out.data()), kOlvarInvalid);
    EXPECT_EQ(helper.ApplyInPlace(frame.data(), 0), kOlvarInvalid);
    EXPECT_EQ(out, std::vector<unsigned char>(120, 7));
    EXPECT_EQ(helper.Apply(frame.data(), 120, out.data()), kOlvarOk);
    EXPECT_GT(out[2], 200);

    // Before any layout is declared nothing fits.
    OlvarColourGain fresh;
    EXPECT_EQ(fresh.Observe(frame.data(), 120), kOlvarInvalid);
    EXPECT_EQ(fresh.ApplyInPlace(frame.data(), 120), kOlvarInvalid);
}

// Chroma scaled about luma by `factor` with the same arithmetic: the paler (or livelier) camera.
cv::Mat ScaleChroma(const cv::Mat& image, float factor) {
    cv::Mat out = image.clone();
    FixedGain(factor, out.cols, out.rows).ApplyInPlace(out.data, Bytes(out));
    return out;
}

float AutomaticGain(const std::vector<cv::Mat>& frames) {
    OlvarColourGain helper;
    EXPECT_EQ(helper.SetFrameFormat(static_cast<int>(frames[0].step[0]), frames[0].rows,
                                    frames[0].cols, kOlvarBgr24, false),
              kOlvarOk);
    for (const cv::Mat& frame : frames) {
        EXPECT_EQ(helper.Observe(frame.data, Bytes(frame)), kOlvarOk);
    }
    return helper.Choose();
}

TEST(ColourGainChoice, ChosenOnceAndThenFixed) {
    const cv::Mat pale = ScaleChroma(synth::RenderEmptyRoom(64, 48, 1), 0.4f);
    const cv::Mat vivid = ScaleChroma(synth::RenderEmptyRoom(64, 48, 2), 1.5f);
    OlvarColourGain helper;
    ASSERT_EQ(helper.SetFrameFormat(64 * 3, 48, 64, kOlvarBgr24, false), kOlvarOk);
    EXPECT_EQ(helper.Gain(), 1.0f);
    for (int i = 0; i < OlvarColourGain::kObservedFrames; ++i) {
        EXPECT_FALSE(helper.Chosen()) << "frame " << i;
        EXPECT_EQ(helper.Gain(), 1.0f);
        ASSERT_EQ(helper.Observe(pale.data, Bytes(pale)), kOlvarOk);
    }
    ASSERT_TRUE(helper.Chosen());
    const float gain = helper.Gain();
    EXPECT_GT(gain, 1.5f);
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(helper.Observe(vivid.data, Bytes(vivid)), kOlvarOk);
    }
    EXPECT_EQ(helper.Gain(), gain);
    EXPECT_EQ(helper.Choose(), gain);
    EXPECT_EQ(helper.ObservedFrames(), OlvarColourGain::kObservedFrames);

    // Asked early, from the frames seen so far; asked before any frame, no gain.
    EXPECT_NEAR(AutomaticGain({pale, pale}), gain, 0.01);
    OlvarColourGain none;
    EXPECT_EQ(none.Choose(), 1.0f);
    // A given gain is used in the 1/64 steps of the arithmetic.
    OlvarColourGain given;
    ASSERT_EQ(given.SetGain(1.3f), kOlvarOk);
    EXPECT_TRUE(given.Chosen());
    EXPECT_FLOAT_EQ(given.Gain(), 83.0f / 64.0f);
}

// A furnished room as a camera with lively colour renders it: a warm white wall, a wooden floor,
// a blue sofa, a green plant, a colour chart on the wall and a face, with shading.
cv::Mat FurnishedRoomPhoto() {
    cv::Mat photo(480, 640, CV_8UC3);
    for (int y = 0; y < photo.rows; ++y) {
        const double shade = 0.85 + 0.3 * y / photo.rows;
        const cv::Vec3d wall(190, 205, 215), floor(80, 105, 135);
        const cv::Vec3d colour = y < 300 ? wall : floor;
        photo.row(y).setTo(cv::Scalar(colour[0] * shade, colour[1] * shade, colour[2] * shade));
    }
    cv::rectangle(photo, cv::Rect(20, 250, 260, 140), cv::Scalar(150, 90, 60), cv::FILLED);
    cv::rectangle(photo, cv::Rect(520, 180, 80, 200), cv::Scalar(60, 140, 70), cv::FILLED);
    static const int kChart[24][3] = {
        {115, 82, 68},   {194, 150, 130}, {98, 122, 157}, {87, 108, 67},   {133, 128, 177},
        {103, 189, 170}, {214, 126, 44},  {80, 91, 166},  {193, 90, 99},   {94, 60, 108},
        {157, 188, 64},  {224, 163, 46},  {56, 61, 150},  {70, 148, 73},   {175, 54, 60},
        {231, 199, 31},  {187, 86, 149},  {8, 133, 161},  {243, 243, 242}, {200, 200, 200},
        {160, 160, 160}, {122, 122, 121}, {85, 85, 85},   {52, 52, 52}};  // R, G, B
    for (int k = 0; k < 24; ++k) {
        const cv::Rect patch(330 + (k % 6) * 25, 40 + (k / 6) * 25, 24, 24);
        cv::rectangle(photo, patch, cv::Scalar(kChart[k][2], kChart[k][1], kChart[k][0]),
                      cv::FILLED);
    }
    cv::ellipse(photo, cv::Point(200, 150), cv::Size(30, 40), 0, 0, 360, cv::Scalar(110, 140, 200),
                cv::FILLED);
    return photo;
}

TEST(ColourGainChoice, LivelyCamerasGetNoGainPaleOnesGetOne) {
    struct Case {
        const char* name;
        std::vector<cv::Mat> frames;
    };
    std::vector<Case> cases;
    for (const unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
        for (const bool furniture : {false, true}) {
            synth::RoomStyle style;
            style.seed = seed;
            style.skinColouredFurniture = furniture;
            cases.push_back({"rendered room", {synth::RenderRoom(cv::Size(640, 480), style)}});
        }
    }
    {
        // The demo scene's first frames (the room with sensor noise and drift) and a frame with
        // the person in view.
        synth::SceneConfig config;
        config.script = synth::ScriptRest();
        const synth::Scene scene(config);
        cases.push_back({"rendered scene", {scene.Render(0).image, scene.Render(20).image}});
        cases.push_back({"rendered person", {scene.Render(scene.FrameCount() - 1).image}});
    }
    cases.push_back({"furnished room photo", {FurnishedRoomPhoto()}});
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_NEAR(AutomaticGain(k.frames), 1.0, 0.05);
        std::vector<cv::Mat> halved;
        for (const cv::Mat& frame : k.frames) {
            halved.push_back(ScaleChroma(frame, 0.5f));
        }
        const float paleGain = AutomaticGain(halved);
        EXPECT_GT(paleGain, 1.25f);
        EXPECT_LE(paleGain, OlvarColourGain::kMaxGain);
    }
}

TEST(ColourGainChoice, GreyRoomsWithVividObjectsAreNotLiftedFurther) {
    // A grey room: the bulk has no chroma. Bare, it gets the largest gain; with a vivid
    // poster the gain stops where the poster reaches the vivid limit.
    cv::Mat room(240, 320, CV_8UC3, cv::Scalar(128, 128, 128));
    EXPECT_EQ(AutomaticGain({room}), OlvarColourGain::kMaxGain);
    cv::rectangle(room, cv::Rect(0, 0, 80, 60), cv::Scalar(40, 60, 200), cv::FILLED);  // red
    const double y = Luma(40, 60, 200);
    const double posterChroma = std::hypot(0.713 * (200 - y), 0.564 * (40 - y));
    const float gain = AutomaticGain({room});
    EXPECT_GT(gain, 1.0f);
    EXPECT_NEAR(gain * posterChroma, 100.0, 2.0);
}

// Runs the frames of a rendered scene through a fresh tracker, with the gain chosen
// automatically from the first frames or off; returns the frames from `from` on with the person
// tracked.
int TrackedFrames(const std::vector<cv::Mat>& scene, bool withGain, int from, float* chosen) {
    Olvar tracker;
    EXPECT_EQ(tracker.SetFrameFormat(640 * 3, 480, 640, kOlvarBgr24, false), kOlvarOk);
    OlvarColourGain helper;
    EXPECT_EQ(helper.SetFrameFormat(640 * 3, 480, 640, kOlvarBgr24, false), kOlvarOk);
    if (!withGain) {
        helper.SetGain(1.0f);
    }
    for (size_t i = 0; i < scene.size() && !helper.Chosen(); ++i) {
        helper.Observe(scene[i].data, Bytes(scene[i]));
    }
    *chosen = helper.Choose();
    int tracked = 0;
    cv::Mat frame(480, 640, CV_8UC3);
    for (size_t i = 0; i < scene.size(); ++i) {
        EXPECT_EQ(helper.Apply(scene[i].data, Bytes(scene[i]), frame.data), kOlvarOk);
        TrackingRecord records[2];
        GestureRecord gestures[2];
        int userNumber = 0;
        const int status =
            tracker.ProcessFrame(frame.data, Bytes(frame), &userNumber, records, gestures);
        tracked +=
            static_cast<int>(i) >= from && status == kOlvarOk && records[0].torsoHalfWidth > 0 ? 1
                                                                                               : 0;
    }
    return tracked;
}

TEST(ColourGainTracking, PaleRenderedPersonIsTrackedOnlyWithTheGain) {
    // At half chroma the rendered skin still passes the skin rules, at about 0.4 it starts to
    // fail them; at 0.3 it is paler than the faces of the office webcam in the real clips, and
    // the largest gain (2) brings it back above half.
    synth::SceneConfig config;
    config.script = synth::ScriptRest();
    const synth::Scene scene(config);
    std::vector<cv::Mat> pale;
    for (int i = 0; i < scene.FrameCount(); ++i) {
        pale.push_back(ScaleChroma(scene.Render(i).image, 0.3f));
    }
    const int from = scene.FrameCount() - 90;  // the rest after walking in
    float gainOff = 0, gainOn = 0;
    const int without = TrackedFrames(pale, false, from, &gainOff);
    const int with = TrackedFrames(pale, true, from, &gainOn);
    std::printf(
        "pale rendered person: %d of 90 frames tracked without the gain, %d with gain %.2f\n",
        without, with, gainOn);
    EXPECT_EQ(gainOff, 1.0f);
    EXPECT_GT(gainOn, 1.8f);
    EXPECT_LE(without, 9);
    EXPECT_GE(with, 81);
}

}  // namespace
}  // namespace olvar
