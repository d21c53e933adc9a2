#include "demo/frame_source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "demo/scene_source.h"

namespace olvar::demo {
namespace {

namespace fs = std::filesystem;

// Frames as the tracker wants them: continuous 8-bit BGR.
cv::Mat ToBgr(const cv::Mat& image) {
    cv::Mat bgr;
    if (image.channels() == 1) {
        cv::cvtColor(image, bgr, cv::COLOR_GRAY2BGR);
    } else if (image.channels() == 4) {
        cv::cvtColor(image, bgr, cv::COLOR_BGRA2BGR);
    } else {
        bgr = image;
    }
    if (bgr.depth() != CV_8U) {
        bgr.convertTo(bgr, CV_8U);
    }
    return bgr.isContinuous() ? bgr : bgr.clone();
}

class CaptureSource : public FrameSource {
  public:
    CaptureSource(cv::VideoCapture capture, cv::Mat first)
        : capture_(std::move(capture)), pending_(std::move(first)) {
        const double fps = capture_.get(cv::CAP_PROP_FPS);
        fps_ = std::isfinite(fps) && fps > 0 && fps <= 1000 ? fps : 30.0;
    }
    double Fps() const override { return fps_; }
    cv::Size FrameSize() const override { return pending_.empty() ? size_ : pending_.size(); }
    bool Next(cv::Mat* frame) override {
        if (!pending_.empty()) {
            size_ = pending_.size();
            *frame = ToBgr(pending_);
            pending_.release();
            return true;
        }
        cv::Mat image;
        if (!capture_.read(image) || image.empty() || image.size() != size_) {
            return false;
        }
        *frame = ToBgr(image);
        return true;
    }

  private:
    cv::VideoCapture capture_;
    cv::Mat pending_;
    cv::Size size_;
    double fps_ = 30.0;
};

class FolderSource : public FrameSource {
  public:
    FolderSource(std::vector<std::string> files, cv::Size size)
        : files_(std::move(files)), size_(size) {}
    cv::Size FrameSize() const override { return size_; }
    bool Next(cv::Mat* frame) override {
        while (next_ < files_.size()) {
            cv::Mat image = cv::imread(files_[next_++], cv::IMREAD_COLOR);
            if (image.empty()) {
                continue;  // not a picture
            }
            if (image.size() != size_) {
                cv::resize(image, image, size_);
            }
            *frame = ToBgr(image);
            return true;
        }
        return false;
    }

  private:
    std::vector<std::string> files_;
    size_t next_ = 0;
    cv::Size size_;
};

std::unique_ptr<FrameSource> OpenCapture(cv::VideoCapture capture, const std::string& name,
                                         std::string* error) {
    if (!capture.isOpened()) {
        *error = "cannot open " + name;
        return nullptr;
    }
    cv::Mat first;
    if (!capture.read(first) || first.empty()) {
        *error = "cannot read a frame from " + name;
        return nullptr;
    }
    return std::make_unique<CaptureSource>(std::move(capture), std::move(first));
}

std::unique_ptr<FrameSource> OpenFolder(const std::string& folder, std::string* error) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        const cv::Mat image = cv::imread(file, cv::IMREAD_COLOR);
        if (!image.empty()) {
            return std::make_unique<FolderSource>(std::move(files), image.size());
        }
    }
    *error = "no readable image in " + folder;
    return nullptr;
}

// The built-in scene to play: the one named by --scene, or for the default one the palm scene
// with --palm and the whole-body scene with --legs.
std::string SceneScriptFor(const DemoOptions& options) {
    if (options.sceneScript != "demo") {
        return options.sceneScript;
    }
    if (options.palm) {
        return "palm";
    }
    return options.legs ? "legs" : "demo";
}

}  // namespace

std::unique_ptr<FrameSource> OpenSource(const DemoOptions& options, std::string* error) {
    std::unique_ptr<FrameSource> source;
    switch (options.input) {
        case InputKind::kScene:
            // --palm or --legs on the default built-in scene plays the palm or the leg script.
            source = MakeSceneSource(options.sceneSeed, SceneScriptFor(options));
            break;
        case InputKind::kVideo:
            source = OpenCapture(cv::VideoCapture(options.inputPath), options.inputPath, error);
            break;
        case InputKind::kFolder:
            source = OpenFolder(options.inputPath, error);
            break;
        case InputKind::kCamera:
            source = OpenCapture(cv::VideoCapture(options.cameraIndex),
                                 "camera " + std::to_string(options.cameraIndex), error);
            break;
    }
    return source;
}

bool LoadPlate(const std::string& path, cv::Size size, std::vector<uint8_t>* plate,
               std::string* error) {
    const cv::Mat image = cv::imread(path, cv::IMREAD_COLOR);
    if (image.empty()) {
        *error = "cannot read the plate " + path;
        return false;
    }
    if (image.size() != size) {
        *error = "the plate " + path + " is " + std::to_string(image.cols) + "x" +
                 std::to_string(image.rows) + ", the input " + std::to_string(size.width) + "x" +
                 std::to_string(size.height);
        return false;
    }
    const cv::Mat packed = image.isContinuous() ? image : image.clone();
    plate->assign(packed.data, packed.data + packed.total() * 3);
    return true;
}

bool CanWriteImage(const std::string& path, std::string* error) {
    if (!cv::haveImageWriter(path)) {
        *error = "cannot write " + path + ": not a known picture type (.png, .jpg, .bmp, ...)";
        return false;
    }
    // Probe the folder with a scratch file of our own, never the target itself.
    const std::string probe = path + ".probe";
    std::FILE* file = std::fopen(probe.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot write " + path + ": the folder is missing or not writable";
        return false;
    }
    std::fclose(file);
    std::remove(probe.c_str());
    return true;
}

bool WriteImage(const std::string& path, const std::vector<uint8_t>& bgr, cv::Size size,
                std::string* error) {
    const cv::Mat image(size, CV_8UC3, const_cast<uint8_t*>(bgr.data()));
    const fs::path target(path);
    const std::string partial =
        (target.parent_path() / (".partial-" + target.filename().string())).string();
    std::error_code ec;
    if (!cv::imwrite(partial, image) || (fs::rename(partial, target, ec), ec)) {
        fs::remove(partial, ec);
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool MakeOutputFolder(const std::string& folder, std::string* error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec)) {
        *error = "cannot create the output folder " + folder;
        return false;
    }
    return true;
}

}  // namespace olvar::demo
