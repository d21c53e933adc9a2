// olvar colour conditioning: a host-side chroma gain for pale webcams.
//
// The tracker finds faces and hands by their skin colour, and its skin rules need a minimum
// chroma: many webcams deliver faces so pale (R, G, B about 146, 130, 121) that the rules reject
// them and nobody is ever tracked. OlvarColourGain watches the first frames of a camera, chooses
// one chroma gain for it (1 for a camera whose colours are saturated enough, up to kMaxGain for
// pale ones) and scales every later frame's chroma about its luma before the frame reaches
// ProcessFrame():
//
//   OlvarColourGain gain;
//   gain.SetFrameFormat(stride, height, width, kOlvarBgr24, bottomUp);  // as for the tracker
//   ... for each frame: gain.Observe(data, size);             // chooses after kObservedFrames
//   ...                 gain.Apply(data, size, conditioned);  // or ApplyInPlace(data, size)
//   ...                 tracker->ProcessFrame(conditioned, size, ...);
//
// Header-only, no dependencies beyond the standard library and olvar.h (for the status codes and
// pixel formats); nothing is exported from the library. The gain stays fixed once chosen: a gain
// that changed from frame to frame would look like motion to the tracker's change analysis, so
// hosts should hold the frames they observe and feed them only after the gain is chosen (or feed
// the tracker from the moment Chosen() is true).
//
// How the gain is chosen: see Choose().
#ifndef OLVAR_COLOUR_GAIN_H
#define OLVAR_COLOUR_GAIN_H

#include <olvar/olvar.h>

#ifdef __cplusplus

#include <cmath>
#include <cstdint>
#include <cstring>

class OlvarColourGain {
  public:
    // Frames observed before the gain is chosen without being asked (one second at 30 fps, the
    // length of the tracker's own warm-up).
    static constexpr int kObservedFrames = 30;
    // No gain, automatic or given, exceeds this.
    static constexpr float kMaxGain = 2.0f;

