#include "body/skeleton.h"

namespace olvar {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Per link: from and to joint, then nominal length, width, maximum and minimum in units of the
// torso half-width, and the default angle.
struct LinkSpec {
    int from, to;
    double length, width, maxLength, minLength, angle;
};

constexpr LinkSpec kLinkSpecs[BodySkeleton::kLinks] = {
    {0, 1, 1.6, 2.0, 1.7, 1.5, kPi / 2},       // shoulder centre
    {1, 2, 0.3, 2.0, 0.25, 0.15, kPi / 2},     // neck top
    {1, 4, 0.8, 0.4, 0.9, 0.5, 0},             // image-right shoulder
    {1, 7, 0.8, 0.4, 0.9, 0.5, kPi},           // image-left shoulder
    {2, 3, 0.8, 0.8, 1.0, 0.8, kPi / 2},       // head centre
    {4, 5, 1.1, 0.44, 1.7, 0.1, -kPi / 2},     // image-right elbow
    {5, 6, 1.5, 0.3, 2.0, 0.1, -kPi / 2},      // image-right hand
    {7, 8, 1.1, 0.44, 1.7, 0.1, -kPi / 2},     // image-left elbow
    {8, 9, 1.5, 0.3, 2.0, 0.1, -kPi / 2},      // image-left hand
    {0, 10, 0.9, 0.5, 1.1, 0.8, -0.33 * kPi},  // image-right hip
    {0, 11, 0.9, 0.5, 1.1, 0.8, 1.33 * kPi},   // image-left hip
    {10, 12, 1.7, 0.5, 3.0, 0.8, -kPi / 2},    // image-right knee
    {11, 13, 1.7, 0.5, 3.0, 0.8, -kPi / 2},    // image-left knee
    {12, 14, 1.7, 0.5, 2.6, 0.8, -kPi / 2},    // image-right foot
    {13, 15, 1.7, 0.5, 2.6, 0.8, -kPi / 2},    // image-left foot
};

// Children in the order the tree lists them.
constexpr int kChildren[][2] = {{0, 1}, {0, 10},  {0, 11},  {1, 2},   {1, 4},
                                {1, 7}, {2, 3},   {4, 5},   {5, 6},   {7, 8},
                                {8, 9}, {10, 12}, {12, 14}, {11, 13}, {13, 15}};

}  // namespace

BodySkeleton::BodySkeleton() {
    BuildSkeleton();
}

void BodySkeleton::BuildSkeleton() {
    bodyScale = 0;
    for (int i = 0; i < kJoints; ++i) {
        joints[i] = SkeletonJoint{};
        joints[i].index = i;
    }
    for (const auto& edge : kChildren) {
        SkeletonJoint& parent = joints[edge[0]];
        SkeletonJoint& child = joints[edge[1]];
        child.parent = &parent;
        if (parent.childCount < 3) {
            parent.children[parent.childCount++] = &child;
        }
    }
    for (int i = 0; i < kLinks; ++i) {
        links[i] = SkeletonLink{};
        links[i].index = i;
        links[i].angle = kLinkSpecs[i].angle;
        links[i].start = &joints[kLinkSpecs[i].from];
        links[i].end = &joints[kLinkSpecs[i].to];
    }
}

void BodySkeleton::ScaleLink(int link, bool includeLength) {
    const LinkSpec& spec = kLinkSpecs[link];
    SkeletonLink& l = links[link];
    if (includeLength) {
        l.nominalLength = bodyScale * spec.length;
    }
    l.width = bodyScale * spec.width;
    l.maxLength = bodyScale * spec.maxLength;
    l.minLength = bodyScale * spec.minLength;
}

void BodySkeleton::SetSkeletonScale(double scale) {
    bodyScale = scale;
    for (int i = 0; i < kLinks; ++i) {
        ScaleLink(i, true);
        links[i].length = links[i].nominalLength;
    }
}

