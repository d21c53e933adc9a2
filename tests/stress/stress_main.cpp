// Stress run of the library through its public header: random operation sequences from a seed.
//
//   olvar-stress [--seeds N] [--first S] [--frames F] [--max-side P] [--size WxH]
//                [--people | --blobs] [--warm N] [--quiet]
//
// Each seed drives two tracker objects through episodes. An episode picks a geometry (120x120 to
// 1280x720, 2048x120, 120x2048, 200x600; both pixel formats, bottom-up rows, odd strides), a
// content (rendered people from the scene renderer at and across the borders, person-like blobs,
// raw noise) on one of two rooms, and runs its frames with flashing, noise bursts, null and short
// buffers and the other interface calls in between (options, palm, legs and height switches, user
// counts, gesture modes, previews, face regions). Now and then two objects run interleaved, frame
// by frame. Episodes follow one another on the same object, so every new geometry meets a
// tracker that still follows people of the old one.
//
// After every frame it checks what a host relies on: a documented status, userNumber 0..2,
// finite records, gesture ids in range, and the observed points (face, hands, and while the palm
// group is present the palm centre and fingertips) inside the picture. Each observed point
// outside is printed with seed, object, frame and geometry; the modelled joints outside (hip
// centre, elbows, legs) are only counted. The summary gives operations, frames, the counts and
// the slowest call. Exit status 1 when an observed point was outside or a promise was broken.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "host/record_checks.h"
#include "olvar/olvar.h"
#include "synth/scene.h"
#include "synth/script.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace synth = olvar::synth;
namespace checks = olvar::checks;

class Rng {
  public:
    explicit Rng(uint32_t seed) : engine_(seed) {}
    int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }
    float Real(float low, float high) {
        return std::uniform_real_distribution<float>(low, high)(engine_);
    }
    bool Chance(double p) { return std::bernoulli_distribution(p)(engine_); }
    uint32_t Bits() { return static_cast<uint32_t>(engine_()); }

  private:
    std::mt19937 engine_;
};

struct Options {
    int seeds = 37;
    int first = 1;
    int frames = 1000;  // frames per seed, over both objects
    int maxSide = 2048;
    cv::Size size{0, 0};  // one frame size for every episode (0: chosen per episode)
    // Contents: 0 any, 1 rendered people only (two of them in most episodes), 2 blobs only.
    int content = 0;
    // Frames given to a throwaway object first: the process-wide warm-up is then over, as it is
    // for a seed in the middle of a long run (to reproduce one seed's finding by itself).
    int warm = 0;
    bool quiet = false;
};

// ---------------------------------------------------------------------------------------------
// Geometry and packing of frames into the declared layout.

struct Geometry {
    int width = 320, height = 240, format = kOlvarBgr24, padding = 0;
    bool bottomUp = false;
    int Stride() const { return width * (format == kOlvarBgrx32 ? 4 : 3) + padding; }
    std::string Text() const {
        return std::to_string(width) + "x" + std::to_string(height) + " f" +
               std::to_string(format) + (bottomUp ? " bottom-up" : "") +
               (padding != 0 ? " stride+" + std::to_string(padding) : "");
    }
};

const cv::Size kSizes[] = {{120, 120},  {160, 120},  {176, 144},  {320, 240},
                           {352, 288},  {640, 480},  {1280, 720}, {1280, 720},
                           {2048, 120}, {120, 2048}, {200, 600},  {640, 360}};

Geometry ChooseGeometry(Rng& rng, const Options& options) {
    Geometry g;
    do {
        const cv::Size size = options.size.width > 0
                                  ? options.size
                                  : kSizes[rng.Int(0, static_cast<int>(std::size(kSizes)) - 1)];
        g.width = size.width;
        g.height = size.height;
    } while (std::max(g.width, g.height) > options.maxSide);
    g.format = rng.Chance(0.5) ? kOlvarBgr24 : kOlvarBgrx32;
    g.bottomUp = rng.Chance(0.3);
    g.padding = rng.Chance(0.3) ? rng.Int(1, 37) : 0;
    return g;
}

