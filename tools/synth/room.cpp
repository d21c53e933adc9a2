#include "synth/room.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace olvar::synth {
namespace {

constexpr int kShiftBits = 4;
constexpr float kShiftScale = 16.0f;

// Draws in room coordinates: u across the frame, v down it, both 0 .. 1.
class RoomPainter {
  public:
    explicit RoomPainter(cv::Mat* image) : image_(image) {}

    void Rect(float u0, float v0, float u1, float v1, const cv::Scalar& colour) {
        Polygon({{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}}, colour);
    }
    void Polygon(const std::vector<cv::Point2f>& uv, const cv::Scalar& colour) {
        std::vector<cv::Point> points;
        for (const cv::Point2f& p : uv) {
            points.push_back(Fixed(p.x, p.y));
        }
        cv::fillPoly(*image_, std::vector<std::vector<cv::Point>>{points}, colour, cv::LINE_AA,
                     kShiftBits);
    }
    void Ellipse(float u, float v, float ru, float rv, const cv::Scalar& colour) {
        std::vector<cv::Point2f> uv;
        constexpr int kPoints = 48;
        for (int i = 0; i < kPoints; ++i) {
            const double a = 2.0 * CV_PI * i / kPoints;
            uv.emplace_back(u + ru * static_cast<float>(std::cos(a)),
                            v + rv * static_cast<float>(std::sin(a)));
        }
        Polygon(uv, colour);
    }
    // Line thickness is a fraction of the frame height (at least one pixel).
    void Line(float u0, float v0, float u1, float v1, const cv::Scalar& colour, float thickness) {
        const int pixels = std::max(1, static_cast<int>(std::lround(thickness * image_->rows)));
        cv::line(*image_, Fixed(u0, v0), Fixed(u1, v1), colour, pixels, cv::LINE_AA, kShiftBits);
    }

