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
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
            const unsigned char* row = data + static_cast<size_t>(y) * static_cast<size_t>(stride_);
            for (int x = 0; x < width_; x += kSampleStep) {
                CountPixel(row + static_cast<size_t>(x) * static_cast<size_t>(bytesPerPixel_));
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
        gain_ = static_cast<float>(gainQ6_) / 64.0f;
        chosen_ = true;
        return kOlvarOk;
    }

    bool Chosen() const { return chosen_; }
    // The gain frames get now: 1 until it is chosen, then the chosen gain in the 1/64 steps the
    // arithmetic uses.
    float Gain() const { return chosen_ ? static_cast<float>(gainQ6_) / 64.0f : 1.0f; }
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
        const size_t pixelBytes = static_cast<size_t>(width_) * static_cast<size_t>(bytesPerPixel_);
        for (int y = 0; y < height_; ++y) {
            const size_t offset = static_cast<size_t>(y) * static_cast<size_t>(stride_);
            if (bytesPerPixel_ == 3) {
                GainRow<3>(src + offset, dst + offset, width_, gain);
            } else {
                GainRow<4>(src + offset, dst + offset, width_, gain);
            }
            if (dst != src && static_cast<size_t>(stride_) > pixelBytes) {
                std::memcpy(dst + offset + pixelBytes, src + offset + pixelBytes,
                            static_cast<size_t>(stride_) - pixelBytes);
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
        const double wanted = static_cast<double>(quantile) * static_cast<double>(samples_);
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

    // Each channel c becomes Y + gain * (c - Y), rounded and saturated. With SSE2 (every x86-64
    // target has it) whole blocks of pixels go through vector registers and the portable loop
    // below takes the rest of the row; both give the same pixels.
    template <int kBytes>
    static void GainRow(const unsigned char* in, unsigned char* out, int width, int16_t gain) {
        int done = 0;
#if defined(__SSE2__)
        done = GainBlocksSse2(in, out, width, gain, std::integral_constant<int, kBytes>());
#endif
        GainRowPortable<kBytes>(in + done * kBytes, out + done * kBytes, width - done, gain);
    }

    // The portable row: taken apart into blue, green and red runs of 16-bit values, scaled, and
    // put back, so that the compiler can run the arithmetic on whole vectors: every product fits
    // 16 bits (|c - Y| <= 255, the gain at most 2 in 1/64 steps).
    template <int kBytes>
    static void GainRowPortable(const unsigned char* in, unsigned char* out, int width,
                                int16_t gain) {
        constexpr int kRun = 64;
        uint16_t b[kRun] = {}, g[kRun] = {}, r[kRun] = {};
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

#if defined(__SSE2__)
    // The SSE2 blocks: 32 pixels of 3 bytes (six registers) or 16 pixels of 4 bytes (four). A
    // block is sorted into planes of blue, green and red bytes by rounds of interleaving the
    // bytes of register halves (a round moves the byte at position i of the block to 2i modulo
    // the block's bytes - 1: five rounds sort 3-byte pixels by channel, four rounds 4-byte ones),
    // scaled, and put back: 3-byte pixels by five rounds of the inverse (even bytes to the first
    // half, odd bytes to the second), 4-byte ones by two more interleaving rounds, which complete
    // the cycle of six. The rounds are written out so that the registers stay registers at -O2.
    // A whole block is loaded before it is stored, so dst may be src. Return the pixels done.
    static int GainBlocksSse2(const unsigned char* in, unsigned char* out, int width, int16_t gain,
                              std::integral_constant<int, 3>) {
        const __m128i gains = HighBytes(gain);
        const __m128i lumaGains = _mm_set1_epi16(static_cast<int16_t>(64 - gain));
        int x = 0;
        for (; x + 32 <= width; x += 32) {
            const unsigned char* q = in + x * 3;
            __m128i v0 = Load(q), v1 = Load(q + 16), v2 = Load(q + 32), v3 = Load(q + 48),
                    v4 = Load(q + 64), v5 = Load(q + 80);
            InterleaveHalves(v0, v1, v2, v3, v4, v5);
            InterleaveHalves(v0, v1, v2, v3, v4, v5);
            InterleaveHalves(v0, v1, v2, v3, v4, v5);
            InterleaveHalves(v0, v1, v2, v3, v4, v5);
            InterleaveHalves(v0, v1, v2, v3, v4, v5);
            // Blue in v0, v1 (pixels 0..15, 16..31), green in v2, v3, red in v4, v5.
            ScalePlanesSeparating(v0, v2, v4, gains, lumaGains);
            ScalePlanesSeparating(v1, v3, v5, gains, lumaGains);
            // Each register holds its own even bytes, then its odd bytes: pairing the halves
            // completes the first inverse round.
            PairHalves(v0, v1, v2, v3, v4, v5);
            SeparateEvenOdd(v0, v1, v2, v3, v4, v5);
            SeparateEvenOdd(v0, v1, v2, v3, v4, v5);
            SeparateEvenOdd(v0, v1, v2, v3, v4, v5);
            SeparateEvenOdd(v0, v1, v2, v3, v4, v5);
            unsigned char* p = out + x * 3;
            Store(p, v0);
            Store(p + 16, v1);
            Store(p + 32, v2);
            Store(p + 48, v3);
            Store(p + 64, v4);
            Store(p + 80, v5);
        }
        return x;
    }

    static int GainBlocksSse2(const unsigned char* in, unsigned char* out, int width, int16_t gain,
                              std::integral_constant<int, 4>) {
        const __m128i gains = HighBytes(gain);
        const __m128i lumaGains = _mm_set1_epi16(static_cast<int16_t>(64 - gain));
        int x = 0;
        for (; x + 16 <= width; x += 16) {
            const unsigned char* q = in + x * 4;
            __m128i v0 = Load(q), v1 = Load(q + 16), v2 = Load(q + 32), v3 = Load(q + 48);
            InterleaveHalves(v0, v1, v2, v3);
            InterleaveHalves(v0, v1, v2, v3);
            InterleaveHalves(v0, v1, v2, v3);
            InterleaveHalves(v0, v1, v2, v3);
            ScalePlanes(v0, v1, v2, gains, lumaGains);  // v3: the fourth bytes, as they came
            InterleaveHalves(v0, v1, v2, v3);
            InterleaveHalves(v0, v1, v2, v3);
            unsigned char* p = out + x * 4;
            Store(p, v0);
            Store(p + 16, v1);
            Store(p + 32, v2);
            Store(p + 48, v3);
        }
        return x;
    }

    static __m128i Load(const unsigned char* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    }
    static void Store(unsigned char* p, __m128i v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    }

    // One round on four registers: (0, 2) and (1, 3) become their low halves' bytes interleaved
    // and their high halves' bytes interleaved.
    static void InterleaveHalves(__m128i& v0, __m128i& v1, __m128i& v2, __m128i& v3) {
        const __m128i t0 = _mm_unpacklo_epi8(v0, v2), t1 = _mm_unpackhi_epi8(v0, v2);
        const __m128i t2 = _mm_unpacklo_epi8(v1, v3), t3 = _mm_unpackhi_epi8(v1, v3);
        v0 = t0;
        v1 = t1;
        v2 = t2;
        v3 = t3;
    }

    // The same on six registers: pairs (0, 3), (1, 4), (2, 5).
    static void InterleaveHalves(__m128i& v0, __m128i& v1, __m128i& v2, __m128i& v3, __m128i& v4,
                                 __m128i& v5) {
        const __m128i t0 = _mm_unpacklo_epi8(v0, v3), t1 = _mm_unpackhi_epi8(v0, v3);
        const __m128i t2 = _mm_unpacklo_epi8(v1, v4), t3 = _mm_unpackhi_epi8(v1, v4);
        const __m128i t4 = _mm_unpacklo_epi8(v2, v5), t5 = _mm_unpackhi_epi8(v2, v5);
        v0 = t0;
        v1 = t1;
        v2 = t2;
        v3 = t3;
        v4 = t4;
        v5 = t5;
    }

    // The inverse round on six registers: pairs (0, 1), (2, 3), (4, 5) give their even bytes to
    // registers 0, 1, 2 and their odd bytes to 3, 4, 5.
    static void SeparateEvenOdd(__m128i& v0, __m128i& v1, __m128i& v2, __m128i& v3, __m128i& v4,
                                __m128i& v5) {
        const __m128i t0 = EvenBytes(v0, v1), t3 = OddBytes(v0, v1);
        const __m128i t1 = EvenBytes(v2, v3), t4 = OddBytes(v2, v3);
        const __m128i t2 = EvenBytes(v4, v5), t5 = OddBytes(v4, v5);
        v0 = t0;
        v1 = t1;
        v2 = t2;
        v3 = t3;
        v4 = t4;
        v5 = t5;
    }

    // Registers (0, 1), (2, 3), (4, 5) give their low halves to registers 0, 1, 2 and their
    // high halves to 3, 4, 5.
    static void PairHalves(__m128i& v0, __m128i& v1, __m128i& v2, __m128i& v3, __m128i& v4,
                           __m128i& v5) {
        const __m128i t0 = _mm_unpacklo_epi64(v0, v1), t3 = _mm_unpackhi_epi64(v0, v1);
        const __m128i t1 = _mm_unpacklo_epi64(v2, v3), t4 = _mm_unpackhi_epi64(v2, v3);
        const __m128i t2 = _mm_unpacklo_epi64(v4, v5), t5 = _mm_unpackhi_epi64(v4, v5);
        v0 = t0;
        v1 = t1;
        v2 = t2;
        v3 = t3;
        v4 = t4;
        v5 = t5;
    }

    static __m128i EvenBytes(__m128i a, __m128i b) {
        const __m128i lowBytes = _mm_set1_epi16(0x00ff);
        return _mm_packus_epi16(_mm_and_si128(a, lowBytes), _mm_and_si128(b, lowBytes));
    }
    static __m128i OddBytes(__m128i a, __m128i b) {
        return _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
    }

    // The arithmetic below takes each value in the high byte of a 16-bit lane, c * 256: the
    // unsigned high half of the product of c * 256 and w * 256 is exactly c * w, and a product
    // the compiler cannot turn into a chain of shifts and adds when w is a known weight.
    static __m128i HighBytes(int16_t value) {
        return _mm_slli_epi16(_mm_set1_epi16(value), 8);
    }

    // Sixteen pixels given as planes of blue, green and red bytes, scaled in place: eight at a
    // time in 16-bit lanes, packed back with the saturation to 0..255.
    static void ScalePlanes(__m128i& b, __m128i& g, __m128i& r, __m128i gains, __m128i lumaGains) {
        const __m128i zero = _mm_setzero_si128();
        __m128i bLow = _mm_unpacklo_epi8(zero, b), bHigh = _mm_unpackhi_epi8(zero, b);
        __m128i gLow = _mm_unpacklo_epi8(zero, g), gHigh = _mm_unpackhi_epi8(zero, g);
        __m128i rLow = _mm_unpacklo_epi8(zero, r), rHigh = _mm_unpackhi_epi8(zero, r);
        ScaleLanes(bLow, gLow, rLow, gains, lumaGains);
        ScaleLanes(bHigh, gHigh, rHigh, gains, lumaGains);
        b = _mm_packus_epi16(bLow, bHigh);
        g = _mm_packus_epi16(gLow, gHigh);
        r = _mm_packus_epi16(rLow, rHigh);
    }

    // Sixteen pixels as planes, scaled: their even and their odd pixels in 16-bit lanes (a shift
    // and a mask rather than shuffles), packed back with the saturation to 0..255 as the even
    // pixels' bytes followed by the odd pixels' bytes.
    static void ScalePlanesSeparating(__m128i& b, __m128i& g, __m128i& r, __m128i gains,
                                      __m128i lumaGains) {
        const __m128i highBytes = _mm_set1_epi16(static_cast<int16_t>(0xff00 - 0x10000));
        __m128i bEven = _mm_slli_epi16(b, 8), bOdd = _mm_and_si128(b, highBytes);
        __m128i gEven = _mm_slli_epi16(g, 8), gOdd = _mm_and_si128(g, highBytes);
        __m128i rEven = _mm_slli_epi16(r, 8), rOdd = _mm_and_si128(r, highBytes);
        ScaleLanes(bEven, gEven, rEven, gains, lumaGains);
        ScaleLanes(bOdd, gOdd, rOdd, gains, lumaGains);
        b = _mm_packus_epi16(bEven, bOdd);
        g = _mm_packus_epi16(gEven, gOdd);
        r = _mm_packus_epi16(rEven, rOdd);
    }

    // Eight pixels in 16-bit lanes, each channel given as c * 256 (see HighBytes), `gains` as
    // gain * 256 and `lumaGains` as 64 - gain. Y + floor((gain (c - Y) + 32) / 64) is computed as
    // floor((gain c + (64 - gain) Y + 32) / 64): the same value (64 Y is a whole multiple of 64),
    // one multiplication per channel fewer, and within -16320 .. 32672 for gains 0..128, so the
    // signed 16-bit lanes hold it. The results are plain values, not yet saturated.
    static void ScaleLanes(__m128i& b, __m128i& g, __m128i& r, __m128i gains, __m128i lumaGains) {
        __m128i y =
            _mm_add_epi16(_mm_mulhi_epu16(b, HighBytes(29)), _mm_mulhi_epu16(g, HighBytes(150)));
        y = _mm_add_epi16(y, _mm_mulhi_epu16(r, HighBytes(77)));
        y = _mm_srli_epi16(_mm_add_epi16(y, _mm_set1_epi16(128)), 8);
        const __m128i lumaPart = _mm_add_epi16(_mm_mullo_epi16(y, lumaGains), _mm_set1_epi16(32));
        b = _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epu16(b, gains), lumaPart), 6);
        g = _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epu16(g, gains), lumaPart), 6);
        r = _mm_srai_epi16(_mm_add_epi16(_mm_mulhi_epu16(r, gains), lumaPart), 6);
    }
#endif  // __SSE2__

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