// The picture in the declared layout: format, stride padding (filled with a pattern the library
// must not read as pixels), row order.
std::vector<uint8_t> Pack(const cv::Mat& bgr, const Geometry& g) {
    const int stride = g.Stride();
    std::vector<uint8_t> bytes(static_cast<size_t>(stride) * g.height, 0xA5);
    for (int y = 0; y < g.height; ++y) {
        const uint8_t* src = bgr.ptr<uint8_t>(g.bottomUp ? g.height - 1 - y : y);
        uint8_t* dst = bytes.data() + static_cast<size_t>(y) * stride;
        if (g.format == kOlvarBgr24) {
            std::memcpy(dst, src, static_cast<size_t>(g.width) * 3);
            continue;
        }
        for (int x = 0; x < g.width; ++x) {
            std::memcpy(dst + 4 * x, src + 3 * x, 3);
            dst[4 * x + 3] = static_cast<uint8_t>(x);
        }
    }
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// Contents: each gives the episode's pictures at the geometry's size.

class Content {
  public:
    virtual ~Content() = default;
    virtual cv::Mat Picture(int frame) = 0;
    virtual int FrameCount() const = 0;
    virtual const char* Kind() const = 0;
};

// One of the two rooms: the rendered room (two wall styles) or plain soft bands.
cv::Mat MakeRoom(Rng& rng, cv::Size size, int which) {
    if (rng.Chance(0.25)) {
        cv::Mat room(size, CV_8UC3);
        for (int x = 0; x < size.width; ++x) {
            const int band = 90 + 40 * ((x * 8 / size.width + which) % 3);
            room.col(x).setTo(cv::Scalar(band, band + 10, band + 20));
        }
        return room;
    }
    return synth::RenderEmptyRoom(size.width, size.height, 1 + static_cast<unsigned>(which));
}

// Columns of the hip centre that put a person at or across a border more often than not.
float PersonColumn(Rng& rng) {
    switch (rng.Int(0, 4)) {
        case 0:
            return rng.Real(-0.12f, 0.08f);
        case 1:
            return rng.Real(0.92f, 1.12f);
        case 2:
            return rng.Real(0.05f, 0.2f);
        case 3:
            return rng.Real(0.8f, 0.95f);
        default:
            return rng.Real(0.2f, 0.8f);
    }
}

void AddAction(Rng& rng, synth::TrackBuilder& b) {
    const int hand = rng.Int(0, 1);
    const int direction = rng.Chance(0.5) ? synth::kImageLeft : synth::kImageRight;
    switch (rng.Int(0, 10)) {
        case 0:
            b.RaiseHand(hand);
            break;
        case 1:
            b.BothHandsUp();
            break;
        case 2:
            b.Swipe(hand, direction);
            break;
        case 3:
            b.Wave(hand);
            break;
        case 4:
            b.Dwell(hand, {rng.Real(-2.2f, 2.2f), rng.Real(-2.0f, 2.5f)}, rng.Int(5, 30));
            break;
        case 5:
            b.HandsApartTogether(1);
            break;
        case 6:
            b.Lean(direction);
            break;
        case 7:
            b.Crouch();
            break;
        case 8:
            b.WalkTo(PersonColumn(rng));
            break;
        case 9: {  // an open hand beside the head, tapping, for the palm analysis
            synth::Pose target = b.Current();
            target.hands[hand] = {hand == 0 ? 1.1f : -1.1f, -1.1f};
            target.handShapes[hand] = synth::HandShape{1.0f, 1.0f, 1.0f};
            const synth::Label open{synth::Action::kOpenHand, hand, 0};
            b.To(open, 20, target);
            b.Hold(open, rng.Int(5, 30));
            b.FingerTap(hand);
            target.handShapes[hand] = synth::HandShape{};
            target.hands[hand] = synth::RestHand(hand);
            b.To(synth::Label{}, 15, target);
            break;
        }
        default:
            b.Rest(rng.Int(5, 30));
            break;
    }
}

synth::Track RandomTrack(Rng& rng, int warmup) {
    const synth::Appearance look =
        synth::MakeAppearance(static_cast<synth::SkinTone>(rng.Int(0, synth::kSkinToneCount - 1)),
                              rng.Int(0, 7), rng.Int(0, 5), rng.Chance(0.6));
    synth::TrackBuilder b(look, rng.Real(0.06f, 0.3f));
    if (warmup > 0) {
        b.Absent(warmup, rng.Chance(0.5) ? synth::kImageLeft : synth::kImageRight);
        b.WalkTo(PersonColumn(rng));
    } else {  // in view from the first frame
        synth::Pose start = b.Current();
        start.x = PersonColumn(rng);
        b.To(synth::Label{}, 1, start);
    }
    b.Rest(rng.Int(5, 25));
    const int actions = rng.Int(2, 6);
    for (int i = 0; i < actions; ++i) {
        AddAction(rng, b);
    }
    synth::Track track = b.Build();
    if (rng.Chance(0.4)) {  // high in the picture (head at the top) or low (hips out below)
        track.shoulderRow = rng.Real(0.05f, 0.7f);
    }
    return track;
}

class RenderedPeople : public Content {
  public:
    RenderedPeople(Rng& rng, cv::Size size, int which, double twoPeople) {
        synth::SceneConfig config;
        config.frameSize = size;
        config.room.seed = 1 + static_cast<unsigned>(which);
        config.room.skinColouredFurniture = rng.Chance(0.2);
        config.noiseSigma = rng.Chance(0.5) ? 2.0 : 0.0;
        config.seed = rng.Bits();
        const int warmup = rng.Chance(0.7) ? rng.Int(5, 40) : 0;
        const int people = rng.Chance(twoPeople) ? 2 : 1;
        for (int p = 0; p < people; ++p) {
            config.script.people.push_back(RandomTrack(rng, warmup));
        }
        scene_ = std::make_unique<synth::Scene>(config);
    }
    cv::Mat Picture(int frame) override { return scene_->Render(frame).image; }
    int FrameCount() const override { return scene_->FrameCount(); }
    const char* Kind() const override { return "rendered people"; }

  private:
    std::unique_ptr<synth::Scene> scene_;
};

// Person-like blobs: a skin-coloured head over a shirt, two arms swinging with hands at their
// ends, drifting across the picture and out of it.
class Blobs : public Content {
  public:
    Blobs(Rng& rng, cv::Size size, int which) : size_(size), frames_(rng.Int(40, 300)) {
        rooms_[0] = MakeRoom(rng, size, which);
        rooms_[1] = MakeRoom(rng, size, 1 - which);
        switchAt_ = rng.Chance(0.2) ? rng.Int(10, frames_) : frames_;
        const int count = rng.Int(1, 8);
        for (int i = 0; i < count; ++i) {
            Blob b;
            b.x = rng.Real(-0.1f, 1.1f) * static_cast<float>(size.width);
            b.y = rng.Real(0.1f, 0.7f) * static_cast<float>(size.height);
            b.vx = rng.Real(-6.0f, 6.0f);
            b.vy = rng.Real(-1.0f, 1.0f);
            b.t = rng.Real(0.04f, 0.3f) * static_cast<float>(size.height);
            b.phase = rng.Real(0.0f, 6.3f);
            b.shirt = cv::Scalar(rng.Int(0, 255), rng.Int(0, 255), rng.Int(0, 255));
            blobs_.push_back(b);
        }
    }
    cv::Mat Picture(int frame) override {
        cv::Mat image = rooms_[frame < switchAt_ ? 0 : 1].clone();
        for (const Blob& b : blobs_) {
            Draw(image, b, frame);
        }
        return image;
    }
    int FrameCount() const override { return frames_; }
    const char* Kind() const override { return "blobs"; }

  private:
    struct Blob {
        float x, y, vx, vy, t, phase;
        cv::Scalar shirt;
    };
    static void Draw(cv::Mat& image, const Blob& b, int frame) {
        const cv::Scalar skin(110, 140, 200);
        const float x = b.x + b.vx * static_cast<float>(frame);
        const float y = b.y + b.vy * static_cast<float>(frame);
        const int t = std::max(2, static_cast<int>(b.t));
        const cv::Point neck(static_cast<int>(x), static_cast<int>(y));
        cv::ellipse(image, neck - cv::Point(0, t), cv::Size(t / 2 + 1, 2 * t / 3 + 1), 0, 0, 360,
                    skin, cv::FILLED);
        cv::rectangle(image, neck + cv::Point(-t, t / 4), neck + cv::Point(t, 4 * t), b.shirt,
                      cv::FILLED);
        for (int side : {-1, 1}) {
            const float angle =
                b.phase + 0.15f * static_cast<float>(frame) * static_cast<float>(side);
            const cv::Point shoulder = neck + cv::Point(side * t, t / 2);
            const cv::Point hand =
                shoulder + cv::Point(static_cast<int>(side * 2.2f * t * std::fabs(std::cos(angle))),
                                     static_cast<int>(2.2f * t * std::sin(angle)));
            cv::line(image, shoulder, hand, b.shirt, std::max(1, t / 2));
            cv::circle(image, hand, std::max(1, t / 3), skin, cv::FILLED);
        }
    }

    cv::Size size_;
    int frames_;
    int switchAt_;
    cv::Mat rooms_[2];
    std::vector<Blob> blobs_;
};

// Raw noise, a flat colour, or a frozen picture.
class Raw : public Content {
  public:
    Raw(Rng& rng, cv::Size size) : size_(size), frames_(rng.Int(5, 60)), kind_(rng.Int(0, 2)) {
        flat_ =
            cv::Mat(size, CV_8UC3, cv::Scalar(rng.Int(0, 255), rng.Int(0, 255), rng.Int(0, 255)));
    }
    cv::Mat Picture(int frame) override {
        if (kind_ == 1 || (kind_ == 2 && frame > 0)) {
            return flat_.clone();
        }
        cv::Mat image(size_, CV_8UC3);
        cv::randu(image, 0, 256);
        if (kind_ == 2) {
            image.copyTo(flat_);
        }
        return image;
    }
    int FrameCount() const override { return frames_; }
    const char* Kind() const override { return "raw"; }

  private:
    cv::Size size_;
    int frames_;
    int kind_;
    cv::Mat flat_;
};

std::unique_ptr<Content> MakeContent(Rng& rng, cv::Size size, int only) {
    const int which = rng.Int(0, 1);
    const int kind = only == 1 ? 0 : only == 2 ? 7 : rng.Int(0, 9);
    if (kind < 7) {
        return std::make_unique<RenderedPeople>(rng, size, which, only == 1 ? 0.8 : 0.45);
    }
    if (kind < 9) {
        return std::make_unique<Blobs>(rng, size, which);
    }
    return std::make_unique<Raw>(rng, size);
}

// A flash (the picture brighter or darker at once) or a burst of sensor noise.
void Perturb(Rng& rng, cv::Mat& image) {
    if (rng.Chance(1.0 / 40)) {
        image.convertTo(image, -1, rng.Chance(0.5) ? 1.7 : 0.4, rng.Int(-20, 60));
    } else if (rng.Chance(1.0 / 30)) {
        cv::Mat noise(image.size(), CV_8UC3);
        cv::randu(noise, 0, rng.Int(8, 80));
        image += noise;
    }
}

// ---------------------------------------------------------------------------------------------
// Findings.

struct Slowest {
    double ms = 0;
    std::string what;
};

struct Findings {
    long operations = 0;
    long frames = 0;
    long trackedRecords = 0;
    long palmRecords = 0;  // tracked records with the palm group present
    long observedOutside = 0;
    long brokenPromises = 0;
    std::map<std::string, long> observedByPoint;
    std::map<std::string, long> modelledByPoint;
    std::map<std::string, long> trackedByKind;
    long onBorder = 0;  // observed points on the first or last row or column
    std::map<std::string, double> slowestBySize;
    Slowest slowest;
    int printed = 0;
    bool quiet = false;
};

struct Lane {
    IOlvar* tracker = nullptr;
    int object = 0;
    Geometry geometry;
    int userCount = 1;
    int framesInGeometry = 0;
    std::unique_ptr<Content> content;
    int frame = 0;
};

struct Context {
    int seed = 0;
    Findings* findings = nullptr;
};

template <typename Call>
int Timed(Context& c, const Lane& lane, const char* name, Call call) {
    const Clock::time_point start = Clock::now();
    const int result = call();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    ++c.findings->operations;
    const std::string size =
        std::to_string(lane.geometry.width) + "x" + std::to_string(lane.geometry.height);
    double& bySize = c.findings->slowestBySize[size];
    bySize = std::max(bySize, ms);
    if (ms > 100.0 && !c.findings->quiet) {
        std::printf("SLOW seed %d object %d frame %d %s %s: %s %.1f ms\n", c.seed, lane.object,
                    lane.frame, lane.geometry.Text().c_str(),
                    lane.content ? lane.content->Kind() : "-", name, ms);
    }
    if (ms > c.findings->slowest.ms) {
        c.findings->slowest.ms = ms;
        c.findings->slowest.what = std::string(name) + " at " + lane.geometry.Text() + " (seed " +
                                   std::to_string(c.seed) + ")";
    }
    return result;
}

void Broken(Context& c, const Lane& lane, const char* what, int value) {
    ++c.findings->brokenPromises;
    std::printf("BROKEN seed %d object %d frame %d %s: %s (%d)\n", c.seed, lane.object, lane.frame,
                lane.geometry.Text().c_str(), what, value);
}

// The points of the palm group while it is present (fingerEvent is -1 without palm data).
std::vector<checks::NamedPoint> PalmPoints(const TrackingRecord& r) {
    static const char* const kTips[5] = {"fingertip 0", "fingertip 1", "fingertip 2", "fingertip 3",
                                         "fingertip 4"};
    std::vector<checks::NamedPoint> points;
    if (r.fingerEvent == -1) {
        return points;
    }
    for (int k = 0; k < 5; ++k) {
        points.push_back({kTips[k], r.fingertips[k].x, r.fingertips[k].y});
    }
    return points;
}

std::vector<checks::NamedPoint> ModelledPoints(const TrackingRecord& r) {
    static const char* const kJoints[7] = {"right elbow",   "left elbow", "right shoulder",
                                           "left shoulder", "neck top",   "shoulder centre",
                                           "hip centre"};
    static const char* const kLegs[6] = {"right hip", "left hip",   "right knee",
                                         "left knee", "right foot", "left foot"};
    std::vector<checks::NamedPoint> points;
    for (int k = 0; k < 7; ++k) {
        points.push_back({kJoints[k], r.joints[k].x, r.joints[k].y});
    }
    const bool legs = std::any_of(std::begin(r.legJoints), std::end(r.legJoints),
                                  [](const OlvarPoint& p) { return p.x != 0 || p.y != 0; });
    for (int k = 0; legs && k < 6; ++k) {
        points.push_back({kLegs[k], r.legJoints[k].x, r.legJoints[k].y});
    }
    return points;
}

void CheckRecord(Context& c, const Lane& lane, int k, const TrackingRecord& r, int status) {
    Findings& f = *c.findings;
    ++f.trackedRecords;
    ++f.trackedByKind[lane.content->Kind()];
    if (!checks::Finite(r)) {
        Broken(c, lane, "record not finite", k);
        return;
    }
    std::vector<checks::NamedPoint> observed = checks::ObservedPoints(r);
    const std::vector<checks::NamedPoint> palm = PalmPoints(r);
    f.palmRecords += palm.empty() ? 0 : 1;
    observed.insert(observed.end(), palm.begin(), palm.end());
    const Geometry& g = lane.geometry;
    for (const checks::NamedPoint& p : observed) {
        if (checks::InPicture(p, g.width, g.height)) {
            f.onBorder += p.x < 1 || p.y < 1 || p.x > static_cast<float>(g.width - 2) ||
                          p.y > static_cast<float>(g.height - 2);
            continue;
        }
        ++f.observedOutside;
        ++f.observedByPoint[p.name];
        if (f.printed++ < 300 && !f.quiet) {
            std::printf(
                "OUTSIDE seed %d object %d frame %d (%d in this geometry) %s %s: user %d %s at "
                "(%.1f, %.1f), torso (%.1f, %.1f) half-width %d, status %d%s\n",
                c.seed, lane.object, lane.frame, lane.framesInGeometry, g.Text().c_str(),
                lane.content->Kind(), k, p.name, p.x, p.y, r.torsoX, r.torsoY, r.torsoHalfWidth,
                status, r.fingerEvent != -1 ? ", palm present" : "");
        }
    }
    for (const checks::NamedPoint& p : ModelledPoints(r)) {
        if (!checks::InPicture(p, g.width, g.height)) {
            ++f.modelledByPoint[p.name];
        }
    }
}

void CheckFrame(Context& c, const Lane& lane, int status, int userNumber,
                const std::vector<TrackingRecord>& records,
                const std::vector<GestureRecord>& gestures) {
    if (!checks::DocumentedFrameStatus(status)) {
        Broken(c, lane, "undocumented status", status);
    }
    if (userNumber != -7 && (userNumber < 0 || userNumber > 2)) {
        Broken(c, lane, "userNumber out of 0..2", userNumber);
    }
    for (size_t k = 0; k < records.size(); ++k) {
        if (gestures[k].gesture != -1000 && !checks::GestureInRange(gestures[k].gesture)) {
            Broken(c, lane, "gesture id out of range", gestures[k].gesture);
        }
        if (records[k].torsoHalfWidth > 0) {
            CheckRecord(c, lane, static_cast<int>(k), records[k], status);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Operations.

void ProcessFrame(Context& c, Rng& rng, Lane& lane) {
    cv::Mat picture = lane.content->Picture(lane.frame);
    Perturb(rng, picture);
    const std::vector<uint8_t> bytes = Pack(picture, lane.geometry);
    int size = static_cast<int>(bytes.size());
    const bool nullData = rng.Chance(1.0 / 60);
    if (rng.Chance(1.0 / 50)) {
        size -= rng.Int(1, 7);  // a short buffer
    }
    std::vector<TrackingRecord> records(static_cast<size_t>(lane.userCount));
    std::vector<GestureRecord> gestures(static_cast<size_t>(lane.userCount));
    for (GestureRecord& g : gestures) {
        g.gesture = -1000;
    }
    int userNumber = -7;
    const int status = Timed(c, lane, "ProcessFrame", [&] {
        return lane.tracker->ProcessFrame(nullData ? nullptr : bytes.data(), size, &userNumber,
                                          records.data(), gestures.data());
    });
    ++c.findings->frames;
    ++lane.frame;
    ++lane.framesInGeometry;
    if ((nullData || size != static_cast<int>(bytes.size())) && status != kOlvarInvalid) {
        Broken(c, lane, "a null or short buffer was accepted", status);
    }
    CheckFrame(c, lane, status, userNumber, records, gestures);
}

void SetRandomOptions(Context& c, Rng& rng, Lane& lane) {
    uint8_t bytes[6];
    for (uint8_t& b : bytes) {
        b = rng.Chance(0.5) ? 0 : static_cast<uint8_t>(rng.Chance(0.7) ? 1 : rng.Int(2, 255));
    }
    OlvarOptions options;
    std::memcpy(&options, bytes, sizeof options);
    Timed(c, lane, "SetOptions", [&] { return lane.tracker->SetOptions(&options); });
    const OlvarOptions back = lane.tracker->GetOptions();
    if (std::memcmp(&back, bytes, sizeof back) != 0) {
        Broken(c, lane, "GetOptions differs from what was set", 0);
    }
}

void SetRandomUserMode(Context& c, Rng& rng, Lane& lane) {
    const UserMode mode{rng.Chance(0.1) ? rng.Int(-3, 5) : rng.Int(1, 2), rng.Int(0, 1)};
    const int status =
        Timed(c, lane, "SetUserMode", [&] { return lane.tracker->SetUserMode(&mode); });
    if (status == kOlvarOk) {
        lane.userCount = mode.userCount;
    }
    if (lane.tracker->GetUserMode().userCount != lane.userCount) {
        Broken(c, lane, "user count not as set", lane.tracker->GetUserMode().userCount);
    }
}

void QueryPreview(Context& c, Rng& rng, Lane& lane) {
    const int w = rng.Chance(0.8) ? rng.Int(1, 640) : rng.Int(-10, 0);
    const int h = rng.Chance(0.8) ? rng.Int(1, 480) : rng.Int(-10, 0);
    const int stride = 4 * w + (rng.Chance(0.2) ? rng.Int(-2, 2) : 0);
    const int64_t size = static_cast<int64_t>(std::abs(stride)) * std::abs(h);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::max<int64_t>(size, 1)));
    Timed(c, lane, "GetPreviewImage", [&] {
        return lane.tracker->GetPreviewImage(buffer.data(), static_cast<int>(size), w, h, stride);
    });
}

// Any call but a frame; geometry changes are left to the episodes.
void OtherOperation(Context& c, Rng& rng, Lane& lane) {
    IOlvar& t = *lane.tracker;
    switch (rng.Int(0, 8)) {
        case 0:
            SetRandomOptions(c, rng, lane);
            break;
        case 1:
            Timed(c, lane, "EnableLegTracking", [&] {
                t.EnableLegTracking(rng.Chance(0.5));
                return 0;
            });
            break;
        case 2:
            Timed(c, lane, "EnablePalmTracking", [&] {
                t.EnablePalmTracking(rng.Chance(0.5));
                return 0;
            });
            break;
        case 3:
            SetRandomUserMode(c, rng, lane);
            break;
        case 4: {
            const int mode = rng.Int(-2, 16);
            Timed(c, lane, "SetGestureMode", [&] { return t.SetGestureMode(&mode); });
            break;
        }
        case 5: {
            int rect[4];
            Timed(c, lane, "GetFaceRegion", [&] { return t.GetFaceRegion(rect, rng.Int(-1, 2)); });
            break;
        }
        case 6:
            QueryPreview(c, rng, lane);
            break;
        case 7: {  // a rejected geometry changes nothing
            Timed(c, lane, "SetFrameFormat", [&] {
                return t.SetFrameFormat(rng.Int(-5, 100), rng.Int(-5, 119), rng.Int(2049, 5000),
                                        rng.Int(-1, 4), false);
            });
            break;
        }
        default: {
            const int* list = nullptr;
            Timed(c, lane, "GetGestureList", [&] { return t.GetGestureList(&list); });
            Timed(c, lane, "GetModeList", [&] { return t.GetModeList(&list); });
            break;
        }
    }
}

// A new geometry (on the same tracker, which may still follow people of the old one) and a new
// content for it.
void StartEpisode(Context& c, Rng& rng, Lane& lane, const Options& options) {
    const Geometry g = ChooseGeometry(rng, options);
    const int status = Timed(c, lane, "SetFrameFormat", [&] {
        return lane.tracker->SetFrameFormat(g.Stride(), g.height, g.width, g.format, g.bottomUp);
    });
    if (status != kOlvarOk) {
        Broken(c, lane, "a valid geometry was refused", status);
    }
    lane.geometry = g;
    lane.framesInGeometry = 0;
    lane.frame = 0;
    lane.content = MakeContent(rng, cv::Size(g.width, g.height), options.content);
    if (rng.Chance(0.5)) {
        SetRandomOptions(c, rng, lane);
    }
    if (rng.Chance(0.4)) {
        SetRandomUserMode(c, rng, lane);
    }
}

void RunSeed(int seed, const Options& options, Findings& findings) {
    Context c{seed, &findings};
    Rng rng(static_cast<uint32_t>(seed) * 2654435761u + 17u);
    Lane lanes[2];
    for (int i = 0; i < 2; ++i) {
        lanes[i].tracker = CreateOlvar();
        lanes[i].object = i;
        StartEpisode(c, rng, lanes[i], options);
    }
    long framesLeft = options.frames;
    while (framesLeft > 0) {
        // Mostly one object at a time; now and then both, frame by frame.
        const bool both = rng.Chance(0.2);
        const int single = rng.Int(0, 1);
        const int limit = rng.Int(40, 400);
        for (int step = 0; step < limit && framesLeft > 0; ++step) {
            for (int i = 0; i < 2; ++i) {
                if (!both && i != single) {
                    continue;
                }
                Lane& lane = lanes[i];
                if (lane.frame >= lane.content->FrameCount()) {
                    StartEpisode(c, rng, lane, options);
                }
                if (rng.Chance(1.0 / 12)) {
                    OtherOperation(c, rng, lane);
                }
                ProcessFrame(c, rng, lane);
                --framesLeft;
            }
        }
    }
    for (Lane& lane : lanes) {
        ReleaseOlvar(&lane.tracker);
    }
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto next = [&] { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
        if (arg == "--seeds") {
            o.seeds = next();
        } else if (arg == "--first") {
            o.first = next();
        } else if (arg == "--frames") {
            o.frames = next();
        } else if (arg == "--max-side") {
            o.maxSide = std::max(120, next());
        } else if (arg == "--size" && i + 1 < argc) {
            std::sscanf(argv[++i], "%dx%d", &o.size.width, &o.size.height);
        } else if (arg == "--warm") {
            o.warm = next();
        } else if (arg == "--people") {
            o.content = 1;
        } else if (arg == "--blobs") {
            o.content = 2;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else {
            std::fprintf(stderr,
                         "usage: olvar-stress [--seeds N] [--first S] [--frames F] [--max-side P] "
                         "[--size WxH] [--people|--blobs] [--warm N] [--quiet]\n");
            std::exit(2);
        }
    }
    return o;
}

void PrintCounts(const char* title, const std::map<std::string, long>& counts) {
    std::printf("%s:", title);
    if (counts.empty()) {
        std::printf(" none");
    }
    for (const auto& [name, count] : counts) {
        std::printf(" %s %ld;", name.c_str(), count);
    }
    std::printf("\n");
}

}  // namespace

void WarmUp(int frames) {
    IOlvar* tracker = CreateOlvar();
    tracker->SetFrameFormat(3 * 160, 120, 160, kOlvarBgr24, false);
    const std::vector<uint8_t> grey(3 * 160 * 120, 128);
    for (int i = 0; i < frames; ++i) {
        TrackingRecord record;
        GestureRecord gesture;
        int user = 0;
        tracker->ProcessFrame(grey.data(), static_cast<int>(grey.size()), &user, &record, &gesture);
    }
    ReleaseOlvar(&tracker);
}

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    WarmUp(options.warm);
    Findings findings;
    findings.quiet = options.quiet;
    const Clock::time_point start = Clock::now();
    for (int seed = options.first; seed < options.first + options.seeds; ++seed) {
        const long before = findings.observedOutside;
        RunSeed(seed, options, findings);
        std::printf(
            "seed %d done: %ld observed points outside so far (+%ld); %ld operations, %ld frames, "
            "%ld tracked records so far\n",
            seed, findings.observedOutside, findings.observedOutside - before, findings.operations,
            findings.frames, findings.trackedRecords);
        std::fflush(stdout);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf(
        "stress: %d seeds from %d, %ld operations, %ld frames, %ld tracked records, %.0f s\n",
        options.seeds, options.first, findings.operations, findings.frames, findings.trackedRecords,
        seconds);
    std::printf("tracked records with palm data: %ld\n", findings.palmRecords);
    std::printf("observed points outside the picture: %ld\n", findings.observedOutside);
    PrintCounts("  by point", findings.observedByPoint);
    PrintCounts("modelled joints outside (allowed)", findings.modelledByPoint);
    std::printf("observed points on the border row or column: %ld\n", findings.onBorder);
    PrintCounts("tracked records by content", findings.trackedByKind);
    std::printf("slowest call by frame size:");
    for (const auto& [size, ms] : findings.slowestBySize) {
        std::printf(" %s %.1f ms;", size.c_str(), ms);
    }
    std::printf("\n");
    std::printf("broken promises: %ld\n", findings.brokenPromises);
    std::printf("slowest call: %.1f ms, %s\n", findings.slowest.ms, findings.slowest.what.c_str());
    return findings.observedOutside > 0 || findings.brokenPromises > 0 ? 1 : 0;
}