  private:
    cv::Point Fixed(float u, float v) const {
        return {static_cast<int>(std::lround(u * image_->cols * kShiftScale)),
                static_cast<int>(std::lround(v * image_->rows * kShiftScale))};
    }
    cv::Mat* image_;
};

cv::Scalar Shade(const cv::Scalar& colour, double factor) {
    return {std::min(255.0, colour[0] * factor), std::min(255.0, colour[1] * factor),
            std::min(255.0, colour[2] * factor)};
}

cv::Scalar RandomColour(cv::RNG& rng, int low, int high) {
    return {static_cast<double>(rng.uniform(low, high)),
            static_cast<double>(rng.uniform(low, high)),
            static_cast<double>(rng.uniform(low, high))};
}

constexpr float kWallBottom = 0.70f;

void PaintWallsAndFloor(RoomPainter& room, const cv::Scalar& wall) {
    room.Rect(0.06f, 0.0f, 0.94f, kWallBottom, wall);
    room.Polygon({{0.0f, 0.0f}, {0.06f, 0.0f}, {0.06f, kWallBottom}, {0.0f, 0.78f}},
                 Shade(wall, 0.84));
    room.Polygon({{0.94f, 0.0f}, {1.0f, 0.0f}, {1.0f, 0.78f}, {0.94f, kWallBottom}},
                 Shade(wall, 0.8));
    // Grey laminate floor: boards run toward a vanishing point above the frame centre.
    const cv::Scalar floor(96, 106, 116);
    room.Polygon({{0.0f, 0.78f},
                  {0.06f, kWallBottom},
                  {0.94f, kWallBottom},
                  {1.0f, 0.78f},
                  {1.0f, 1.0f},
                  {0.0f, 1.0f}},
                 floor);
    const cv::Point2f vanish(0.5f, 0.25f);
    for (int i = -9; i <= 9; ++i) {
        const float u = 0.5f + 0.052f * static_cast<float>(i);
        const float scale = (1.0f - vanish.y) / (kWallBottom - vanish.y);
        const float bottomU = vanish.x + (u - vanish.x) * scale;
        room.Line(u, kWallBottom, bottomU, 1.0f, Shade(floor, 0.82), 0.003f);
    }
    // Skirting boards.
    const cv::Scalar skirting(212, 218, 220);
    room.Rect(0.06f, kWallBottom - 0.018f, 0.94f, kWallBottom, skirting);
    room.Polygon(
        {{0.0f, 0.765f}, {0.06f, kWallBottom - 0.018f}, {0.06f, kWallBottom}, {0.0f, 0.78f}},
        Shade(skirting, 0.85));
}

void PaintWindow(RoomPainter& room, cv::RNG& rng) {
    const float u0 = 0.10f, v0 = 0.07f, u1 = 0.30f, v1 = 0.42f;
    room.Rect(u0, v0, u1, v1, cv::Scalar(224, 228, 230));
    // Sky fading toward the horizon, a hedge and a tree outside.
    const int bands = 8;
    for (int i = 0; i < bands; ++i) {
        const float a = v0 + 0.015f + (v1 - v0 - 0.03f) * i / bands;
        const float b = v0 + 0.015f + (v1 - v0 - 0.03f) * (i + 1) / bands;
        room.Rect(u0 + 0.01f, a, u1 - 0.01f, b + 0.002f,
                  cv::Scalar(238 - 3 * i, 214 - 2 * i, 178 + 2 * i));
    }
    room.Ellipse(0.16f, 0.36f, 0.05f, 0.05f, cv::Scalar(58, 118, 66));
    room.Ellipse(0.24f, 0.38f, 0.06f, 0.035f, cv::Scalar(50, 104, 58));
    room.Rect(u0 + 0.01f, 0.38f, u1 - 0.01f, v1 - 0.015f, cv::Scalar(52, 110, 64));
    room.Rect(u0, v0, u1, v0 + 0.015f, cv::Scalar(224, 228, 230));
    room.Rect(u0, v1 - 0.015f, u1, v1, cv::Scalar(224, 228, 230));
    room.Rect(0.197f, v0, 0.203f, v1, cv::Scalar(224, 228, 230));
    room.Rect(u0, 0.242f, u1, 0.25f, cv::Scalar(224, 228, 230));
    // Curtains.
    const cv::Scalar curtain = RandomColour(rng, 60, 150);
    for (float u : {0.075f, 0.29f}) {
        room.Polygon({{u, 0.05f}, {u + 0.035f, 0.05f}, {u + 0.04f, 0.47f}, {u - 0.005f, 0.47f}},
                     curtain);
        room.Line(u + 0.012f, 0.06f, u + 0.01f, 0.46f, Shade(curtain, 0.8), 0.004f);
        room.Line(u + 0.025f, 0.06f, u + 0.027f, 0.46f, Shade(curtain, 0.85), 0.004f);
    }
    room.Rect(0.065f, 0.045f, 0.335f, 0.053f, cv::Scalar(60, 60, 64));
}

void PaintPicture(RoomPainter& room) {
    room.Rect(0.60f, 0.10f, 0.76f, 0.27f, cv::Scalar(32, 42, 52));
    room.Rect(0.61f, 0.115f, 0.75f, 0.255f, cv::Scalar(218, 222, 220));
    // A landscape: sky, sun and two hills, kept inside the mount.
    const float u0 = 0.625f, v0 = 0.135f, u1 = 0.735f, v1 = 0.235f;
    room.Rect(u0, v0, u1, v1, cv::Scalar(205, 168, 120));
    room.Ellipse(0.70f, 0.16f, 0.009f, 0.012f, cv::Scalar(90, 205, 240));
    room.Polygon({{u0, 0.205f}, {0.65f, 0.185f}, {0.675f, 0.19f}, {0.70f, 0.205f}, {u0, 0.235f}},
                 cv::Scalar(72, 128, 84));
    room.Polygon({{0.665f, v1}, {0.69f, 0.205f}, {0.715f, 0.19f}, {u1, 0.2f}, {u1, v1}},
                 cv::Scalar(60, 110, 70));
}

void PaintBookshelf(RoomPainter& room, cv::RNG& rng) {
    const cv::Scalar wood(40, 58, 80);
    const float u0 = 0.80f, u1 = 0.93f, v0 = 0.06f, v1 = 0.72f;
    room.Rect(u0, v0, u1, v1, wood);
    room.Rect(u0 + 0.008f, v0 + 0.01f, u1 - 0.008f, v1 - 0.01f, Shade(wood, 0.7));
    const int shelves = 4;
    const float pitch = (v1 - v0) / shelves;
    for (int s = 0; s < shelves; ++s) {
        const float base = v0 + pitch * static_cast<float>(s + 1) - 0.012f;
        room.Rect(u0, base, u1, base + 0.012f, wood);
        float u = u0 + 0.01f;
        while (true) {
            const float width = rng.uniform(0.006f, 0.014f);
            if (u + width > u1 - 0.01f) {
                break;
            }
            const float height = pitch * rng.uniform(0.55f, 0.8f);
            const cv::Scalar book = RandomColour(rng, 30, 200);
            room.Rect(u, base - height, u + width, base, book);
            room.Line(u + width * 0.5f, base - height * 0.8f, u + width * 0.5f,
                      base - height * 0.7f, Shade(book, 1.4), 0.003f);
            u += width + 0.001f;
        }
    }
}

void PaintSofa(RoomPainter& room) {
    const cv::Scalar fabric(98, 86, 72);
    room.Rect(0.095f, 0.735f, 0.105f, 0.765f, cv::Scalar(30, 30, 30));
    room.Rect(0.375f, 0.735f, 0.385f, 0.765f, cv::Scalar(30, 30, 30));
    room.Polygon({{0.09f, 0.49f},
                  {0.11f, 0.47f},
                  {0.37f, 0.47f},
                  {0.39f, 0.49f},
                  {0.39f, 0.62f},
                  {0.09f, 0.62f}},
                 Shade(fabric, 0.9));
    room.Rect(0.10f, 0.60f, 0.38f, 0.74f, fabric);
    room.Rect(0.10f, 0.60f, 0.38f, 0.625f, Shade(fabric, 1.12));
    room.Line(0.24f, 0.49f, 0.24f, 0.61f, Shade(fabric, 0.75), 0.003f);
    for (float u : {0.08f, 0.36f}) {
        room.Polygon({{u, 0.56f},
                      {u + 0.01f, 0.545f},
                      {u + 0.03f, 0.545f},
                      {u + 0.04f, 0.56f},
                      {u + 0.04f, 0.745f},
                      {u, 0.745f}},
                     Shade(fabric, 0.95));
    }
    room.Polygon({{0.13f, 0.53f}, {0.19f, 0.52f}, {0.20f, 0.60f}, {0.13f, 0.605f}},
                 cv::Scalar(140, 128, 40));
}

void PaintWoodGrain(RoomPainter& room, cv::RNG& rng, float u0, float v0, float u1, float v1,
                    const cv::Scalar& wood) {
    const int lines = 10;
    for (int i = 0; i < lines; ++i) {
        const float u = u0 + (u1 - u0) * rng.uniform(0.05f, 0.95f);
        const float drift = rng.uniform(-0.006f, 0.006f);
        room.Line(u, v0, u + drift, v1, Shade(wood, rng.uniform(0.88, 0.96)), 0.002f);
    }
}

void PaintDoor(RoomPainter& room, cv::RNG& rng, const cv::Scalar& wood) {
    const float u0 = 0.43f, u1 = 0.55f, v0 = 0.10f, v1 = kWallBottom;
    room.Rect(u0 - 0.008f, v0 - 0.012f, u1 + 0.008f, v1, cv::Scalar(210, 216, 218));
    room.Rect(u0, v0, u1, v1, wood);
    PaintWoodGrain(room, rng, u0, v0, u1, v1, wood);
    for (const float top : {0.13f, 0.42f}) {
        const float bottom = top + (top < 0.2f ? 0.25f : 0.24f);
        room.Rect(u0 + 0.015f, top, u1 - 0.015f, bottom, Shade(wood, 0.9));
        room.Rect(u0 + 0.02f, top + 0.008f, u1 - 0.02f, bottom - 0.008f, Shade(wood, 1.03));
    }
    room.Ellipse(0.535f, 0.41f, 0.005f, 0.007f, cv::Scalar(150, 160, 170));
}

void PaintSideboard(RoomPainter& room, cv::RNG& rng, const cv::Scalar& wood) {
    const float u0 = 0.60f, u1 = 0.78f, v0 = 0.50f, v1 = 0.72f;
    room.Rect(u0 + 0.005f, v1 - 0.01f, u0 + 0.012f, v1 + 0.012f, cv::Scalar(30, 30, 30));
    room.Rect(u1 - 0.012f, v1 - 0.01f, u1 - 0.005f, v1 + 0.012f, cv::Scalar(30, 30, 30));
    room.Rect(u0, v0, u1, v1, wood);
    PaintWoodGrain(room, rng, u0, v0 + 0.015f, u1, v1, wood);
    room.Rect(u0 - 0.005f, v0 - 0.012f, u1 + 0.005f, v0 + 0.004f, Shade(wood, 1.08));
    for (int i = 0; i < 3; ++i) {
        const float a = u0 + 0.01f + i * 0.055f;
        room.Rect(a, v0 + 0.02f, a + 0.05f, v1 - 0.015f, Shade(wood, 0.92));
        room.Rect(a + 0.02f, v0 + 0.05f, a + 0.03f, v0 + 0.058f, cv::Scalar(150, 155, 160));
    }
    // A vase and a stack of books on top.
    room.Ellipse(0.64f, 0.455f, 0.016f, 0.035f, cv::Scalar(150, 100, 40));
    room.Rect(0.633f, 0.41f, 0.647f, 0.43f, cv::Scalar(150, 100, 40));
    room.Rect(0.70f, 0.47f, 0.76f, 0.48f, cv::Scalar(40, 40, 150));
    room.Rect(0.705f, 0.46f, 0.755f, 0.47f, cv::Scalar(160, 150, 60));
    room.Rect(0.70f, 0.45f, 0.75f, 0.46f, cv::Scalar(210, 210, 210));
}

void PaintLamp(RoomPainter& room) {
    room.Ellipse(0.415f, 0.715f, 0.028f, 0.008f, cv::Scalar(40, 40, 44));
    room.Line(0.415f, 0.27f, 0.415f, 0.71f, cv::Scalar(60, 60, 64), 0.006f);
    room.Polygon({{0.388f, 0.20f}, {0.442f, 0.20f}, {0.455f, 0.275f}, {0.375f, 0.275f}},
                 cv::Scalar(222, 232, 238));
}

void PaintPlant(RoomPainter& room, cv::RNG& rng) {
    room.Polygon({{0.018f, 0.74f}, {0.072f, 0.74f}, {0.066f, 0.84f}, {0.024f, 0.84f}},
                 cv::Scalar(72, 72, 78));
    for (int i = 0; i < 14; ++i) {
        const float u = 0.045f + rng.uniform(-0.035f, 0.035f);
        const float v = 0.60f + rng.uniform(0.0f, 0.13f);
        const cv::Scalar leaf(rng.uniform(30, 60), rng.uniform(95, 150), rng.uniform(40, 75));
        room.Ellipse(u, v, 0.012f, 0.03f, leaf);
    }
}

void PaintRug(RoomPainter& room) {
    room.Ellipse(0.5f, 0.90f, 0.33f, 0.075f, cv::Scalar(52, 44, 100));
    room.Ellipse(0.5f, 0.90f, 0.30f, 0.062f, cv::Scalar(64, 58, 126));
    room.Ellipse(0.5f, 0.90f, 0.18f, 0.036f, cv::Scalar(110, 120, 150));
}

// Light falls in through the window: brighter at the upper left, darker in the far corners.
void ApplyLighting(cv::Mat* image) {
    cv::Mat gain(image->size(), CV_32FC3);
    for (int y = 0; y < image->rows; ++y) {
        cv::Vec3f* row = gain.ptr<cv::Vec3f>(y);
        const float v = (y + 0.5f) / image->rows;
        for (int x = 0; x < image->cols; ++x) {
            const float u = (x + 0.5f) / image->cols;
            const float d = (u - 0.25f) * (u - 0.25f) + 0.6f * (v - 0.2f) * (v - 0.2f);
            const float g = 1.06f - 0.22f * d;
            row[x] = cv::Vec3f(g, g, g);
        }
    }
    cv::Mat lit;
    image->convertTo(lit, CV_32FC3);
    lit = lit.mul(gain);
    lit.convertTo(*image, CV_8UC3);
}

}  // namespace

cv::Mat RenderRoom(cv::Size size, const RoomStyle& style) {
    CV_Assert(size.width > 0 && size.height > 0);
    cv::Mat image(size, CV_8UC3, cv::Scalar(0, 0, 0));
    cv::RNG rng(0x9E3779B97F4A7C15ULL ^ style.seed);
    static const cv::Scalar kWalls[4] = {
        {182, 204, 218}, {204, 192, 176}, {176, 200, 186}, {160, 184, 206}};
    const cv::Scalar wall = kWalls[rng.uniform(0, 4)];
    // Light pine is close to skin tones; walnut is darker and browner than any skin rule allows.
    const cv::Scalar wood =
        style.skinColouredFurniture ? cv::Scalar(128, 168, 214) : cv::Scalar(40, 64, 94);

    RoomPainter room(&image);
    PaintWallsAndFloor(room, wall);
    PaintRug(room);
    PaintWindow(room, rng);
    PaintPicture(room);
    PaintBookshelf(room, rng);
    PaintDoor(room, rng, wood);
    PaintSofa(room);
    PaintSideboard(room, rng, wood);
    PaintLamp(room);
    PaintPlant(room, rng);
    ApplyLighting(&image);
    return image;
}

}  // namespace olvar::synth