void BodySkeleton::ResetSkeletonPose() {
    auto len = [&](int link) { return links[link].length; };
    const double x1 = joints[kShoulderCentre].x, y1 = joints[kShoulderCentre].y;
    auto place = [&](int joint, double x, double y) {
        joints[joint].x = x;
        joints[joint].y = y;
    };
    place(kNeckTop, x1, y1 - len(kNeck));
    place(kHipCentre, x1, y1 + len(kSpine));
    place(kRightShoulder, x1 + len(kRightCollar), y1);
    place(kLeftShoulder, x1 - len(kLeftCollar), y1);
    // Arms hang straight down from the shoulders.
    const double x4 = joints[kRightShoulder].x, x7 = joints[kLeftShoulder].x;
    place(kRightElbow, x4, y1 + len(kRightUpperArm));
    place(kRightHand, x4, joints[kRightElbow].y + len(kRightForearm));
    place(kLeftElbow, x7, y1 + len(kLeftUpperArm));
    place(kLeftHand, x7, joints[kLeftElbow].y + len(kLeftForearm));
    // Hips sit below and beside the hip centre, the legs hang straight down.
    const double y0 = joints[kHipCentre].y;
    place(kRightHip, x1 + 0.5 * len(kRightPelvis), y0 + 0.86 * len(kRightPelvis));
    place(kLeftHip, x1 - 0.5 * len(kLeftPelvis), y0 + 0.86 * len(kLeftPelvis));
    const double x10 = joints[kRightHip].x, x11 = joints[kLeftHip].x;
    place(kRightKnee, x10, joints[kRightHip].y + len(kRightThigh));
    place(kRightFoot, x10, joints[kRightKnee].y + len(kRightShin));
    place(kLeftKnee, x11, joints[kLeftHip].y + len(kLeftThigh));
    // Both shins take the image-right shin's length.
    place(kLeftFoot, x11, joints[kLeftKnee].y + len(kRightShin));
    for (int i = 0; i < kLinks; ++i) {
        links[i].angle = kLinkSpecs[i].angle;
    }
}

void BodySkeleton::AnchorSkeleton(double x, double y, bool headFlag, double scale) {
    bodyScale = scale;
    joints[kShoulderCentre].x = x;
    joints[kShoulderCentre].y = y;
    for (int link = kSpine; link <= kHeadLink; ++link) {
        ScaleLink(link, true);
    }
    // The arm lengths were fitted to the picture; only their limits follow the new scale.
    for (int link = kRightUpperArm; link <= kLeftForearm; ++link) {
        ScaleLink(link, false);
    }
    joints[kHipCentre].x = x;
    joints[kHipCentre].y = y + links[kSpine].nominalLength;
    joints[kNeckTop].x = x;
    joints[kNeckTop].y = y - links[kNeck].nominalLength;
    joints[kRightShoulder].x = x + links[kRightCollar].nominalLength;
    joints[kRightShoulder].y = y;
    joints[kLeftShoulder].x = x - links[kLeftCollar].nominalLength;
    joints[kLeftShoulder].y = y;
    if (headFlag) {
        joints[kHead].x = x;
        joints[kHead].y = joints[kNeckTop].y - links[kHeadLink].nominalLength;
    }
}

void BodySkeleton::UpdateLegs(bool keep) {
    for (int link = kRightPelvis; link <= kLeftShin; ++link) {
        ScaleLink(link, true);
    }
    if (keep) {
        return;
    }
    auto hangBelow = [&](int joint, int from, int link) {
        joints[joint].x = joints[from].x;
        joints[joint].y = joints[from].y + links[link].nominalLength;
    };
    hangBelow(kRightKnee, kRightHip, kRightThigh);
    hangBelow(kRightFoot, kRightKnee, kRightShin);
    hangBelow(kLeftKnee, kLeftHip, kLeftThigh);
    hangBelow(kLeftFoot, kLeftKnee, kLeftShin);
}

}  // namespace olvar
