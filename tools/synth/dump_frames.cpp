// olvar-synth-dump: renders frames of a ready-made script and writes them as PNG files, optionally
// with the ground truth drawn on top or tiled into one contact sheet.
//
//   olvar-synth-dump [--script NAME] [--size WxH] [--every N | --frames A,B,...] [--truth]
//                    [--sheet] [--skin-furniture] [--seed N] [--noise SIGMA]
//                    [--tone 0-4] [--shirt N] [--hair N] [--short-sleeves] [--person-size F]
//                    OUTPUT_DIR
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "synth/scene.h"

namespace {

using olvar::synth::Script;
using olvar::synth::ScriptOptions;

struct Options {
    std::string script = "demo";
    cv::Size size{640, 480};
    int every = 10;
    std::vector<int> frames;
    bool truth = false;
    bool sheet = false;
    bool skinFurniture = false;
    unsigned seed = 1;
    double noise = 2.0;
    ScriptOptions person;
    int tone = 1, shirt = 0, hair = 1;
    bool longSleeves = true;
    std::string output;
};

const std::map<std::string, std::function<Script(const ScriptOptions&)>>& Scripts() {
    namespace s = olvar::synth;
    static const std::map<std::string, std::function<Script(const ScriptOptions&)>> scripts = {
        {"empty", [](const ScriptOptions&) { return s::ScriptEmptyRoom(40); }},
        {"rest", s::ScriptRest},
        {"raise", s::ScriptWalkInAndRaise},
        {"swipes", s::ScriptSwipes},
        {"wave", s::ScriptWave},
        {"dwell", s::ScriptDwell},
        {"apart", s::ScriptHandsApartTogether},
        {"lean", s::ScriptLean},
        {"crouch", s::ScriptCrouch},
        {"two", s::ScriptTwoPeople},
        {"demo", s::ScriptDemo},
        {"palm", s::ScriptPalm},
    };
    return scripts;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: olvar-synth-dump [--script NAME] [--size WxH] [--every N | --frames "
                 "A,B,...] [--truth] [--sheet] [--skin-furniture] [--seed N] [--noise SIGMA] "
                 "[--tone 0-4] [--shirt N] [--hair N] [--short-sleeves] [--person-size F] "
                 "OUTPUT_DIR\nscripts:");
    for (const auto& entry : Scripts()) {
        std::fprintf(stderr, " %s", entry.first.c_str());
    }
    std::fprintf(stderr, "\n");
    return 2;
}

bool Parse(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--script" && hasValue) {
            options->script = argv[++i];
        } else if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &options->size.width, &options->size.height) != 2 ||
                options->size.width < 16 || options->size.height < 16) {
                return false;
            }
        } else if (arg == "--every" && hasValue) {
            options->every = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--frames" && hasValue) {
            std::stringstream list(argv[++i]);
            std::string item;
            while (std::getline(list, item, ',')) {
                options->frames.push_back(std::atoi(item.c_str()));
            }
        } else if (arg == "--truth") {
            options->truth = true;
        } else if (arg == "--sheet") {
            options->sheet = true;
        } else if (arg == "--skin-furniture") {
            options->skinFurniture = true;
        } else if (arg == "--seed" && hasValue) {
            options->seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--noise" && hasValue) {
            options->noise = std::atof(argv[++i]);
        } else if (arg == "--tone" && hasValue) {
            options->tone = std::atoi(argv[++i]);
            if (options->tone < 0 || options->tone >= olvar::synth::kSkinToneCount) {
                return false;
            }
        } else if (arg == "--shirt" && hasValue) {
            options->shirt = std::atoi(argv[++i]);
        } else if (arg == "--hair" && hasValue) {
            options->hair = std::atoi(argv[++i]);
        } else if (arg == "--short-sleeves") {
            options->longSleeves = false;
        } else if (arg == "--person-size" && hasValue) {
            options->person.size = static_cast<float>(std::atof(argv[++i]));
            if (!(options->person.size > 0.01f && options->person.size < 1.0f)) {
                return false;
            }
        } else if (!arg.empty() && arg[0] != '-' && options->output.empty()) {
            options->output = arg;
        } else {
            return false;
        }
    }
    return !options->output.empty() && Scripts().count(options->script) == 1;
}

