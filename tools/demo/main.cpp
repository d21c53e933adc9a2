// olvar-demo: a host program that drives the tracker through its public interface only.
//
// Input: a video file, a folder of images, a camera index, or by default the built-in scripted
// scene. Output (in ./olvar-out/ unless --out says otherwise): an annotated video with the
// library's mirrored preview beside it, a JSON-lines file with every frame's status, records and
// gestures, gesture events printed as they happen, and a summary.
#include <olvar/olvar.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/utils/logger.hpp>

#include "demo/annotate.h"
#include "demo/colour_conditioning.h"
#include "demo/demo_options.h"
#include "demo/frame_source.h"
#include "demo/json_lines.h"
#include "host/room_learner.h"

namespace {

using olvar::demo::DemoOptions;

// The tracker's own warm-up: its first frames report nothing.
constexpr int kTrackerWarmUpFrames = 30;

struct Summary {
    int frames = 0;  // frames fed to a tracker (input frames after the room phase)
    int trackedFrames = 0;
    int gestureEvents = 0;
    int hints = 0;
    float colourGain = 1.0f;
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

// What the demo counts over the whole run.
struct RunState {
    int inputFrames = 0;  // every frame read from the input, room phase included
    bool quit = false;    // window closed or the input ended
};

// The room phase: "Step out of view" with a countdown, then waiting until the picture holds
// still, then the median of the still second. Frames are shown and logged, never tracked.
// False when the input ends or the window closes first.
bool LearnTheRoom(olvar::demo::FrameSource& source, const DemoOptions& options, double fps,
                  olvar::demo::Annotator& annotator, olvar::demo::JsonLinesWriter& json,
                  RunState* run, std::vector<uint8_t>* room) {
    const cv::Size size = source.FrameSize();
    olvar::host::RoomLearner learner(size.width, size.height, fps, options.countdownSeconds);
    std::printf(
        "Step out of view: the empty room is learned in %.0f s, once the picture holds "
        "still (the tracker learns its background from it)\n",
        options.countdownSeconds);
    annotator.SetTracker(nullptr);
    cv::Mat frame;
    while (!learner.Done()) {
        if (!source.Next(&frame)) {
            run->quit = true;
            return false;
        }
        const olvar::host::RoomPhase phase =
            learner.Add(frame.data, static_cast<int>(frame.step[0]));
        json.WriteRoom(run->inputFrames++, olvar::host::RoomPhaseName(phase));
        switch (phase) {
            case olvar::host::RoomPhase::kCountdown:
                annotator.SetMessage("Step out of view  " +
                                     std::to_string(std::max(1, learner.CountdownLeft())));
                break;
            case olvar::host::RoomPhase::kWaiting:
                annotator.SetMessage("Waiting for the picture to hold still");
                break;
            default:
                annotator.SetMessage("Learning the room");
                break;
        }
        annotator.AddRoomFrame(frame);
        if (annotator.WindowClosed()) {
            run->quit = true;
            return false;
        }
    }
    if (learner.FellBack()) {
        std::printf(
            "The picture never held still for a second within %.0f s: the last second "
            "is taken as the room\n",
            olvar::host::RoomLearner::kMaxWaitSeconds);
    }
    *room = learner.Room();
    std::string error;
    if (!options.savePlatePath.empty()) {
        if (olvar::demo::WriteImage(options.savePlatePath, *room, size, &error)) {
            std::printf("wrote the learned room to %s\n", options.savePlatePath.c_str());
        } else {
            std::fprintf(stderr, "olvar-demo: %s\n", error.c_str());
        }
    }
    std::printf("Come back in\n");
    return true;
}

// One tracking session on a fresh tracker, warmed up on `room` when there is one. Returns when
// the input ends, the window closes, or key b asks to learn the room again.
void TrackSession(std::unique_ptr<olvar::demo::FrameSource>& source, const DemoOptions& options,
                  double fps, const std::vector<uint8_t>& room, olvar::demo::Annotator& annotator,
                  olvar::demo::JsonLinesWriter& json, RunState* run, Summary* summary) {
    const cv::Size size = source->FrameSize();
    IOlvar* tracker = CreateConfiguredTracker(options, size);
    if (tracker == nullptr) {
        run->quit = true;
        return;
    }
    OlvarColourGain colourGain;
    if (room.empty()) {
        source = olvar::demo::ChooseColourGain(std::move(source), options, &colourGain);
    } else {
        olvar::demo::ChooseColourGainFromRoom(room, size, options, &colourGain);
    }
    summary->colourGain = colourGain.Gain();
    annotator.SetTracker(tracker);
    int fed = 0;  // frames the tracker has seen, for the hint after its warm-up
    if (!room.empty()) {
        olvar::host::WarmUpOnRoom(
            tracker, room, options.plateFrames,
            [&](std::vector<uint8_t>& frame) {
                colourGain.ApplyInPlace(frame.data(), static_cast<int>(frame.size()));
            },
            [&](int status) {
                json.WritePlate(status);
                ++fed;
            });
    }
    annotator.SetMessage(room.empty() || !olvar::demo::LearnsRoom(options) ? "" : "Come back in");
    olvar::host::UntrackedHint hint(size.width, size.height, fps);
    int lastGesture[2] = {-1, -1};
    int sinceStart = 0;
    cv::Mat frame, conditioned;
    while (options.maxFrames <= 0 || run->inputFrames < options.maxFrames) {
        if (!source->Next(&frame)) {
            run->quit = true;
            break;
        }
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
        summary->totalMs += ms;
        ++summary->frames;
        const bool tracked = status == kOlvarOk && records[0].torsoHalfWidth > 0;
        summary->trackedFrames += tracked ? 1 : 0;
        if (status == kOlvarOk) {
            ReportGestures(tracker, run->inputFrames, options.users, gestures, lastGesture,
                           summary);
        }
        // The hint watches from the end of the tracker's warm-up on.
        const char* hintText = nullptr;
        if (++fed > kTrackerWarmUpFrames &&
            hint.Update(tracked, frame.data, static_cast<int>(frame.step[0]))) {
            hintText = olvar::host::UntrackedHint::kText;
            ++summary->hints;
            std::printf("frame %5d  hint: %s\n", run->inputFrames, hintText);
            annotator.SetMessage("Nobody tracked? Step out of view and press b");
            sinceStart = 0;
        }
        if (++sinceStart == static_cast<int>(3 * fps)) {
            annotator.SetMessage("");  // "Come back in" and the hint stay three seconds
        }
        json.Write(run->inputFrames++, status, userNumber, ms, options.users, records, gestures,
                   tracker, hintText);
        annotator.Add(frame, status, options.users, records, gestures);
        if (annotator.WindowClosed()) {
            run->quit = true;
            break;
        }
        if (annotator.TakeRelearnRequest()) {
            break;
        }
    }
    if (options.maxFrames > 0 && run->inputFrames >= options.maxFrames) {
        run->quit = true;
    }
    annotator.SetTracker(nullptr);
    ReleaseOlvar(&tracker);
}

// Checks the options that name files before anything is written.
bool CheckFiles(const DemoOptions& options, cv::Size size, std::vector<uint8_t>* plate,
                std::string* error) {
    if (!options.platePath.empty() &&
        !olvar::demo::LoadPlate(options.platePath, size, plate, error)) {
        return false;
    }
    return options.savePlatePath.empty() ||
           olvar::demo::CanWriteImage(options.savePlatePath, error);
}

int Run(const DemoOptions& options) {
    std::string error;
    std::unique_ptr<olvar::demo::FrameSource> source = olvar::demo::OpenSource(options, &error);
    std::vector<uint8_t> room;
    if (!source || !CheckFiles(options, source ? source->FrameSize() : cv::Size(), &room, &error) ||
        !olvar::demo::MakeOutputFolder(options.outputDir, &error)) {
        std::fprintf(stderr, "olvar-demo: %s\n", error.c_str());
        return 2;
    }
    const double fps = options.fps > 0 ? options.fps : source->Fps();
    olvar::demo::Annotator annotator(nullptr, options, source->FrameSize());
    if (!annotator.Open(&error)) {
        std::fprintf(stderr, "olvar-demo: %s\n", error.c_str());
        return 2;
    }
    olvar::demo::JsonLinesWriter json(options.outputDir + "/frames.jsonl");
    if (!json.IsOpen()) {
        std::fprintf(stderr, "olvar-demo: cannot write %s/frames.jsonl\n",
                     options.outputDir.c_str());
        return 2;
    }

    Summary summary;
    RunState run;
    bool learn = olvar::demo::LearnsRoom(options);
    while (!run.quit) {
        if (learn && !LearnTheRoom(*source, options, fps, annotator, json, &run, &room)) {
            break;
        }
        TrackSession(source, options, fps, room, annotator, json, &run, &summary);
        learn = true;  // key b: learn the room again on a fresh tracker
    }
    if (run.inputFrames == 0) {
        std::fprintf(stderr, "olvar-demo: the input holds no readable frame\n");
        return 2;
    }
    std::printf(
        "frames %d\ntracked frames %d\ngesture events %d\nms per frame %.3f\n"
        "colour gain %.2f\nhints %d\n",
        run.inputFrames, summary.trackedFrames, summary.gestureEvents,
        summary.frames > 0 ? summary.totalMs / summary.frames : 0.0, summary.colourGain,
        summary.hints);
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
        std::fprintf(stderr, "olvar-demo: %s (olvar-demo --help lists the options)\n",
                     error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(olvar::demo::Usage(), stdout);
        return 0;
    }
    return Run(options);
}
