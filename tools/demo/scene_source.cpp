#include "demo/scene_source.h"

#include <utility>

#include "synth/scene.h"
#include "synth/script_legs.h"

namespace olvar::demo {
namespace {

// A scripted scene rendered frame by frame at 30 frames per second.
class SceneSource : public FrameSource {
  public:
    SceneSource(int seed, synth::Script script) : scene_(Config(seed, std::move(script))) {}
    cv::Size FrameSize() const override { return scene_.config().frameSize; }
    bool Next(cv::Mat* frame) override {
        if (index_ >= scene_.FrameCount()) {
            return false;
        }
        *frame = scene_.Render(index_++).image;
        return true;
    }

  private:
    static synth::SceneConfig Config(int seed, synth::Script script) {
        synth::SceneConfig config;
        config.seed = static_cast<uint64_t>(seed);
        config.script = std::move(script);
        return config;
    }

    synth::Scene scene_;
    int index_ = 0;
};

}  // namespace

std::unique_ptr<FrameSource> MakeSceneSource(int seed, const std::string& script) {
    if (script == "demo") {
        return std::make_unique<SceneSource>(seed, synth::ScriptDemo());
    }
    if (script == "palm") {
        return std::make_unique<SceneSource>(seed, synth::ScriptPalm());
    }
    if (script == "legs") {
        return std::make_unique<SceneSource>(seed, synth::ScriptLegs());
    }
    if (script == "in-view") {
        return std::make_unique<SceneSource>(seed, synth::ScriptInViewLeaveReturn());
    }
    return nullptr;
}

}  // namespace olvar::demo
