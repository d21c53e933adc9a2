#include "demo/scene_source.h"

#include "synth/scene.h"

namespace olvar::demo {
namespace {

// The scripted scene: an empty room for the warm-up, then a person walks in and performs the demo
// script (both hands up, swipes, a wave, a dwell, leans) or the palm script.
class SceneSource : public FrameSource {
  public:
    SceneSource(int seed, bool palm) : scene_(Config(seed, palm)) {}
    cv::Size FrameSize() const override { return scene_.config().frameSize; }
    bool Next(cv::Mat* frame) override {
        if (index_ >= scene_.FrameCount()) {
            return false;
        }
        *frame = scene_.Render(index_++).image;
        return true;
    }

  private:
    static synth::SceneConfig Config(int seed, bool palm) {
        synth::SceneConfig config;
        config.seed = static_cast<uint64_t>(seed);
        config.script = palm ? synth::ScriptPalm() : synth::ScriptDemo();
        return config;
    }

    synth::Scene scene_;
    int index_ = 0;
};

}  // namespace

std::unique_ptr<FrameSource> MakeSceneSource(int seed, bool palm) {
    return std::make_unique<SceneSource>(seed, palm);
}

}  // namespace olvar::demo
