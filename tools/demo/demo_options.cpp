#include "demo/demo_options.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <olvar/colour_gain.h>

namespace olvar::demo {
namespace {

bool ParseInt(const char* text, int lo, int hi, int* value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < lo || v > hi) {
        return false;
    }
    *value = static_cast<int>(v);
    return true;
}

bool ParseSeconds(const char* text, double lo, double hi, bool openLow, double* value) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v <= hi) || v < lo || (openLow && v == lo)) {
        return false;
    }
    *value = v;
    return true;
}

// "auto", "off" or a gain from 0 to the helper's cap.
bool ParseColourGain(const char* text, DemoOptions* o) {
    const std::string word = text;
    if (word == "auto" || word == "off") {
        o->colourGain = word == "auto" ? ColourGainMode::kAuto : ColourGainMode::kOff;
        return true;
    }
    char* end = nullptr;
    const float v = std::strtof(text, &end);
    if (end == text || *end != '\0' || !(v >= 0.0f && v <= OlvarColourGain::kMaxGain)) {
        return false;
    }
    o->colourGain = ColourGainMode::kFixed;
    o->colourGainValue = v;
    return true;
}

}  // namespace

bool LearnsRoom(const DemoOptions& options) {
    if (options.learnRoom == DemoOptions::LearnRoom::kDefault) {
        return options.input == InputKind::kCamera && options.platePath.empty();
    }
    return options.learnRoom == DemoOptions::LearnRoom::kOn;
}

const char* Usage() {
    return "usage: olvar-demo [INPUT] [options]\n"
           "  INPUT            a video file, a folder of images, or camera:N; default: the\n"
           "                   built-in scripted scene\n"
           "  --plate FILE     feed this background picture first (for clips that start with\n"
           "                   the person already in view)\n"
           "  --plate-frames N frames of the plate to feed (default 40)\n"
           "  --learn-room     ask everyone to step out of view and learn the empty room before\n"
           "                   tracking (default for camera:N; key b in the window re-learns)\n"
           "  --no-learn-room  track from the first frame\n"
           "  --countdown S    seconds to step out of view before the room is learned (default 3)\n"
           "  --fps N          frame rate of the input (default: the video's or camera's own, 30\n"
           "                   for folders of images)\n"
           "  --save-plate F   write the learned room as an image file\n"
           "  --seed N         seed of the built-in scene (default 1)\n"
           "  --scene NAME     the built-in scene: demo (default; with --palm the palm scene,\n"
           "                   with --legs the leg scene), palm (a raised open hand that taps),\n"
           "                   legs (the whole body in view, moving the legs) or in-view (the\n"
           "                   person is in view from the first frame, leaves and comes back)\n"
           "  --frames N       stop after N frames\n"
           "  --mode N         gesture mode 0..14 (default 4)\n"
           "  --users 1|2      follow one or two users (default 1)\n"
           "  --palm           palm and finger tracking\n"
           "  --legs           leg tracking (the built-in scene becomes the whole-body leg scene)\n"
           "  --height         body height estimation\n"
           "  --colour-gain G  chroma gain for pale cameras: auto (default: chosen from the\n"
           "                   first 30 frames), off, or a number from 0 to 2\n"
           "  --window         show the annotated frames in a window (needs a display)\n"
           "  --out DIR        output folder (default ./olvar-out)\n";
}

bool ParseOptions(int argc, char** argv, DemoOptions* o, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                *error = std::string(name) + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        auto intValue = [&](const char* name, int lo, int hi, int* out) {
            const char* text = value(name);
            if (text == nullptr) {
                return false;
            }
            if (!ParseInt(text, lo, hi, out)) {
                *error = std::string(name) + ": expected a number from " + std::to_string(lo) +
                         " to " + std::to_string(hi) + ", got '" + text + "'";
                return false;
            }
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            o->help = true;
        } else if (arg == "--plate") {
            const char* text = value("--plate");
            if (text == nullptr)
                return false;
            o->platePath = text;
        } else if (arg == "--plate-frames") {
            if (!intValue("--plate-frames", 0, 100000, &o->plateFrames))
                return false;
        } else if (arg == "--seed") {
            if (!intValue("--seed", 0, 1 << 30, &o->sceneSeed))
                return false;
        } else if (arg == "--frames") {
            if (!intValue("--frames", 0, 1 << 30, &o->maxFrames))
                return false;
        } else if (arg == "--mode") {
            if (!intValue("--mode", 0, 14, &o->gestureMode))
                return false;
        } else if (arg == "--users") {
            if (!intValue("--users", 1, 2, &o->users))
                return false;
        } else if (arg == "--palm") {
            o->palm = true;
        } else if (arg == "--legs") {
            o->legs = true;
        } else if (arg == "--height") {
            o->estimateHeight = true;
        } else if (arg == "--scene") {
            const char* text = value("--scene");
            if (text == nullptr)
                return false;
            o->sceneScript = text;
            if (o->sceneScript != "demo" && o->sceneScript != "palm" && o->sceneScript != "legs" &&
                o->sceneScript != "in-view") {
                *error = std::string("--scene: expected demo, palm, legs or in-view, got '") +
                         text + "'";
                return false;
            }
        } else if (arg == "--learn-room" || arg == "--no-learn-room") {
            o->learnRoom =
                arg == "--learn-room" ? DemoOptions::LearnRoom::kOn : DemoOptions::LearnRoom::kOff;
        } else if (arg == "--countdown" || arg == "--fps") {
            const char* text = value(arg.c_str());
            if (text == nullptr)
                return false;
            const bool countdown = arg == "--countdown";
            if (!ParseSeconds(text, 0.0, countdown ? 60.0 : 1000.0, !countdown,
                              countdown ? &o->countdownSeconds : &o->fps)) {
                *error = countdown
                             ? std::string("--countdown: expected seconds from 0 to 60, got '") +
                                   text + "'"
                             : std::string("--fps: expected a rate above 0 and up to 1000, got '") +
                                   text + "'";
                return false;
            }
        } else if (arg == "--save-plate") {
            const char* text = value("--save-plate");
            if (text == nullptr)
                return false;
            o->savePlatePath = text;
        } else if (arg == "--colour-gain") {
            const char* text = value("--colour-gain");
            if (text == nullptr)
                return false;
            if (!ParseColourGain(text, o)) {
                *error = std::string(
                             "--colour-gain: expected auto, off or a number from 0 to 2, "
                             "got '") +
                         text + "'";
                return false;
            }
        } else if (arg == "--window") {
            o->window = true;
        } else if (arg == "--out") {
            const char* text = value("--out");
            if (text == nullptr)
                return false;
            o->outputDir = text;
        } else if (!arg.empty() && arg[0] == '-') {
            *error = "unknown option " + arg;
            return false;
        } else if (o->input != InputKind::kScene) {
            *error = "more than one input given";
            return false;
        } else if (arg.rfind("camera:", 0) == 0) {
            o->input = InputKind::kCamera;
            if (!ParseInt(arg.c_str() + 7, 0, 64, &o->cameraIndex)) {
                *error = "bad camera index in " + arg;
                return false;
            }
        } else {
            std::error_code ec;
            if (!std::filesystem::exists(arg, ec)) {
                *error = "no such file or folder: " + arg;
                return false;
            }
            o->inputPath = arg;
            o->input =
                std::filesystem::is_directory(arg, ec) ? InputKind::kFolder : InputKind::kVideo;
        }
    }
    return true;
}

}  // namespace olvar::demo