    // Declares the frame layout exactly as IOlvar::SetFrameFormat: stride in bytes between rows
    // (at least 3 * width for kOlvarBgr24, 4 * width for kOlvarBgrx32), width and height from 1 to
    // 8192, bottomUp when rows arrive last row first. The gain is per pixel, so the row order
    // changes nothing; it is accepted so that hosts declare one layout for both. Returns
    // kOlvarOk, kOlvarBadFormat for an unknown format, or kOlvarInvalid (nothing changes then).
    int SetFrameFormat(int stride, int height, int width, int format, bool bottomUp) {
        if (format != kOlvarBgr24 && format != kOlvarBgrx32) {
            return kOlvarBadFormat;
        }
        const int bytesPerPixel = format == kOlvarBgr24 ? 3 : 4;
        if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide ||
            stride < bytesPerPixel * width) {
            return kOlvarInvalid;
        }
        stride_ = stride;
        height_ = height;
        width_ = width;
        bytesPerPixel_ = bytesPerPixel;
        (void)bottomUp;  // the gain is per pixel: the row order changes nothing
        return kOlvarOk;
    }

    // Adds one frame (|stride * height| bytes in the declared layout) to the observation while
    // no gain is chosen, and chooses the gain with the kObservedFrames-th frame. Once the gain is
    // chosen, frames are checked and otherwise ignored. Returns kOlvarOk or kOlvarInvalid.
    int Observe(const unsigned char* data, int size) {
        if (!FrameFits(data, size)) {
            return kOlvarInvalid;
        }
        if (chosen_) {
            return kOlvarOk;
        }
        for (int y = 0; y < height_; y += kSampleStep) {
            const unsigned char* row = data + static_cast<size_t>(y) * stride_;
            for (int x = 0; x < width_; x += kSampleStep) {
                CountPixel(row + static_cast<size_t>(x) * bytesPerPixel_);
            }
        }
        if (++observedFrames_ >= kObservedFrames) {
            Choose();
        }
        return kOlvarOk;
    }

    // Fixes the gain from the frames observed so far and returns it (1 when no pixel of mid luma
    // was observed). Later calls return the fixed gain.
    //
    // The statistic is the chroma magnitude of the observed pixels of mid luma (the distance of
    // Cr, Cb from grey in the units of the tracker's YCrCb image; nearly black and nearly white
    // pixels are left out, a camera clips their colour). Most of a room is wall, floor and
    // furniture: a camera with lively colour renders them with some tint (the three quarters
    // quantile of a furnished room is about 20 or more), a pale camera renders them almost grey
    // (about 8 for the office webcam whose faces fail the skin rules). The gain lifts that
    // quantile to kBulkChroma: a quantile rather than the mean so that neither a large white wall
    // nor a few vivid posters decide alone. It never lowers the chroma, never exceeds kMaxGain,
    // and never lifts the vivid tail (the 99th percentile) beyond kVividChroma, where the most
    // saturated objects of a well-rendered picture lie: a camera that already shows vivid
    // colour in a bare white room is not mistaken for a pale one.
    float Choose() {
        if (!chosen_) {
            gain_ = samples_ == 0 ? 1.0f
                                  : GainForStatistics(ChromaQuantile(kBulkQuantile),
                                                      ChromaQuantile(kVividQuantile));
            gainQ6_ = QuantiseGain(gain_);
            chosen_ = true;
        }
        return gain_;
    }

    // Fixes a gain the host chose (0 turns frames grey, 1 leaves them unchanged). Returns
    // kOlvarOk, or kOlvarInvalid outside 0..kMaxGain (nothing changes then).
    int SetGain(float gain) {
        if (!(gain >= 0.0f && gain <= kMaxGain)) {
            return kOlvarInvalid;
        }
        gainQ6_ = QuantiseGain(gain);
        gain_ = gainQ6_ / 64.0f;
        chosen_ = true;
        return kOlvarOk;
    }

    bool Chosen() const { return chosen_; }
    // The gain frames get now: 1 until it is chosen, then the chosen gain in the 1/64 steps the
    // arithmetic uses.
    float Gain() const { return chosen_ ? gainQ6_ / 64.0f : 1.0f; }
    int ObservedFrames() const { return observedFrames_; }

    // Writes the frame with its chroma scaled by Gain() into dst, which has the same layout and
    // size (the padding bytes of each row and the fourth byte of kOlvarBgrx32 pixels are copied).
    // dst may be src. Returns kOlvarOk, or kOlvarInvalid for a null buffer or a size that is not
    // |stride * height| (dst is then untouched).
    int Apply(const unsigned char* src, int size, unsigned char* dst) const {
        if (!FrameFits(src, size) || dst == nullptr) {
            return kOlvarInvalid;
        }
        if (Gain() == 1.0f) {
            if (dst != src) {
                std::memcpy(dst, src, static_cast<size_t>(size));
            }
            return kOlvarOk;
        }
        const int16_t gain = static_cast<int16_t>(gainQ6_);
        const size_t pixelBytes = static_cast<size_t>(width_) * bytesPerPixel_;
        for (int y = 0; y < height_; ++y) {
            const size_t offset = static_cast<size_t>(y) * stride_;
            if (bytesPerPixel_ == 3) {
                GainRow<3>(src + offset, dst + offset, width_, gain);
            } else {
                GainRow<4>(src + offset, dst + offset, width_, gain);
            }
            if (dst != src && static_cast<size_t>(stride_) > pixelBytes) {
                std::memcpy(dst + offset + pixelBytes, src + offset + pixelBytes,
                            stride_ - pixelBytes);
            }
        }
        return kOlvarOk;
    }

    // Apply() with the frame as its own destination.
    int ApplyInPlace(unsigned char* data, int size) const { return Apply(data, size, data); }

  private:
    static constexpr int kMaxSide = 8192;
    static constexpr int kSampleStep = 2;  // every second pixel of every second row
    static constexpr int kLumaLow = 24;    // mid-luma window of the statistic
    static constexpr int kLumaHigh = 232;
    static constexpr int kChromaBins = 256;
    static constexpr float kBulkQuantile = 0.75f;
    static constexpr float kBulkChroma = 20.0f;
    static constexpr float kVividQuantile = 0.99f;
    static constexpr float kVividChroma = 100.0f;

    static int QuantiseGain(float gain) { return static_cast<int>(gain * 64.0f + 0.5f); }

    // The gain that lifts `bulk` to kBulkChroma without lifting `vivid` beyond kVividChroma,
    // within 1..kMaxGain.
    static float GainForStatistics(float bulk, float vivid) {
        float gain = bulk * kMaxGain > kBulkChroma ? kBulkChroma / bulk : kMaxGain;
        if (vivid * gain > kVividChroma) {
            gain = kVividChroma / vivid;
        }
        return gain < 1.0f ? 1.0f : gain;
    }

    bool FrameFits(const unsigned char* data, int size) const {
        return data != nullptr &&
               static_cast<long long>(size) == static_cast<long long>(stride_) * height_;
    }

    void CountPixel(const unsigned char* p) {
        const int b = p[0], r = p[2];
        const int y = LumaQ8(p[0], p[1], p[2]);
        if (y < kLumaLow || y > kLumaHigh) {
            return;
        }
        // Cr and Cb about their grey value, as a YCrCb conversion scales them.
        const float cr = 0.713f * static_cast<float>(r - y);
        const float cb = 0.564f * static_cast<float>(b - y);
        int bin = static_cast<int>(std::sqrt(cr * cr + cb * cb));
        bin = bin < kChromaBins ? bin : kChromaBins - 1;
        ++histogram_[bin];
        ++samples_;
    }

    // The chroma magnitude below which `quantile` of the samples lie, interpolated within its
    // bin; 0 without samples.
    float ChromaQuantile(float quantile) const {
        if (samples_ == 0) {
            return 0.0f;
        }
        const double wanted = quantile * static_cast<double>(samples_);
        double below = 0;
        for (int bin = 0; bin < kChromaBins; ++bin) {
            const double count = static_cast<double>(histogram_[bin]);
            if (below + count >= wanted && count > 0) {
                return static_cast<float>(bin + (wanted - below) / count);
            }
            below += count;
        }
        return static_cast<float>(kChromaBins);
    }

    // Each channel c becomes Y + gain * (c - Y), rounded and saturated. The row is taken apart
    // into blue, green and red runs of 16-bit values, scaled, and put back, so that the compiler
    // can run the arithmetic on whole vectors: every product fits 16 bits (|c - Y| <= 255, the
    // gain at most 2 in 1/64 steps).
    template <int kBytes>
    static void GainRow(const unsigned char* in, unsigned char* out, int width, int16_t gain) {
        constexpr int kRun = 64;
        uint16_t b[kRun], g[kRun], r[kRun];
        for (int x0 = 0; x0 < width; x0 += kRun) {
            const int n = width - x0 < kRun ? width - x0 : kRun;
            const unsigned char* q = in + x0 * kBytes;
            unsigned char* p = out + x0 * kBytes;
            for (int i = 0; i < n; ++i) {
                b[i] = q[i * kBytes];
                g[i] = q[i * kBytes + 1];
                r[i] = q[i * kBytes + 2];
            }
            for (int i = 0; i < kRun; ++i) {
                const uint16_t y = LumaQ8(b[i], g[i], r[i]);
                b[i] = Scaled(b[i], y, gain);
                g[i] = Scaled(g[i], y, gain);
                r[i] = Scaled(r[i], y, gain);
            }
            for (int i = 0; i < n; ++i) {
                p[i * kBytes] = static_cast<unsigned char>(b[i]);
                p[i * kBytes + 1] = static_cast<unsigned char>(g[i]);
                p[i * kBytes + 2] = static_cast<unsigned char>(r[i]);
                if (kBytes == 4) {
                    p[i * kBytes + 3] = q[i * kBytes + 3];  // the ignored byte, as it came
                }
            }
        }
    }

    // Luma with the weights in 1/256 (29, 150, 77: 0.114, 0.587, 0.299, summing to exactly 1 so
    // that grey stays grey), rounded; the sum stays below 65536.
    static uint16_t LumaQ8(uint16_t b, uint16_t g, uint16_t r) {
        return static_cast<uint16_t>(static_cast<uint16_t>(static_cast<uint16_t>(29 * b) +
                                                           static_cast<uint16_t>(150 * g) +
                                                           static_cast<uint16_t>(77 * r) + 128) >>
                                     8);
    }

    // y + gain * (c - y) with the gain in 1/64, rounded, saturated to 0..255.
    static uint16_t Scaled(uint16_t c, uint16_t y, int16_t gain) {
        const int16_t d = static_cast<int16_t>(c - y);
        const int16_t v = static_cast<int16_t>(
            y +
            static_cast<int16_t>(static_cast<int16_t>(static_cast<int16_t>(gain * d) + 32) >> 6));
        return static_cast<uint16_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }

    int stride_ = 0;
    int height_ = 0;
    int width_ = 0;
    int bytesPerPixel_ = 3;
    bool chosen_ = false;
    float gain_ = 1.0f;
    int gainQ6_ = 64;
    int observedFrames_ = 0;
    long long samples_ = 0;
    uint32_t histogram_[kChromaBins] = {};
};

#endif  // __cplusplus

#endif  // OLVAR_COLOUR_GAIN_H
