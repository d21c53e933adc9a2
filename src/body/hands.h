// Hand detection and hand tracking by fitting the arm chains of the skeleton.
//
// An arm is shoulder -> elbow -> hand. Detection (StartHands) lays a grid of small hand cells
// beside the torso, places elbow candidates around the skeleton's elbow, scores every
// elbow-cell pair as a forearm and continues every forearm back to the shoulder as an upper arm;
// the best chain places the elbow and the hand. Tracking (TrackHands) repeats the stages near the
// previous hands and elbows, scores whole chains (coverage of the arm region, overlap with the
// body, a neighbour's silhouette, a bonus for raised outstretched arms) and takes the
// score-weighted mean of the ten best; when nothing fits it hangs the arm down and takes the
// hand from a skin blob connected to the shoulder.
//
// Hand 0 is the image-right arm (outward = increasing x), hand 1 the image-left arm (outward =
// decreasing x). Angles are radians with 0 image-right and pi/2 image-up; y grows downward.
//
// The step functions below take their inputs explicitly (an ArmContext built from the tracker,
// the maps as integral arrays) so that each stage can be run and checked on its own.
#ifndef OLVAR_BODY_HANDS_H
#define OLVAR_BODY_HANDS_H

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace olvar {

class UserTracker;

// Store capacities.
constexpr int kMaxCellCopies = 1000;  // hand cells paired with elbows during detection
constexpr int kMaxElbows = 500;
constexpr int kMaxPairs = 25000;
constexpr int kMaxUpperArms = 500;  // per arm
constexpr int kMaxChains = 10;      // best chains kept per arm while tracking
constexpr int kMaxRankedCells = 100;

// A square window of the hand-cell grid that holds enough foreground and some skin.
struct HandCell {
    int x = 0, y = 0;  // centre
    int left = 0, right = 0, top = 0, bottom = 0;
    double skinTerm = 0;    // skin density + 1
    double motionTerm = 0;  // motion-count density + 1
    double weight = 0;      // skinTerm * motionTerm
    double changedDensity = 0;
};

struct ElbowCandidate {
    int x = 0, y = 0;
    double density = 0;    // foreground density of the window around it
    double outward = 0;    // signed offset from the torso centre in torso widths, + outward
    double closeness = 0;  // Gaussian falloff from the elbow reference
    double weight = 0;     // closeness * outward
};

struct ForearmPair {
    int elbowX = 0, elbowY = 0;
    int handX = 0, handY = 0;
    double length = 0;
    double angle = 0;
    double handWeight = 0;
    double elbowWeight = 0;
    double foreground = 0;  // forearm box density on the foreground
    double motion = 0;      // the same box on the motion counts
    double score = 0;
};

struct UpperArmHypothesis {
    int elbowX = 0, elbowY = 0;
    double length = 0;
    double angle = 0;
    double boxScore = 0;  // foreground density of the upper-arm box
    double weight = 0;    // boxScore * the elbow candidate's weight
};

// A fitted shoulder-elbow-hand chain.
struct ArmChain {
    double elbowX = 0, elbowY = 0;
    double handX = 0, handY = 0;
    double upperLength = 0, upperAngle = 0;
    double foreLength = 0, foreAngle = 0;
    double score = 0;
};

struct HandWorkStores {
    std::vector<HandCell> cells;       // the grid's cells of this frame
    std::vector<HandCell> cellCopies;  // detection: the first cells, paired with the elbows
    std::vector<ElbowCandidate> elbows;
    std::vector<ForearmPair> pairs;
    std::vector<UpperArmHypothesis> upperArms[2];
    std::vector<double> trackWeights;  // per cell, for the arm being tracked
    std::vector<int> candidates;       // indices into cells, in listing order
    std::vector<int> queue;            // flood queue (pixel indices)
    cv::Mat scratchMask;               // foreground copy with the body's column band cleared
    cv::Mat armImage;                  // the arm region flood (1 = copied, 255 = reached)
    cv::Mat blobImage;  // the hand blob grown from the previous hand; the walk's visited map
};

// The maps every stage reads: integral arrays of the working size and the divisor of the
// motion counts (the motion-history length, at least 1).
struct HandMaps {
    int W = 0, H = 0;
    const int32_t* foreground = nullptr;
    const int32_t* skin = nullptr;
    const int32_t* changed = nullptr;
    const int32_t* motionCount = nullptr;
    int d = 1;
};

// The other user standing beside this one (two-user operation).
struct OtherUser {
    bool present = false;
    int x = 0, y = 0, size = 0;
};

// One arm's view of the body: the skeleton joints and link dimensions the stages read.
struct ArmContext {
    int arm = 0;  // 0 image-right, 1 image-left
    int W = 0, H = 0;
    double bodyScale = 0;  // s, the skeleton's scale (torso half-width)
    int torsoSize = 0;     // t
    double torsoX = 0, torsoY = 0;
    double neckX = 0, neckY = 0;  // joint 2
    double shoulderCentreY = 0;   // joint 1
    double shoulderX = 0, shoulderY = 0;
    double elbowRefX = 0, elbowRefY = 0;  // the elbow joint before this fit
    double handJointX = 0, handJointY = 0;
    double upperWidth = 0, upperMin = 0, upperMax = 0;
    double foreNominal = 0, foreWidth = 0, foreMin = 0, foreMax = 0;
    OtherUser other;

    // +1 for hand 0 (outward = increasing x), -1 for hand 1.
    int Outward() const { return arm == 0 ? 1 : -1; }
};

ArmContext MakeArmContext(const UserTracker& tracker, int arm);

// The other user's fields held to a range (-(W + H) .. 2 (W + H), size 0 .. W + H) in which no
// bound derived from them overflows; values inside the frame pass unchanged.
OtherUser SaneOther(bool present, int x, int y, int size, int W, int H);

// Whether the torso half-width (1 .. W + H) and the skeleton's scale (0 .. W + H) allow a hand
// search; outside that range the searches fail instead of computing bounds that overflow.
bool HandSearchScaleUsable(double bodyScale, int torsoSize, int W, int H);

// Angle of the segment from (ax, ay) to (bx, by), y up: exactly vertical segments give +-pi/2,
// exactly horizontal ones 0 or -pi.
double SegmentAngle(double ax, double ay, double bx, double by);

// Count of a mask over x0 < u <= x1, y0 < v <= y1 with the bounds clamped to the image; an
// empty range counts 0.
int RangeCount(const int32_t* integral, int W, int H, int x0, int y0, int x1, int y1);

// Writes a fitted chain into the arm's links and joints (upper-arm and forearm nominal length
// and angle, elbow and hand joints) and sets the hand there. The hand's step is measured from
// (previousX, previousY) when the hand was already found, else 0.
void PlaceArmChain(UserTracker& tracker, int arm, const ArmChain& chain, double previousX,
                   double previousY, const int32_t* foreground);
// Marks the hand found at (x, y), moved into the working image when it lies outside: size half
// the torso half-width, mass the foreground count of the box of half-side handSizeInt / 2
// around it.
void SetHandFound(UserTracker& tracker, int arm, double x, double y, const int32_t* foreground);

// ---- Hand cells -------------------------------------------------------------------------------

// A grid of cell centres: columns x0, x0 + g, ... < x1 and rows y0, y0 + g, ... < y1, with room
// for `capacity` cells. `valid` is false when the search must fail at once.
struct CellGrid {
    int g = 1;
    int x0 = 0, x1 = 0;
    int y0 = 0, y1 = 0;
    int capacity = 0;
    bool valid = false;
};

// Cell pitch: a sixth of the scale, rounded, at least 1.
int CellPitch(double scale);

// Detection grid beside the torso on the arm's side, from the shoulder line down.
CellGrid StartCellGrid(const ArmContext& arm);
// Tracking grid around the neck, shared by both arms; stops short of another user.
CellGrid TrackCellGrid(int W, int H, double bodyScale, double neckX, double neckY,
                       const OtherUser& other);

// Detection cells: windows with foreground >= 77/256 of their area and some skin, at most
// grid.capacity, rows top to bottom, columns left to right.
void CollectStartCells(const CellGrid& grid, const HandMaps& maps, std::vector<HandCell>& cells);
// Tracking cells: foreground >= 45/128 of the area and either motion (density above 0.3) or a
// centre within 2g of a previous hand; only cells with skin are kept.
void CollectTrackCells(const CellGrid& grid, const HandMaps& maps, const float previousX[2],
                       const float previousY[2], std::vector<HandCell>& cells);

// ---- Elbow candidates -------------------------------------------------------------------------

// Inclusive bounds of the elbow search.
struct ElbowRegion {
    int x0 = 0, x1 = -1;
    int y0 = 0, y1 = -1;
};

// Half-side of the elbow window: half the upper arm's width, rounded, at least 1.
int ElbowHalfSide(double upperWidth);
ElbowRegion StartElbowRegion(const ArmContext& arm);
ElbowRegion TrackElbowRegion(const ArmContext& arm);
// Elbow candidates over the region (rows outer, columns inner, step max(2, e)), windows of
// foreground density above a quarter, at most kMaxElbows; then the neck-top filter.
void CollectElbows(const ArmContext& arm, const ElbowRegion& region, const int32_t* foreground,
                   std::vector<ElbowCandidate>& elbows);

// ---- Detection: forearm pairs and upper arms --------------------------------------------------

// Every elbow with every cell as a forearm, at most kMaxPairs. With a hand histogram, each
// pair's score is raised by the colour likeness of the box around its hand cell.
void PairForearms(const ArmContext& arm, const std::vector<HandCell>& cells,
                  const std::vector<ElbowCandidate>& elbows, const HandMaps& maps,
                  const cv::Mat* colour, const float* handHistogram,
                  std::vector<ForearmPair>& pairs);

// The pair whose upper arm fits best (highest box density x pair score, first on ties);
// found is false when no pair passes the limits.
struct UpperArmChoice {
    bool found = false;
    ArmChain chain;
};
UpperArmChoice ChooseUpperArm(const ArmContext& arm, const std::vector<ForearmPair>& pairs,
                              const int32_t* foreground);

// ---- Tracking ---------------------------------------------------------------------------------

// Clears the body's column band (neck and torso) in the scratch copy of the foreground.
void ClearBodyBand(cv::Mat& scratch, double bodyScale, double neckX, double neckY);

// Copies the arm's column band of the scratch mask into the arm image and floods it from the
// shoulder column; returns the number of pixels copied (0: nothing to track on this side).
int FloodArmRegion(const ArmContext& arm, const cv::Mat& scratch, const int32_t* foreground,
                   cv::Mat& armImage, std::vector<int>& queue);

// Tracking weight of every cell for this arm: closeness to the previous or predicted hand, and
// a preference for raised skin.
void TrackingWeights(const ArmContext& arm, const std::vector<HandCell>& cells, double previousX,
                     double previousY, int stepX, int stepY, std::vector<double>& weights);

// Bounding box of the hand blob grown over moving pixels from the previous hand; empty when
// left > right.
struct BlobBox {
    int left = 0, right = -1, top = 0, bottom = -1;
};
BlobBox GrowHandBlob(const ArmContext& arm, double previousX, double previousY,
                     const int32_t* motionCount, int d, cv::Mat& blobImage,
                     std::vector<int>& queue);

// The hand candidates in listing order: cells near the previous (and, for hand 1, the
// predicted) hand, cells on the hand blob, then up to 100 cells by tracking weight.
void ListHandCandidates(const ArmContext& arm, const std::vector<HandCell>& cells,
                        const std::vector<double>& weights, double previousX, double previousY,
                        int stepX, int stepY, const cv::Mat& blobImage, const BlobBox& blob,
                        std::vector<int>& candidates);

// Upper arms from the shoulder to each elbow candidate with box density >= 0.25.
void CollectUpperArms(const ArmContext& arm, const std::vector<ElbowCandidate>& elbows,
                      const int32_t* foreground, std::vector<UpperArmHypothesis>& upperArms);

// Whether the elbow may bend from upper-arm angle a to forearm angle c.
bool ElbowBendAllowed(int arm, double a, double c);

// Foreground count of the arm window beside the neck, without the body below and beside it.
int ArmRegionCount(const ArmContext& arm, const int32_t* foreground);

// How much of the arm region the chain covers, less what lies on the body or doubles back at
// the elbow: in [0.01, 1.01].
double OutlineTerm(const ArmContext& arm, const UpperArmHypothesis& upper, double handX,
                   double handY, double foreLength, double foreAngle, double foreDensity,
                   int armRegion, const int32_t* foreground);

// 1, or below 1 when the forearm of an arm reaching toward another user is not lined by the
// silhouette of the scratch mask.
double NeighbourFactor(const ArmContext& arm, const UpperArmHypothesis& upper, double handX,
                       double foreLength, double foreAngle, const cv::Mat& scratch);

// The factor (1 or more) for raised, outstretched arms about three torso half-widths long.
double OutwardBonus(const ArmContext& arm, const UpperArmHypothesis& upper, double handX,
                    double handY, double foreLength, double foreAngle);

// Inserts a chain into the list of the best, kept in descending order of score.
void KeepBestChain(std::vector<ArmChain>& best, const ArmChain& chain);

// Chains of every candidate with every upper arm; returns the ten best in descending order.
void FitChains(const ArmContext& arm, const std::vector<HandCell>& cells,
               const std::vector<int>& candidates, const std::vector<double>& weights,
               const std::vector<UpperArmHypothesis>& upperArms, const HandMaps& maps,
               const cv::Mat& scratch, std::vector<ArmChain>& best);

// The score-weighted mean of the kept chains, with the link lengths and angles recomputed from
// the truncated differences of the mean joints.
ArmChain MeanChain(const ArmContext& arm, const std::vector<ArmChain>& best);

// ---- Fall-back --------------------------------------------------------------------------------

// The two largest skin blobs (centres of their bounding boxes); found is false with fewer than
// two blobs or centres closer than 26/256 torso half-widths in x. hand0 has the larger x.
struct SkinBlobPair {
    bool found = false;
    cv::Point hand0, hand1;
};
SkinBlobPair FindSkinBlobPair(const cv::Mat& skinMap, int torsoSize);

// Greedy walk over the foreground from a blob centre toward the shoulder; true when it comes
// closer to the shoulder than the hand size (rounded down to even).
bool ConnectsToShoulder(int arm, int W, int H, cv::Point blob, double shoulderX, double shoulderY,
                        int handSizeInt, const int32_t* foreground, cv::Mat& visited);

}  // namespace olvar

#endif  // OLVAR_BODY_HANDS_H
