#include "demo/scene_source.h"

#include "synth/scene.h"

namespace olvar::demo {
namespace {

// The scripted demo scene: an empty room for the warm-up, then a person walks in, raises both
// hands, swipes with each hand both ways, waves, dwells, leans to both sides and rests.
class SceneSource : public FrameSource {
  public:
    explicit SceneSource(int seed) : scene_(Config(seed)) {}
    cv::Size FrameSize() const override { return scene_.config().frameSize; }
    bool Next(cv::Mat* frame) override {
        if (index_ >= scene_.FrameCount()) {
            return false;
        }
        *frame = scene_.Render(index_++).image;
        return true;
    }

  private:
    static synth::SceneConfig Config(int seed) {
        synth::SceneConfig config;
        config.seed = static_cast<uint64_t>(seed);
        config.script = synth::ScriptDemo();
        return config;
    }

    synth::Scene scene_;
    int index_ = 0;
};

}  // namespace

std::unique_ptr<FrameSource> MakeSceneSource(int seed) {
    return std::make_unique<SceneSource>(seed);
}

}  // namespace olvar::demo
