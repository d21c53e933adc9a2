// olvar-demo: a host program that drives the tracker through its public interface only.
//
// Input: a video file, a folder of images, a camera index, or by default the built-in scripted
// scene. Output (in ./olvar-out/ unless --out says otherwise): an annotated video with the
// library's mirrored preview beside it, a JSON-lines file with every frame's status, records and
// gestures, gesture events printed as they happen, and a summary.
#include <olvar/olvar.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>

#include "demo/annotate.h"
#include "demo/colour_conditioning.h"
#include "demo/demo_options.h"
#include "demo/frame_source.h"
#include "demo/json_lines.h"

namespace {

using olvar::demo::DemoOptions;

struct Summary {
    int frames = 0;
    int trackedFrames = 0;
    int gestureEvents = 0;
    double totalMs = 0;
};

// Creates the tracker and applies the options; null (with a message) on failure.
IOlvar* CreateConfiguredTracker(const DemoOptions& options, const cv::Size& frameSize) {
    IOlvar* tracker = CreateOlvar();
    if (tracker == nullptr) {
        std::fprintf(stderr, "olvar-demo: could not create the tracker\n");
        return nullptr;
    }
    const int stride = frameSize.width * 3;
    if (tracker->SetFrameFormat(stride, frameSize.height, frameSize.width, kOlvarBgr24, false) !=
        kOlvarOk) {
        std::fprintf(stderr, "olvar-demo: the tracker refuses %dx%d frames (120..2048 pixels)\n",
                     frameSize.width, frameSize.height);
        ReleaseOlvar(&tracker);
        return nullptr;
    }
    OlvarOptions flags = tracker->GetOptions();
    flags.estimateHeight = options.estimateHeight;
    flags.legTrackingEnabled = options.legs;
    flags.palmEnabled = options.palm;
    tracker->SetOptions(&flags);
    const UserMode users{options.users, 0};
    tracker->SetUserMode(&users);
    if (tracker->SetGestureMode(&options.gestureMode) != kOlvarOk) {
        std::fprintf(stderr, "olvar-demo: unknown gesture mode %d\n", options.gestureMode);
        ReleaseOlvar(&tracker);
        return nullptr;
    }
    return tracker;
}

// Prints each user's gesture when it is a real event (not "nothing" and not a repeated
// neutral or cursor report).
void ReportGestures(IOlvar* tracker, int frame, int users, const GestureRecord* gestures,
                    int* lastGesture, Summary* summary) {
    for (int k = 0; k < users; ++k) {
        const int id = gestures[k].gesture;
        if (id < 0 || id == lastGesture[k]) {
            lastGesture[k] = id < 0 ? lastGesture[k] : id;
            continue;
        }
        lastGesture[k] = id;
        ++summary->gestureEvents;
        std::printf("frame %5d  user %d  %s (%.3f, %.3f)\n", frame, k, tracker->GetGestureName(id),
                    gestures[k].x, gestures[k].y);
    }
}

int Run(const DemoOptions& options) {
    std::string error;
    std::unique_ptr<olvar::demo::FrameSource> source = olvar::demo::OpenSource(options, &error);
    if (!source) {
        std::fprintf(stderr, "olvar-demo: %s\n", error.c_str());
        return 2;
    }
    OlvarColourGain colourGain;
    source = olvar::demo::ChooseColourGain(std::move(source), options, &colourGain);
    if (!olvar::demo::MakeOutputFolder(options.outputDir, &error)) {
        std::fprintf(stderr, "olvar-demo: %s\n", error.c_str());
        return 2;
    }
    IOlvar* tracker = CreateConfiguredTracker(options, source->FrameSize());
    if (tracker == nullptr) {
        return 1;
    }
    olvar::demo::Annotator annotator(tracker, options, source->FrameSize());
    if (!annotator.Open(&error)) {
        std::fprintf(stderr, "olvar-demo: %s\n", error.c_str());
        ReleaseOlvar(&tracker);
        return 2;
    }
    olvar::demo::JsonLinesWriter json(options.outputDir + "/frames.jsonl");
    if (!json.IsOpen()) {
        std::fprintf(stderr, "olvar-demo: cannot write %s/frames.jsonl\n",
                     options.outputDir.c_str());
        ReleaseOlvar(&tracker);
        return 2;
    }

    Summary summary;
    int lastGesture[2] = {-1, -1};
    cv::Mat frame, conditioned;
    while ((options.maxFrames <= 0 || summary.frames < options.maxFrames) && source->Next(&frame)) {
        TrackingRecord records[2];
        GestureRecord gestures[2] = {{-1, 0, 0}, {-1, 0, 0}};
        int userNumber = 0;
        const auto start = std::chrono::steady_clock::now();
        const cv::Mat& input = olvar::demo::ConditionFrame(colourGain, frame, &conditioned);
        const int status = tracker->ProcessFrame(input.data, static_cast<int>(input.total() * 3),
                                                 &userNumber, records, gestures);
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        summary.totalMs += ms;
        const bool tracked = status == kOlvarOk && records[0].torsoHalfWidth > 0;
        summary.trackedFrames += tracked ? 1 : 0;
        if (status == kOlvarOk) {
            ReportGestures(tracker, summary.frames, options.users, gestures, lastGesture, &summary);
        }
        json.Write(summary.frames, status, userNumber, ms, options.users, records, gestures,
                   tracker);
        annotator.Add(frame, status, options.users, records, gestures);
        ++summary.frames;
        if (annotator.WindowClosed()) {
            break;
        }
    }
    ReleaseOlvar(&tracker);
    if (summary.frames == 0) {
        std::fprintf(stderr, "olvar-demo: the input holds no readable frame\n");
        return 2;
    }
    std::printf(
        "frames %d\ntracked frames %d\ngesture events %d\nms per frame %.3f\n"
        "colour gain %.2f\n",
        summary.frames, summary.trackedFrames, summary.gestureEvents,
        summary.totalMs / summary.frames, colourGain.Gain());
    std::printf("wrote %s and %s/frames.jsonl\n", annotator.VideoPath().c_str(),
                options.outputDir.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // The demo reports its own errors; OpenCV's back-end chatter only confuses them.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    DemoOptions options;
    std::string error;
    if (!olvar::demo::ParseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "olvar-demo: %s\n\n%s", error.c_str(), olvar::demo::Usage());
        return 2;
    }
    if (options.help) {
        std::fputs(olvar::demo::Usage(), stdout);
        return 0;
    }
    return Run(options);
}
