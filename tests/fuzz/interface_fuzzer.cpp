// Drives the library through its public interface with operation sequences decoded from the
// input bytes: a frame geometry (valid, at the limits or invalid), then up to 48 operations
// among the sixteen with their arguments (null pointers, wrong sizes, out-of-range modes, user
// counts and preview sizes) and frames whose contents are raw bytes, repeated blocks or
// person-like shapes on a room. After every ProcessFrame it checks what the interface promises:
// a documented status, userNumber 0..2, finite records with face and hands inside the picture,
// gesture ids in -2..72. A broken promise aborts, so the fuzzer keeps the input.
//
// Input layout: a reader takes bytes from the front; a finished input reads as zeros, so every
// prefix of an input is an input too.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/record_checks.h"
#include "olvar/olvar.h"

namespace {

class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    int Word() { return Byte() | (Byte() << 8); }
    int32_t Int() { return static_cast<int32_t>(Word() | (static_cast<uint32_t>(Word()) << 16)); }
    // A value in [0, n).
    int Below(int n) { return n <= 1 ? 0 : Word() % n; }
    bool Done() const { return at_ >= size_; }
    // The next n bytes (fewer when the input ends).
    std::vector<uint8_t> Bytes(size_t n) {
        const size_t take = std::min(n, size_ - at_);
        std::vector<uint8_t> out(data_ + at_, data_ + at_ + take);
        at_ += take;
        return out;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

[[noreturn]] void Fail(const char* what, int value) {
    std::fprintf(stderr, "broken promise: %s (%d)\n", what, value);
    std::abort();
}

struct Geometry {
    int width = 320, height = 240, stride = 960, format = 1;
    bool bottomUp = false;
    int BytesPerPixel() const { return format == 2 ? 4 : 3; }
};

// Frame sizes at and around the limits; small ones are more frequent because they are cheap.
const int kSides[] = {120, 120, 144, 150, 160, 176, 200, 240, 288, 119, 2049, 0, -120, 480, 600};

Geometry ChooseGeometry(Reader& in) {
    Geometry g;
    const int kind = in.Below(8);
    if (kind == 7) {  // anything at all
        g.width = in.Int();
        g.height = in.Int();
        g.stride = in.Int();
        g.format = in.Int();
    } else {
        const int n = static_cast<int>(sizeof kSides / sizeof kSides[0]);
        g.width = kSides[in.Below(n)];
        g.height = kSides[in.Below(n)];
        if (in.Below(16) == 0) {  // the long thin shapes
            g.width = in.Below(2) ? 2048 : 120;
            g.height = g.width == 2048 ? 120 : 2048;
        }
        g.format = in.Below(8) == 0 ? in.Below(4) : 1 + in.Below(2);
        const int padding = in.Below(4) == 0 ? static_cast<int>(in.Byte()) - 8 : 0;
        g.stride = g.width * g.BytesPerPixel() + padding;
    }
    g.bottomUp = in.Byte() & 1;
    return g;
}

// One picture of the declared geometry, `size` bytes exactly (the size the call is told).
std::vector<uint8_t> MakeFrame(Reader& in, const Geometry& g, size_t size, int frameIndex) {
    std::vector<uint8_t> frame(size);
    if (size == 0) {
        return frame;
    }
    const int kind = in.Below(4);
    if (kind == 0) {  // raw bytes, the block repeated over the picture
        std::vector<uint8_t> block = in.Bytes(1 + in.Below(64));
        if (block.empty()) {
            block.push_back(0);
        }
        for (size_t i = 0; i < size; ++i) {
            frame[i] = block[i % block.size()];
        }
        return frame;
    }
    // A room of soft vertical bands: one row made and copied (cheap under the sanitizers), with
    // noise of a chosen amplitude on plain rooms only.
    const int stride = std::abs(g.stride);
    const int bpp = g.BytesPerPixel();
    if (g.width <= 0 || g.height <= 0 || stride < g.width * bpp) {
        return frame;
    }
    std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
    for (int x = 0; x < g.width; ++x) {
        const int band = 90 + 40 * ((x * 8 / g.width) % 3);
        for (int c = 0; c < 3; ++c) {
            row[static_cast<size_t>(x) * bpp + c] = static_cast<uint8_t>(band + 10 * c);
        }
    }
    for (size_t at = 0; at < size; at += row.size()) {
        std::memcpy(frame.data() + at, row.data(), std::min(row.size(), size - at));
    }
    if (kind == 1) {
        const int noise = in.Below(64);
        uint32_t state = 1 + in.Byte() + 256u * static_cast<uint32_t>(frameIndex);
        for (size_t i = 0; noise > 0 && i < size; i += 1 + (state >> 28)) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int n = static_cast<int>(state % (2 * noise + 1)) - noise;
            frame[i] = static_cast<uint8_t>(std::clamp(frame[i] + n, 0, 255));
        }
    }
    if (kind >= 2) {  // person-like shapes: a skin-coloured head over a shirt, arms at angles
        const int people = 1 + in.Below(kind == 3 ? 8 : 2);
        for (int p = 0; p < people; ++p) {
            const int cx = in.Below(std::max(1, g.width)) + (frameIndex * (in.Below(9) - 4));
            const int t = 4 + in.Below(std::max(1, g.height / 4));
            const int top = in.Below(std::max(1, g.height / 2));
            const int armDx = in.Below(4 * t + 1) - 2 * t, armDy = in.Below(4 * t + 1) - 3 * t;
            auto paint = [&](int x0, int y0, int x1, int y1, uint8_t b, uint8_t gr, uint8_t r) {
                for (int y = std::max(0, y0); y < std::min(g.height, y1); ++y) {
                    for (int x = std::max(0, x0); x < std::min(g.width, x1); ++x) {
                        const size_t at =
                            static_cast<size_t>(y) * stride + static_cast<size_t>(x) * bpp;
                        if (at + 3 > size) {
                            return;
                        }
                        frame[at] = b;
                        frame[at + 1] = gr;
                        frame[at + 2] = r;
                    }
                }
            };
            paint(cx - t / 2, top, cx + t / 2, top + t, 110, 140, 200);  // head
            paint(cx - t, top + t, cx + t, top + 4 * t, 40, 40, 160);    // shirt
            paint(cx + t, top + t, cx + t + t / 2 + armDx, top + t + armDy + 2 * t, 40, 40, 160);
            paint(cx + t + armDx, top + t + armDy, cx + t + armDx + t / 2, top + t + armDy + t / 2,
                  110, 140, 200);  // hand
            paint(cx - t - armDx, top + t, cx - t, top + 3 * t, 40, 40, 160);
        }
    }
    return frame;
}

// Frames per input: enough to learn the room, find a person and follow it for a while.
constexpr int kMaxFrames = 64;

struct Session {
    IOlvar* tracker = nullptr;
    Geometry geometry;
    int userCount = 1;
    int frames = 0;
};

void CheckFrameResults(const Session& s, int status, int userNumber, const TrackingRecord* records,
                       const GestureRecord* gestures) {
    if (!olvar::checks::DocumentedFrameStatus(status)) {
        Fail("undocumented ProcessFrame status", status);
    }
    if (userNumber != -7 && (userNumber < 0 || userNumber > 2)) {
        Fail("userNumber out of 0..2", userNumber);
    }
    for (int k = 0; k < s.userCount; ++k) {
        if (gestures[k].gesture != -1000 && !olvar::checks::GestureInRange(gestures[k].gesture)) {
            Fail("gesture id out of -2..72", gestures[k].gesture);
        }
        if (records[k].torsoHalfWidth <= 0) {
            continue;
        }
        if (!olvar::checks::Finite(records[k])) {
            Fail("a tracked user's record is not finite", k);
        }
        for (const olvar::checks::NamedPoint& p : olvar::checks::ObservedPoints(records[k])) {
            if (!olvar::checks::InPicture(p, s.geometry.width, s.geometry.height)) {
                std::fprintf(stderr, "%s at (%g, %g) in a %dx%d picture\n", p.name, p.x, p.y,
                             s.geometry.width, s.geometry.height);
                Fail("an observed point outside the picture", k);
            }
        }
    }
}

void ProcessOneFrame(Session& s, Reader& in) {
    const Geometry& g = s.geometry;
    const int64_t declared = static_cast<int64_t>(std::abs(g.stride)) * std::max(0, g.height);
    int64_t size = declared;
    const int sizeKind = in.Below(16);
    if (sizeKind == 0) {
        size = declared - 1 - in.Below(8);
    } else if (sizeKind == 1) {
        size = declared + 1 + in.Below(8);
    }
    size = std::clamp<int64_t>(size, 0, 24 << 20);
    const std::vector<uint8_t> frame = MakeFrame(in, g, static_cast<size_t>(size), s.frames);
    const bool nullData = in.Below(32) == 0;
    const bool nullRecords = in.Below(64) == 0;
    // Exactly userCount records and gestures, so a write past them is caught.
    std::vector<TrackingRecord> records(static_cast<size_t>(s.userCount));
    std::vector<GestureRecord> gestures(static_cast<size_t>(s.userCount));
    for (GestureRecord& gesture : gestures) {
        gesture.gesture = -1000;
    }
    int userNumber = -7;
    const int status = s.tracker->ProcessFrame(
        nullData || frame.empty() ? nullptr : frame.data(), static_cast<int>(size), &userNumber,
        nullRecords ? nullptr : records.data(), gestures.data());
    ++s.frames;
    if (std::getenv("OLVAR_FUZZ_TRACE") != nullptr) {  // for reading an input's run
        std::fprintf(stderr, "frame %d (%dx%d): status %d, user number %d, torso %d\n", s.frames,
                     g.width, g.height, status, userNumber,
                     records.empty() ? 0 : records[0].torsoHalfWidth);
    }
    CheckFrameResults(s, status, userNumber, records.data(), gestures.data());
}

void CheckOptionsRoundTrip(IOlvar& tracker, const uint8_t bytes[6]) {
    const OlvarOptions back = tracker.GetOptions();
    if (std::memcmp(&back, bytes, sizeof back) != 0) {
        Fail("GetOptions differs from what was set", 0);
    }
}

void RunOperation(Session& s, Reader& in) {
    IOlvar& t = *s.tracker;
    switch (in.Below(17)) {
        case 0: {
            const Geometry g = ChooseGeometry(in);
            if (t.SetFrameFormat(g.stride, g.height, g.width, g.format, g.bottomUp) == kOlvarOk) {
                s.geometry = g;
            }
            break;
        }
        case 1: {
            uint8_t bytes[6];
            for (uint8_t& b : bytes) {
                b = in.Byte();
            }
            OlvarOptions options;
            std::memcpy(&options, bytes, sizeof options);
            if (in.Below(16) == 0) {
                if (t.SetOptions(nullptr) != kOlvarInvalid) {
                    Fail("SetOptions(null) accepted", 0);
                }
            } else if (t.SetOptions(&options) == kOlvarOk) {
                CheckOptionsRoundTrip(t, bytes);
            }
            break;
        }
        case 2:
            t.GetOptions();
            t.GetUserMode();
            break;
        case 3: {
            const UserMode mode{in.Below(4) == 0 ? in.Int() : in.Below(4), in.Below(3)};
            const int status = t.SetUserMode(in.Below(16) == 0 ? nullptr : &mode);
            if (status == kOlvarOk) {
                if (mode.userCount < 1 || mode.userCount > 2) {
                    Fail("SetUserMode accepted a user count", mode.userCount);
                }
                s.userCount = mode.userCount;
            }
            if (t.GetUserMode().userCount != s.userCount) {
                Fail("user count changed by a rejected call", t.GetUserMode().userCount);
            }
            break;
        }
        case 4:
        case 5: {
            const int mode = in.Below(4) == 0 ? in.Int() : in.Below(17) - 1;
            t.SetGestureMode(in.Below(16) == 0 ? nullptr : &mode);
            int current = -1;
            t.GetGestureMode(in.Below(8) == 0 ? nullptr : &current);
            break;
        }
        case 6: {
            const int* list = nullptr;
            const int n = t.GetModeList(in.Below(8) == 0 ? nullptr : &list);
            if (list != nullptr && n > 0) {
                for (int i = 0; i < n; ++i) {
                    if (t.GetModeName(list[i]) == nullptr) {
                        Fail("a listed mode has no name", list[i]);
                    }
                }
            }
            t.GetModeName(in.Int());
            break;
        }
        case 7: {
            const int* list = nullptr;
            const int n = t.GetGestureList(in.Below(8) == 0 ? nullptr : &list);
            if (list != nullptr && n > 0 && t.GetGestureName(list[n - 1]) == nullptr) {
                Fail("a listed gesture has no name", list[n - 1]);
            }
            t.GetGestureName(in.Int());
            break;
        }
        case 8:
            t.EnableLegTracking(in.Byte() & 1);
            break;
        case 9:
            t.EnablePalmTracking(in.Byte() & 1);
            break;
        case 10: {
            const int w = in.Below(4) == 0 ? in.Int() % 4096 : in.Below(700) - 20;
            const int h = in.Below(4) == 0 ? in.Int() % 4096 : in.Below(500) - 20;
            const int stride = in.Below(4) == 0 ? 4 * w - 1 + in.Below(3) : 4 * w;
            const int64_t claimed = static_cast<int64_t>(std::abs(stride)) * std::abs(h);
            if (claimed > (16 << 20)) {
                break;
            }
            const int64_t size = in.Below(8) == 0 ? claimed + in.Below(5) - 2 : claimed;
            std::vector<uint8_t> buffer(static_cast<size_t>(std::max<int64_t>(size, 0)));
            t.GetPreviewImage(in.Below(16) == 0 || buffer.empty() ? nullptr : buffer.data(),
                              static_cast<int>(size), w, h, stride);
            break;
        }
        case 11: {
            int rect[4];
            t.GetFaceRegion(in.Below(16) == 0 ? nullptr : rect, in.Below(5) - 1);
            break;
        }
        default: {
            // A run of frames, so that warm-up, segmentation and tracking are reached.
            const int count = 1 + in.Below(12);
            for (int i = 0; i < count && s.frames < kMaxFrames; ++i) {
                ProcessOneFrame(s, in);
            }
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    Session s;
    s.tracker = CreateOlvar();
    if (s.tracker == nullptr) {
        return 0;
    }
    const Geometry g = ChooseGeometry(in);
    if (s.tracker->SetFrameFormat(g.stride, g.height, g.width, g.format, g.bottomUp) == kOlvarOk) {
        s.geometry = g;
    }
    for (int op = 0; op < 48 && !in.Done(); ++op) {
        RunOperation(s, in);
    }
    ReleaseOlvar(&s.tracker);
    ReleaseOlvar(&s.tracker);
    return 0;
}
