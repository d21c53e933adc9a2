#include "synth/scene.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "synth/hand.h"
#include "synth/painter.h"

namespace olvar::synth {
namespace {

// SplitMix64 finaliser: turns (seed, frame) into well-spread independent noise seeds.
uint64_t MixSeed(uint64_t seed, int index) {
    uint64_t z = seed + 0x9E3779B97F4A7C15ULL * (static_cast<uint64_t>(index) + 1);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

PersonTruth TruthFor(const Body& body, const Label& label, const cv::Rect2f& head) {
    const auto& j = body.joints;
    PersonTruth truth;
    truth.label = label;
    truth.torsoHalfWidth = body.t;
    truth.face = j[kHeadCentre];
    truth.faceBox = head;
    truth.faceSize = head.height;
    truth.torso = j[kShoulderCentre] - cv::Point2f(0.0f, 0.5f * body.t);
    truth.hands = {j[kRightHand], j[kLeftHand]};
    truth.handSize = 0.5f * body.t;
    truth.joints = {j[kRightElbow], j[kLeftElbow],      j[kRightShoulder], j[kLeftShoulder],
                    j[kNeckTop],    j[kShoulderCentre], j[kHipCentre]};
    truth.legJoints = {j[kRightHip], j[kLeftHip],   j[kRightKnee],
                       j[kLeftKnee], j[kRightFoot], j[kLeftFoot]};
    truth.skeleton = j;
    for (int hand = 0; hand < 2; ++hand) {
        const OpenHand h = OpenHandOf(body, hand);
        const HandShape& shape = body.handShapes[hand];
        PalmTruth& palm = truth.palms[hand];
        palm.open = IsOpenHand(body, hand);
        palm.fist = palm.open && shape.fingers < 0.5f;
        palm.tapping = palm.open && !palm.fist && shape.index < 0.75f;
        palm.centre = h.centre;
        palm.radius = h.radius;
        std::copy(h.tips.begin(), h.tips.end(), palm.tips.begin());
        std::copy(h.bases.begin(), h.bases.end(), palm.bases.begin());
    }
    return truth;
}

// Farther (smaller) people are painted first so nearer ones hide them; equal sizes keep script
// order.
std::vector<int> PaintOrder(const Script& script) {
    std::vector<int> order(script.people.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&script](int a, int b) {
        return script.people[a].size < script.people[b].size;
    });
    return order;
}

}  // namespace

Scene::Scene(SceneConfig config) : config_(std::move(config)) {
    CV_Assert(config_.frameSize.width > 0 && config_.frameSize.height > 0);
    CV_Assert(config_.script.people.size() < 255);
    room_ = RenderRoom(config_.frameSize, config_.room);
}

cv::Mat Scene::Camera(const cv::Mat& clean, int index) const {
    const double period = std::max(1, config_.driftPeriod);
    const double gain = 1.0 + config_.driftAmplitude * std::sin(2.0 * CV_PI * index / period);
    cv::Mat exposed;
    clean.convertTo(exposed, CV_32FC3, gain);
    if (config_.noiseSigma > 0.0) {
        cv::RNG rng(MixSeed(config_.seed, index));
        cv::Mat noise(exposed.size(), CV_32FC3);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, config_.noiseSigma);
        exposed += noise;
    }
    cv::Mat image;
    exposed.convertTo(image, CV_8UC3);
    return image;
}

cv::Mat Scene::Background(int index) const {
    return Camera(room_, index);
}

Frame Scene::Render(int index) const {
    const Script& script = config_.script;
    const int count = static_cast<int>(script.people.size());
    cv::Mat image = room_.clone();
    cv::Mat owner = cv::Mat::zeros(config_.frameSize, CV_8UC1);
    cv::Mat part = cv::Mat::zeros(config_.frameSize, CV_8UC1);
    Canvas canvas(&image, &owner, &part);

    Frame frame;
    frame.index = index;
    frame.people.resize(count);
    for (int person : PaintOrder(script)) {
        const Track& track = script.people[person];
        Label label;
        const Pose pose = track.PoseAt(index, &label);
        const Body body =
            PlaceBody(pose, track.PlacementFor(config_.frameSize), config_.frameSize.width);
        const cv::Rect2f head =
            PaintPerson(body, track.look, static_cast<uint8_t>(person + 1), &canvas);
        frame.people[person] = TruthFor(body, label, head);
    }
    for (int person = 0; person < count; ++person) {
        PersonTruth& truth = frame.people[person];
        cv::Mat mine = owner == person + 1;
        truth.silhouette = mine / 255;
        truth.skin = (mine & (part == static_cast<int>(Part::kSkin))) / 255;
        truth.visible = cv::countNonZero(truth.silhouette) > 0;
        frame.labels.push_back(truth.label.Text());
    }
    frame.image = Camera(image, index);
    return frame;
}

cv::Mat RenderEmptyRoom(int width, int height, unsigned seed) {
    RoomStyle style;
    style.seed = seed;
    return RenderRoom(cv::Size(width, height), style);
}

}  // namespace olvar::synth
