#include "demo/demo_options.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

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

}  // namespace

const char* Usage() {
    return "usage: olvar-demo [INPUT] [options]\n"
           "  INPUT            a video file, a folder of images, or camera:N; default: the\n"
           "                   built-in scripted scene\n"
           "  --plate FILE     feed this background picture first (for clips that start with\n"
           "                   the person already in view)\n"
           "  --plate-frames N frames of the plate to feed (default 40)\n"
           "  --seed N         seed of the built-in scene (default 1)\n"
           "  --frames N       stop after N frames\n"
           "  --mode N         gesture mode 0..14 (default 4)\n"
           "  --users 1|2      follow one or two users (default 1)\n"
           "  --palm           palm and finger tracking\n"
           "  --legs           leg tracking (the built-in scene becomes the whole-body leg scene)\n"
           "  --height         body height estimation\n"
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
