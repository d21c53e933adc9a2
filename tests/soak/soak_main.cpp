// Soak: 20,000 frames (or the count given as the first argument) of a rendered person through
// one tracker with height estimation, leg and palm tracking on, printing the resident memory
// every 1,000 frames (above what the rendered frames take) and the range of the figures after
// the first 1,000. The scene loops a rendered sequence: the person walks in, swipes, rests.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "olvar/olvar.h"
#include "synth/scene.h"

namespace {

// Resident set size in MB, from /proc/self/statm.
double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 20000;
    const cv::Size size(640, 480);
    olvar::synth::SceneConfig config;
    config.frameSize = size;
    config.script = olvar::synth::ScriptSwipes();
    const olvar::synth::Scene scene(config);
    std::vector<cv::Mat> images;
    for (int i = 0; i < scene.FrameCount(); ++i) {
        images.push_back(scene.Render(i).image);
    }

    // The rendered frames are held in memory; the figures below count from here.
    const double baseline = ResidentMb();
    IOlvar* tracker = CreateOlvar();
    if (tracker == nullptr || tracker->SetFrameFormat(3 * size.width, size.height, size.width,
                                                      kOlvarBgr24, false) != kOlvarOk) {
        std::fprintf(stderr, "soak: no tracker\n");
        return 1;
    }
    const OlvarOptions options = {true, false, true, true, true, true};
    tracker->SetOptions(&options);
    double low = 1e9, high = 0;
    int tracked = 0;
    std::printf(
        "soak: %d frames of %dx%d, a %zu-frame scene looped; resident memory above the "
        "%.1f MB of the rendered frames\n",
        frames, size.width, size.height, images.size(), baseline);
    for (int i = 1; i <= frames; ++i) {
        const cv::Mat& image = images[static_cast<size_t>(i - 1) % images.size()];
        TrackingRecord records[1];
        GestureRecord gestures[1];
        int user = 0;
        const int status = tracker->ProcessFrame(image.data, static_cast<int>(image.total() * 3),
                                                 &user, records, gestures);
        tracked += status == kOlvarOk && records[0].torsoHalfWidth > 0 ? 1 : 0;
        if (i % 1000 == 0) {
            const double mb = ResidentMb() - baseline;
            if (i > 1000) {
                low = std::min(low, mb);
                high = std::max(high, mb);
            }
            std::printf("frame %6d: resident %.1f MB, %d tracked frames so far\n", i, mb, tracked);
            std::fflush(stdout);
        }
    }
    ReleaseOlvar(&tracker);
    if (high > 0) {
        std::printf("soak: resident memory after frame 1000 between %.1f and %.1f MB\n", low, high);
    }
    return 0;
}
