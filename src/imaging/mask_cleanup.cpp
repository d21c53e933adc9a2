#include "imaging/mask_cleanup.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "imaging/contours.h"

namespace olvar {
namespace {

// Shares of the working pixel count held by the largest contour: above kTwoPersonsShare a
// blob is taken for two persons standing together, above kOnePersonShare for one.
constexpr double kTwoPersonsShare = 0.142857;
constexpr double kOnePersonShare = 0.083333;
constexpr int kMinHoleBox = 5;

struct Box {
    int x0, y0, x1, y1;  // inclusive
};

// The bounding box of the set pixels; false when there is none.
bool SetPixelBox(const cv::Mat& mask, Box& box) {
    box = {mask.cols, mask.rows, -1, -1};
    for (int y = 0; y < mask.rows; ++y) {
        const uint8_t* row = mask.ptr<uint8_t>(y);
        for (int x = 0; x < mask.cols; ++x) {
            if (row[x] != 0) {
                box.x0 = std::min(box.x0, x);
                box.x1 = std::max(box.x1, x);
                box.y0 = std::min(box.y0, y);
                box.y1 = std::max(box.y1, y);
            }
        }
    }
    return box.x1 >= 0;
}

// Hole filling works in the flood scratch image with these marks.
constexpr uint8_t kUnreached = 0;
constexpr uint8_t kOutside = 1;
constexpr uint8_t kSeeded = 2;  // outside and already in the seed list

class HoleFiller {
  public:
    HoleFiller(cv::Mat& mask, SegmentationWorkspace& ws, const Box& box)
        : mask_(mask),
          marks_(ws.floodScratch),
          seeds_(ws.seeds),
          box_(box),
          capacity_(static_cast<size_t>(mask.cols) * mask.rows) {}

    void Run() {
        marks_.setTo(0);
        seeds_.clear();
        WalkInFromTheSides();
        Flood();
        FillUnreached();
    }

  private:
    bool Set(int x, int y) const { return mask_.at<uint8_t>(y, x) != 0; }
    uint8_t& Mark(int x, int y) { return marks_.at<uint8_t>(y, x); }

    void Seed(int x, int y) {
        if (Mark(x, y) != kSeeded && seeds_.size() < capacity_) {
            Mark(x, y) = kSeeded;
            seeds_.push_back(y * mask_.cols + x);
        }
    }

    // Walks from (x, y) in steps of (dx, dy) while the mask is clear, marking the pixels as
    // outside; the last pixel before the mask becomes a seed.
    void Walk(int x, int y, int dx, int dy) {
        bool walked = false;
        while (x >= box_.x0 && x <= box_.x1 && y >= box_.y0 && y <= box_.y1 && !Set(x, y)) {
            if (Mark(x, y) == kUnreached) {
                Mark(x, y) = kOutside;
            }
            walked = true;
            x += dx;
            y += dy;
        }
        const bool reachedMask = x >= box_.x0 && x <= box_.x1 && y >= box_.y0 && y <= box_.y1;
        if (walked && reachedMask) {
            Seed(x - dx, y - dy);
        }
    }

    void WalkInFromTheSides() {
        for (int y = box_.y0; y <= box_.y1; ++y) {
            Walk(box_.x0, y, 1, 0);
            Walk(box_.x1, y, -1, 0);
        }
        for (int x = box_.x0; x <= box_.x1; ++x) {
            Walk(x, box_.y0, 0, 1);
            Walk(x, box_.y1, 0, -1);
        }
    }

    void Flood() {
        static const int kSteps[4][2] = {
            {-1, 0}, {0, 1}, {1, 0}, {0, -1}};  // left, down, right, up
        while (!seeds_.empty()) {
            const int index = seeds_.back();
            seeds_.pop_back();
            const int x = index % mask_.cols, y = index / mask_.cols;
            for (const auto& step : kSteps) {
                const int nx = x + step[0], ny = y + step[1];
                if (nx < box_.x0 || nx > box_.x1 || ny < box_.y0 || ny > box_.y1) {
                    continue;
                }
                if (!Set(nx, ny) && Mark(nx, ny) == kUnreached) {
                    Seed(nx, ny);
                }
            }
        }
    }

    void FillUnreached() {
        for (int y = box_.y0; y <= box_.y1; ++y) {
            for (int x = box_.x0; x <= box_.x1; ++x) {
                if (!Set(x, y) && Mark(x, y) == kUnreached) {
                    mask_.at<uint8_t>(y, x) = 1;
                }
            }
        }
    }

