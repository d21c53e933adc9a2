#include "demo/scene_source.h"

#include "synth/scene.h"

namespace olvar::demo {
namespace {

class SceneSource : public FrameSource {
  public:
    explicit SceneSource(int seed) : room_(synth::RenderEmptyRoom(640, 480, seed)) {}
    cv::Size FrameSize() const override { return room_.size(); }
    bool Next(cv::Mat* frame) override {
        if (index_++ >= 60) {
            return false;
        }
        *frame = room_.clone();
        return true;
    }

  private:
    cv::Mat room_;
    int index_ = 0;
};

}  // namespace

std::unique_ptr<FrameSource> MakeSceneSource(int seed) {
    return std::make_unique<SceneSource>(seed);
}

}  // namespace olvar::demo
