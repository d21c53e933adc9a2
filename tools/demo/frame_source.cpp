#include "demo/frame_source.h"

#include <algorithm>
#include <filesystem>
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
        : capture_(std::move(capture)), pending_(std::move(first)) {}
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

// Feeds a background plate, with a little sensor noise, before the real input.
class PlatedSource : public FrameSource {
  public:
    PlatedSource(cv::Mat plate, int frames, std::unique_ptr<FrameSource> input)
        : plate_(std::move(plate)), remaining_(frames), input_(std::move(input)) {}
    cv::Size FrameSize() const override { return input_->FrameSize(); }
    bool Next(cv::Mat* frame) override {
        if (remaining_ > 0) {
            --remaining_;
            cv::Mat noise(plate_.size(), CV_16SC3);
            rng_.fill(noise, cv::RNG::NORMAL, 0, 1.0);
            cv::Mat noisy;
            plate_.convertTo(noisy, CV_16SC3);
            noisy += noise;
            noisy.convertTo(*frame, CV_8UC3);
            return true;
        }
        return input_->Next(frame);
    }

  private:
    cv::Mat plate_;
    int remaining_;
    std::unique_ptr<FrameSource> input_;
    cv::RNG rng_{12345};
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

}  // namespace

std::unique_ptr<FrameSource> OpenSource(const DemoOptions& options, std::string* error) {
    std::unique_ptr<FrameSource> source;
    switch (options.input) {
        case InputKind::kScene:
            source = options.legs ? MakeLegSceneSource(options.sceneSeed)
                                  : MakeSceneSource(options.sceneSeed);
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
    if (!source || options.platePath.empty()) {
        return source;
    }
    cv::Mat plate = cv::imread(options.platePath, cv::IMREAD_COLOR);
    if (plate.empty()) {
        *error = "cannot read the plate " + options.platePath;
        return nullptr;
    }
    if (plate.size() != source->FrameSize()) {
        cv::resize(plate, plate, source->FrameSize());
    }
    return std::make_unique<PlatedSource>(std::move(plate), options.plateFrames, std::move(source));
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
