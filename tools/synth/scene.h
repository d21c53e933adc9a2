// Synthetic scenes for tests and tools: a static room with people drawn from parametric poses,
// moving by script, with per-frame ground truth in the tracking record's terms.
//
//   synth::SceneConfig config;
//   config.script = synth::ScriptSwipes();
//   const synth::Scene scene(config);
//   for (int i = 0; i < scene.FrameCount(); ++i) {
//       const synth::Frame frame = scene.Render(i);  // frame.image, frame.people[k]...
//   }
//
// Rendering is deterministic for a seed and random-access: Render(i) does not depend on which
// frames were rendered before.
#ifndef OLVAR_TOOLS_SYNTH_SCENE_H
#define OLVAR_TOOLS_SYNTH_SCENE_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/body.h"
#include "synth/room.h"
#include "synth/script.h"

namespace olvar::synth {

// Ground truth of one hand for the palm analysis, frame pixels. Fingers in the hand model's
// order: 0 thumb, 1 index, 2 middle, 3 ring, 4 little.
struct PalmTruth {
    bool open = false;     // drawn as an open hand facing the camera (fingers spread or a fist)
    bool fist = false;     // open, but with the fingers curled to under half their length
    bool tapping = false;  // the index finger is shortened to under three quarters of its length
    cv::Point2f centre;
    float radius = 0.0f;
    std::array<cv::Point2f, 5> tips{};
    std::array<cv::Point2f, 5> bases{};
};

// Ground truth for one person in one frame, in frame pixels, named as in the tracking record.
struct PersonTruth {
    bool visible = false;  // some of the person is in the picture
    Label label;           // what the person is doing (the active script step)
    float torsoHalfWidth = 0.0f;
    // Face: the head centre (on the skin of the face, between eyes and mouth), the head height
    // from the top of the hair to the chin, and the head's bounding box (hair, ears and face).
    cv::Point2f face;
    float faceSize = 0.0f;
    cv::Rect2f faceBox;
    // Centre of the shoulder line: half a torso half-width straight above the shoulder centre
    // joint, the same relation the tracker's skeleton keeps between the two.
    cv::Point2f torso;
    // Hand 0 is the hand of the image-right arm, hand 1 of the image-left arm; centres of the
    // palms. The hand size is half the torso half-width, as the hand trackers define it.
    std::array<cv::Point2f, 2> hands{};
    float handSize = 0.0f;
    // The seven upper-body joints in record order (indexed by OlvarRecordJoint): image-right
    // elbow, image-left elbow, image-right shoulder, image-left shoulder, neck top, shoulder
    // centre, hip centre.
    std::array<cv::Point2f, 7> joints{};
    // Hips, knees, feet (ankles) in record order (indexed by OlvarRecordLegJoint): image-right
    // hip, image-left hip, image-right knee, image-left knee, image-right foot, image-left foot.
    std::array<cv::Point2f, 6> legJoints{};
    // All sixteen skeleton joints (Joint numbering).
    std::array<cv::Point2f, kJointCount> skeleton{};
    // Both hands' palm truth (index as `hands`); meaningful where `open` is set.
    std::array<PalmTruth, 2> palms{};
    // CV_8UC1 masks at frame resolution, 0 or 1: the visible pixels of the person (at least half
    // covered and not hidden by the other person) and the visible skin among them.
    cv::Mat silhouette;
    cv::Mat skin;
};

struct Frame {
    int index = 0;
    cv::Mat image;                    // CV_8UC3, blue-green-red
    std::vector<PersonTruth> people;  // one per script track, in script order, visible or not
    std::vector<std::string> labels;  // the people's labels as text, in the same order
};

struct SceneConfig {
    cv::Size frameSize{640, 480};
    Script script;
    RoomStyle room;
    double noiseSigma = 2.0;       // Gaussian sensor noise per pixel and channel, grey levels
    double driftAmplitude = 0.03;  // brightness drift: gain 1 + a * sin(2 pi frame / period)
    int driftPeriod = 600;         // frames
    uint64_t seed = 1;             // sensor noise
};

class Scene {
  public:
    explicit Scene(SceneConfig config);

    int FrameCount() const { return config_.script.FrameCount(); }
    Frame Render(int index) const;
    // The empty room as the camera sees it at frame `index`: the same drift and the same noise as
    // Render(index), so the two differ exactly where people are.
    cv::Mat Background(int index) const;
    // The noise-free room.
    const cv::Mat& Room() const { return room_; }
    const SceneConfig& config() const { return config_; }

  private:
    cv::Mat Camera(const cv::Mat& clean, int index) const;

    SceneConfig config_;
    cv::Mat room_;
};

// The empty room of the default style at any size, deterministic for a seed.
cv::Mat RenderEmptyRoom(int width, int height, unsigned seed);

}  // namespace olvar::synth

#endif  // OLVAR_TOOLS_SYNTH_SCENE_H