    cv::Mat& mask_;
    cv::Mat& marks_;
    std::vector<int32_t>& seeds_;
    Box box_;
    size_t capacity_;
};

// Records the first and last change positions along one line of `count` values read through
// value(k): a rise between k and k + 1 is recorded at k + 1, a fall at k.
template <typename Value>
void LineExtent(int count, Value value, int32_t& first, int32_t& last) {
    first = last = -1;
    for (int k = 0; k + 1 < count; ++k) {
        const int a = value(k), b = value(k + 1);
        if (a == b) {
            continue;
        }
        const int position = b > a ? k + 1 : k;
        if (first < 0) {
            first = position;
        }
        last = position;
    }
}

}  // namespace

void Dilate(cv::Mat& mask, int iterations) {
    cv::dilate(mask, mask, cv::Mat(), cv::Point(-1, -1), iterations);
}

void Erode(cv::Mat& mask, int iterations) {
    cv::erode(mask, mask, cv::Mat(), cv::Point(-1, -1), iterations);
}

namespace {

// Every pixel becomes the extreme of the row's pixels at most `reach` away (clipped to the row).
template <typename Pick>
void RowExtreme(uint8_t* row, int length, int reach, uint8_t* scratch, Pick pick) {
    if (row == nullptr || scratch == nullptr || length <= 0 || reach <= 0) {
        return;
    }
    std::copy(row, row + length, scratch);
    for (int i = 0; i < length; ++i) {
        const int from = std::max(0, i - reach), to = std::min(length - 1, i + reach);
        uint8_t v = scratch[from];
        for (int j = from + 1; j <= to; ++j) {
            v = pick(v, scratch[j]);
        }
        row[i] = v;
    }
}

}  // namespace

void DilateRow(uint8_t* row, int length, int iterations, uint8_t* scratch) {
    RowExtreme(row, length, iterations, scratch,
               [](uint8_t a, uint8_t b) { return std::max(a, b); });
}

void ErodeRow(uint8_t* row, int length, int iterations, uint8_t* scratch) {
    RowExtreme(row, length, iterations, scratch,
               [](uint8_t a, uint8_t b) { return std::min(a, b); });
}

void AddInto(cv::Mat& dst, const cv::Mat& src) {
    SetUnion(dst, dst, src);
}

void SetUnion(cv::Mat& dst, const cv::Mat& a, const cv::Mat& b) {
    for (int y = 0; y < dst.rows; ++y) {
        const uint8_t* pa = a.ptr<uint8_t>(y);
        const uint8_t* pb = b.ptr<uint8_t>(y);
        uint8_t* pd = dst.ptr<uint8_t>(y);
        for (int x = 0; x < dst.cols; ++x) {
            pd[x] = (pa[x] | pb[x]) != 0 ? 1 : 0;
        }
    }
}

void UpdateAge(cv::Mat& age, const cv::Mat& motion) {
    for (int y = 0; y < age.rows; ++y) {
        const uint8_t* m = motion.ptr<uint8_t>(y);
        uint8_t* a = age.ptr<uint8_t>(y);
        for (int x = 0; x < age.cols; ++x) {
            a[x] = m[x] != 0 ? 0 : static_cast<uint8_t>(a[x] == 255 ? 255 : a[x] + 1);
        }
    }
}

void FillHoles(cv::Mat& mask, SegmentationWorkspace& workspace) {
    Box box;
    if (!SetPixelBox(mask, box) || box.x1 - box.x0 + 1 < kMinHoleBox ||
        box.y1 - box.y0 + 1 < kMinHoleBox) {
        return;
    }
    // One pixel of margin where the image allows, so the walks can enter between set pixels
    // on the box's edge.
    box.x0 = std::max(0, box.x0 - 1);
    box.y0 = std::max(0, box.y0 - 1);
    box.x1 = std::min(mask.cols - 1, box.x1 + 1);
    box.y1 = std::min(mask.rows - 1, box.y1 + 1);
    HoleFiller(mask, workspace, box).Run();
}

void ApplyNeighbourhoodRule(cv::Mat& motion, const cv::Mat& age) {
    const int W = motion.cols, H = motion.rows;
    auto m = [&](int x, int y) { return motion.at<uint8_t>(y, x) != 0; };
    auto still = [&](int x, int y) { return age.at<uint8_t>(y, x) > 1; };
    for (int y = 1; y < H - 1; ++y) {
        for (int x = 1; x < W - 1; ++x) {
            uint8_t& p = motion.at<uint8_t>(y, x);
            if (p != 0) {
                const bool isolated = still(x - 1, y - 1) && still(x, y - 1) &&
                                      still(x + 1, y - 1) && still(x - 1, y) && still(x + 1, y) &&
                                      still(x - 1, y + 1) && still(x, y + 1) && still(x + 1, y + 1);
                if (isolated) {
                    p = 0;
                }
            } else {
                const bool between =
                    (m(x - 1, y - 1) && m(x + 1, y + 1)) || (m(x - 1, y) && m(x + 1, y)) ||
                    (m(x - 1, y + 1) && m(x + 1, y - 1)) || (m(x, y - 1) && m(x, y + 1));
                if (between) {
                    p = 1;
                }
            }
        }
    }
    if (H >= 2) {
        for (int x = 0; x < W; ++x) {
            if (m(x, H - 2)) {
                motion.at<uint8_t>(H - 1, x) = 1;
            }
        }
    }
}

int CountPersons(const cv::Mat& mask, int validRecords) {
    // A copy: the contour search clears the image frame, and the caller's mask stays as it is.
    cv::Mat work = mask.clone();
    const std::vector<std::vector<cv::Point>> contours = FindOuterContours(work);
    // The largest contour and the one that was largest before it (not necessarily the second
    // largest of all: a contour replaces the largest only when strictly larger).
    double largest = 0, second = 0;
    cv::Rect largestBox;
    for (const std::vector<cv::Point>& contour : contours) {
        const double area = std::fabs(cv::contourArea(contour));
        if (area < kMinPersonContourArea) {
            continue;
        }
        if (area > largest) {
            second = largest;
            largest = area;
            largestBox = cv::boundingRect(contour);
        }
    }
    const int n = mask.cols * mask.rows;
    if (largest > n * kTwoPersonsShare) {
        if (validRecords != 2) {
            return 2;
        }
        if (second > n * kTwoPersonsShare) {
            return 3;
        }
        if (largest < n / 4) {
            // One large blob with two users: the side it lies on tells which user it is.
            const int centre = largestBox.x + largestBox.width / 2;
            return centre <= mask.cols / 2 ? 5 : 4;
        }
        return 2;
    }
    return largest > n * kOnePersonShare ? 1 : 0;
}

void ExtentScan(const cv::Mat& mask, SegmentationWorkspace& ws) {
    const int W = mask.cols, H = mask.rows;
    ws.inside.setTo(0);
    ws.outside.setTo(0);
    ws.ambiguous.setTo(0);
    ws.rowFirst.assign(static_cast<size_t>(H), -1);
    ws.rowLast.assign(static_cast<size_t>(H), -1);
    ws.columnFirst.assign(static_cast<size_t>(W), -1);
    ws.columnLast.assign(static_cast<size_t>(W), -1);

    for (int y = 0; y < H; ++y) {
        const uint8_t* row = mask.ptr<uint8_t>(y);
        LineExtent(
            W, [&](int k) { return row[k]; }, ws.rowFirst[y], ws.rowLast[y]);
    }
    for (int x = 0; x < W; ++x) {
        LineExtent(
            H, [&](int k) { return mask.at<uint8_t>(k, x); }, ws.columnFirst[x], ws.columnLast[x]);
    }

    for (int y = 0; y < H; ++y) {
        uint8_t* in = ws.inside.ptr<uint8_t>(y);
        uint8_t* out = ws.outside.ptr<uint8_t>(y);
        const int first = ws.rowFirst[y], last = ws.rowLast[y];
        for (int x = 0; x < W; ++x) {
            const bool between = first >= 0 && x >= first && x <= last;
            (between ? in : out)[x] = 1;
        }
    }
    for (int x = 0; x < W; ++x) {
        const int first = ws.columnFirst[x], last = ws.columnLast[x];
        for (int y = 0; y < H; ++y) {
            const bool between = first >= 0 && y >= first && y <= last;
            (between ? ws.inside : ws.outside).at<uint8_t>(y, x) = 1;
        }
    }
    for (int y = 0; y < H; ++y) {
        uint8_t* in = ws.inside.ptr<uint8_t>(y);
        uint8_t* out = ws.outside.ptr<uint8_t>(y);
        uint8_t* amb = ws.ambiguous.ptr<uint8_t>(y);
        for (int x = 0; x < W; ++x) {
            if (in[x] != 0 && out[x] != 0) {
                in[x] = out[x] = 0;
                amb[x] = 1;
            }
        }
    }
}

}  // namespace olvar
