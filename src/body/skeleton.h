// Two-dimensional stick model of a user's body: 16 joints joined by 15 links in a tree rooted at
// the hip centre. Every link dimension is a multiple of one scale, the torso half-width.
//
// Joints: 0 hip centre, 1 shoulder centre, 2 neck top, 3 head, 4/7 shoulders, 5/8 elbows,
// 6/9 hands, 10/11 hips, 12/13 knees, 14/15 feet. The image-right arm (hand 0) is 4-5-6 with
// links 5 and 6; the image-left arm (hand 1) is 7-8-9 with links 7 and 8. Coordinates are working
// pixels with y down; angles are radians with 0 image-right and pi/2 image-up.
#ifndef OLVAR_BODY_SKELETON_H
#define OLVAR_BODY_SKELETON_H

#include <array>

namespace olvar {

struct SkeletonJoint {
    double x = 0;
    double y = 0;
    double reserved = 0;
    int index = 0;
    SkeletonJoint* parent = nullptr;
    SkeletonJoint* children[3] = {nullptr, nullptr, nullptr};
    int childCount = 0;
};

struct SkeletonLink {
    int index = 0;
    double length = 0;  // current length
    double nominalLength = 0;
    double width = 0;
    double angle = 0;
    double maxLength = 0;
    double minLength = 0;
    SkeletonJoint* start = nullptr;
    SkeletonJoint* end = nullptr;
};

class BodySkeleton {
  public:
    static constexpr int kJoints = 16;
    static constexpr int kLinks = 15;

    enum Joint {
        kHipCentre = 0,
        kShoulderCentre = 1,
        kNeckTop = 2,
        kHead = 3,
        kRightShoulder = 4,  // image-right arm (hand 0)
        kRightElbow = 5,
        kRightHand = 6,
        kLeftShoulder = 7,  // image-left arm (hand 1)
        kLeftElbow = 8,
        kLeftHand = 9,
        kRightHip = 10,
        kLeftHip = 11,
        kRightKnee = 12,
        kLeftKnee = 13,
        kRightFoot = 14,
        kLeftFoot = 15,
    };

    enum Link {
        kSpine = 0,
        kNeck = 1,
        kRightCollar = 2,
        kLeftCollar = 3,
        kHeadLink = 4,
        kRightUpperArm = 5,
        kRightForearm = 6,
        kLeftUpperArm = 7,
        kLeftForearm = 8,
        kRightPelvis = 9,
        kLeftPelvis = 10,
        kRightThigh = 11,
        kLeftThigh = 12,
        kRightShin = 13,
        kLeftShin = 14,
    };

    // The joints and links of one arm: arm 0 is the image-right arm (hand 0), arm 1 the
    // image-left arm (hand 1).
    struct ArmParts {
        int shoulder, elbow, hand;  // joints
        int upperArm, forearm;      // links
    };
    static constexpr ArmParts Arm(int arm) {
        return arm == 0
                   ? ArmParts{kRightShoulder, kRightElbow, kRightHand, kRightUpperArm,
                              kRightForearm}
                   : ArmParts{kLeftShoulder, kLeftElbow, kLeftHand, kLeftUpperArm, kLeftForearm};
    }

    BodySkeleton();
    BodySkeleton(const BodySkeleton&) = delete;
    BodySkeleton& operator=(const BodySkeleton&) = delete;

    // Fills indices, the tree and the default angles; positions, lengths and scale become 0.
    void BuildSkeleton();
    // Sets every link's length and nominal length, width, maximum and minimum from the scale.
    void SetSkeletonScale(double scale);
    // Puts the body upright with the arms hanging, from joint 1 (set by the caller), and resets
    // every link angle. Joint 3 keeps the face position the caller set.
    void ResetSkeletonPose();
    // Re-anchors at joint 1 = (x, y) with a new scale; the fitted arm lengths survive. With
    // headFlag set (no face known) the head joint is placed above the neck as well.
    void AnchorSkeleton(double x, double y, bool headFlag, double scale);
    // Rescales the legs; unless keep is set, they are also hung straight down from the hips.
    void UpdateLegs(bool keep);

    SkeletonJoint& J(int index) { return joints[index]; }
    const SkeletonJoint& J(int index) const { return joints[index]; }
    SkeletonLink& L(int index) { return links[index]; }
    const SkeletonLink& L(int index) const { return links[index]; }

    std::array<SkeletonJoint, kJoints> joints;
    std::array<SkeletonLink, kLinks> links;
    double bodyScale = 0;

  private:
    void ScaleLink(int link, bool includeLength);
};

}  // namespace olvar

#endif  // OLVAR_BODY_SKELETON_H