void DrawTruth(const olvar::synth::Frame& frame, cv::Mat* image) {
    const cv::Scalar silhouette(255, 0, 255), joint(0, 255, 255), hand(0, 0, 255), face(0, 255, 0);
    for (const olvar::synth::PersonTruth& person : frame.people) {
        if (!person.visible) {
            continue;
        }
        std::vector<std::vector<cv::Point>> contours;
        cv::findContours(person.silhouette.clone(), contours, cv::RETR_EXTERNAL,
                         cv::CHAIN_APPROX_SIMPLE);
        cv::drawContours(*image, contours, -1, silhouette, 1);
        cv::rectangle(*image, person.faceBox, face, 1);
        for (const cv::Point2f& p : person.joints) {
            cv::circle(*image, p, 3, joint, cv::FILLED);
        }
        for (const cv::Point2f& p : person.legJoints) {
            cv::circle(*image, p, 3, joint, cv::FILLED);
        }
        for (const cv::Point2f& p : person.hands) {
            cv::circle(*image, p, static_cast<int>(person.handSize / 2), hand, 2);
        }
        cv::circle(*image, person.face, 3, face, cv::FILLED);
        cv::drawMarker(*image, person.torso, face, cv::MARKER_CROSS, 10, 2);
        cv::putText(*image, person.label.Text(), person.faceBox.tl() + cv::Point2f(0, -6),
                    cv::FONT_HERSHEY_SIMPLEX, 0.45, cv::Scalar(255, 255, 255), 1, cv::LINE_AA);
    }
    cv::putText(*image, std::to_string(frame.index), {6, 18}, cv::FONT_HERSHEY_SIMPLEX, 0.55,
                cv::Scalar(255, 255, 255), 1, cv::LINE_AA);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, &options)) {
        return Usage();
    }
    olvar::synth::SceneConfig config;
    config.frameSize = options.size;
    options.person.look =
        olvar::synth::MakeAppearance(static_cast<olvar::synth::SkinTone>(options.tone),
                                     options.shirt, options.hair, options.longSleeves);
    config.script = Scripts().at(options.script)(options.person);
    config.room.seed = options.seed;
    config.room.skinColouredFurniture = options.skinFurniture;
    config.noiseSigma = options.noise;
    config.seed = options.seed;
    const olvar::synth::Scene scene(config);

    std::vector<int> frames = options.frames;
    if (frames.empty()) {
        for (int i = 0; i < scene.FrameCount(); i += options.every) {
            frames.push_back(i);
        }
    }
    std::vector<cv::Mat> tiles;
    for (int index : frames) {
        const olvar::synth::Frame frame = scene.Render(index);
        cv::Mat image = frame.image;
        if (options.truth) {
            DrawTruth(frame, &image);
        }
        if (options.sheet) {
            tiles.push_back(image);
            continue;
        }
        char name[64];
        std::snprintf(name, sizeof(name), "/%s_%04d.png", options.script.c_str(), index);
        if (!cv::imwrite(options.output + name, image)) {
            std::fprintf(stderr, "cannot write %s%s\n", options.output.c_str(), name);
            return 1;
        }
    }
    if (options.sheet && !tiles.empty()) {
        // Four tiles per row at half size.
        const int columns = 4;
        const cv::Size tile(options.size.width / 2, options.size.height / 2);
        const int rows = (static_cast<int>(tiles.size()) + columns - 1) / columns;
        cv::Mat sheet(tile.height * rows, tile.width * columns, CV_8UC3, cv::Scalar(0, 0, 0));
        for (size_t i = 0; i < tiles.size(); ++i) {
            const cv::Rect cell(static_cast<int>(i % columns) * tile.width,
                                static_cast<int>(i / columns) * tile.height, tile.width,
                                tile.height);
            cv::resize(tiles[i], sheet(cell), tile, 0, 0, cv::INTER_AREA);
        }
        const std::string name = options.output + "/" + options.script + "_sheet.png";
        if (!cv::imwrite(name, sheet)) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
