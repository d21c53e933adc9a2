// Command-line options of olvar-demo.
#ifndef OLVAR_TOOLS_DEMO_DEMO_OPTIONS_H
#define OLVAR_TOOLS_DEMO_DEMO_OPTIONS_H

#include <string>

namespace olvar::demo {

enum class InputKind { kScene, kVideo, kFolder, kCamera };

// How the frames' chroma is conditioned before the tracker sees them.
enum class ColourGainMode { kAuto, kOff, kFixed };

struct DemoOptions {
    InputKind input = InputKind::kScene;
    std::string inputPath;  // video file or image folder
    int cameraIndex = 0;
    std::string platePath;  // optional background plate fed before the input
    int plateFrames = 40;
    // Learn the room before tracking: on by default for cameras only.
    enum class LearnRoom { kDefault, kOn, kOff } learnRoom = LearnRoom::kDefault;
    double countdownSeconds = 3.0;
    double fps = 0.0;           // 0: the input's own rate (30 for folders and the scene)
    std::string savePlatePath;  // where to write the learned room
    int sceneSeed = 1;
    std::string sceneScript = "demo";  // the built-in scene: "demo", "palm", "legs" or "in-view"
    int maxFrames = 0;                 // 0: all
    int gestureMode = 4;
    int users = 1;
    bool palm = false;
    bool legs = false;
    bool estimateHeight = false;
    bool window = false;
    ColourGainMode colourGain = ColourGainMode::kAuto;
    float colourGainValue = 1.0f;  // with kFixed
    bool help = false;
    std::string outputDir = "olvar-out";
};

// Whether the room is learned before tracking, after the defaults are applied.
bool LearnsRoom(const DemoOptions& options);

// Parses argv; false with a message on a bad argument.
bool ParseOptions(int argc, char** argv, DemoOptions* options, std::string* error);
const char* Usage();

}  // namespace olvar::demo

#endif  // OLVAR_TOOLS_DEMO_DEMO_OPTIONS_H
