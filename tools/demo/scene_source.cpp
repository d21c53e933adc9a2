#include "demo/scene_source.h"

#include "synth/scene.h"
#include "synth/script_legs.h"

namespace olvar::demo {
namespace {

// A scripted scene played frame by frame. The demo scene: an empty room for the warm-up, then a
// person walks in, raises both hands, swipes with each hand both ways, waves, dwells, leans to
// both sides and rests; with --legs the whole-body leg scene instead.
class SceneSource : public FrameSource {
  public:
    explicit SceneSource(const synth::SceneConfig& config) : scene_(config) {}
    cv::Size FrameSize() const override { return scene_.config().frameSize; }
    bool Next(cv::Mat* frame) override {
        if (index_ >= scene_.FrameCount()) {
            return false;
        }
        *frame = scene_.Render(index_++).image;
        return true;
    }

  private:
    synth::Scene scene_;
    int index_ = 0;
};

}  // namespace

std::unique_ptr<FrameSource> MakeSceneSource(int seed) {
    synth::SceneConfig config;
    config.seed = static_cast<uint64_t>(seed);
    config.script = synth::ScriptDemo();
    return std::make_unique<SceneSource>(config);
}

std::unique_ptr<FrameSource> MakeLegSceneSource(int seed) {
    synth::SceneConfig config;
    config.seed = static_cast<uint64_t>(seed);
    config.script = synth::ScriptLegs();
    return std::make_unique<SceneSource>(config);
}

}  // namespace olvar::demo
