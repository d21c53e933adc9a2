// Hand cells: small square windows on a grid beside the body that hold enough foreground and
// some skin, each weighted by its skin and motion densities.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "body/hands.h"
#include "body/user_tracker.h"
#include "imaging/integral.h"

namespace olvar {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Sum of an integral image over the window (x +- g, y +- g).
int WindowSum(const int32_t* integral, int W, int x, int y, int g) {
    return CornerSum(integral, W, x - g, y - g, x + g, y + g);
}

// Skin, motion and changed-colour terms of the window (x +- g, y +- g).
HandCell MakeCell(int x, int y, int g, int skinCount, const HandMaps& maps) {
    const double area = 4.0 * g * g;
    HandCell cell;
    cell.x = x;
    cell.y = y;
    cell.left = x - g;
    cell.right = x + g;
    cell.top = y - g;
    cell.bottom = y + g;
    cell.skinTerm = skinCount / area + 1;
    const int motion = WindowSum(maps.motionCount, maps.W, x, y, g);
    cell.motionTerm = motion / (area * maps.d) + 1;
    cell.weight = cell.skinTerm * cell.motionTerm;
    const int changed = WindowSum(maps.changed, maps.W, x, y, g);
    cell.changedDensity = changed / area;
    return cell;
}

// Capacity check shared by both grids: at least minimum and at most W * H cells.
bool CapacityFits(int64_t capacity, int minimum, int W, int H) {
    return capacity >= minimum && capacity <= static_cast<int64_t>(W) * H;
}

// One walk over the grid, rows top to bottom and columns left to right: a window becomes a cell
// when it holds at least minForeground foreground pixels, passes `admit` and holds some skin.
// The walk stops when the grid's capacity is reached.
template <typename Admit>
void WalkCellGrid(const CellGrid& grid, const HandMaps& maps, int minForeground, Admit admit,
                  std::vector<HandCell>& cells) {
    cells.clear();
    if (!grid.valid) {
        return;
    }
    cells.reserve(grid.capacity);
    const int g = grid.g;
    for (int y = grid.y0; y < grid.y1; y += g) {
        for (int x = grid.x0; x < grid.x1; x += g) {
            if (WindowSum(maps.foreground, maps.W, x, y, g) < minForeground || !admit(x, y)) {
                continue;
            }
            const int skin = WindowSum(maps.skin, maps.W, x, y, g);
            if (skin <= 0) {
                continue;
            }
            cells.push_back(MakeCell(x, y, g, skin, maps));
            if (static_cast<int>(cells.size()) >= grid.capacity) {
                return;
            }
        }
    }
}

}  // namespace

OtherUser SaneOther(bool present, int x, int y, int size, int W, int H) {
    // The other user's fields come from another tracker; keep them in a range where the
    // bounds derived from them cannot overflow. Values inside the frame are unchanged.
    const int reach = W + H;
    return OtherUser{present, std::clamp(x, -reach, 2 * reach), std::clamp(y, -reach, 2 * reach),
                     std::clamp(size, 0, reach)};
}

bool HandSearchScaleUsable(double bodyScale, int torsoSize, int W, int H) {
    const int reach = W + H;
    return W > 0 && H > 0 && torsoSize > 0 && torsoSize <= reach && bodyScale >= 0 &&
           bodyScale <= reach;
}

ArmContext MakeArmContext(const UserTracker& tracker, int arm) {
    const BodySkeleton& sk = tracker.skeleton;
    const bool right = arm == 0;
    const BodySkeleton::ArmParts parts = BodySkeleton::Arm(arm);
    const int shoulder = parts.shoulder, elbow = parts.elbow, hand = parts.hand;
    const SkeletonLink& upper = sk.L(parts.upperArm);
    const SkeletonLink& fore = sk.L(parts.forearm);

    ArmContext c;
    c.arm = right ? 0 : 1;
    c.W = tracker.W;
    c.H = tracker.H;
    c.bodyScale = sk.bodyScale;
    c.torsoSize = tracker.torsoSize;
    c.torsoX = tracker.torsoX;
    c.torsoY = tracker.torsoY;
    c.neckX = sk.J(BodySkeleton::kNeckTop).x;
    c.neckY = sk.J(BodySkeleton::kNeckTop).y;
    c.shoulderCentreY = sk.J(BodySkeleton::kShoulderCentre).y;
    c.shoulderX = sk.J(shoulder).x;
    c.shoulderY = sk.J(shoulder).y;
    c.elbowRefX = sk.J(elbow).x;
    c.elbowRefY = sk.J(elbow).y;
    c.handJointX = sk.J(hand).x;
    c.handJointY = sk.J(hand).y;
    c.upperWidth = upper.width;
    c.upperMin = upper.minLength;
    c.upperMax = upper.maxLength;
    c.foreNominal = fore.nominalLength;
    c.foreWidth = fore.width;
    c.foreMin = fore.minLength;
    c.foreMax = fore.maxLength;
    c.other = SaneOther(tracker.otherPresent, tracker.otherX, tracker.otherY, tracker.otherSize,
                        tracker.W, tracker.H);
    return c;
}

double SegmentAngle(double ax, double ay, double bx, double by) {
    const double dx = bx - ax;
    const double up = ay - by;  // y grows downward, angles count upward
    if (dx == 0) {
        return up > 0 ? kPi / 2 : -kPi / 2;
    }
    if (up == 0) {
        return dx > 0 ? 0.0 : -kPi;
    }
    return std::atan2(up, dx);
}

int RangeCount(const int32_t* integral, int W, int H, int x0, int y0, int x1, int y1) {
    if (integral == nullptr || W <= 0 || H <= 0) {
        return 0;
    }
    x0 = std::clamp(x0, 0, W - 1);
    x1 = std::clamp(x1, 0, W - 1);
    y0 = std::clamp(y0, 0, H - 1);
    y1 = std::clamp(y1, 0, H - 1);
    if (x1 <= x0 || y1 <= y0) {
        return 0;
    }
    return CornerSum(integral, W, x0, y0, x1, y1);
}

int CellPitch(double scale) {
    return std::max(1, TruncToInt(0.166667 * scale + 0.5));
}

CellGrid StartCellGrid(const ArmContext& arm) {
    const int W = arm.W, H = arm.H;
    CellGrid grid;
    const int g = CellPitch(arm.bodyScale);
    grid.g = g;
    // Hand 0 searches right of the torso, hand 1 left of it, each from four cells out; rows
    // start two cells below the shoulder line. Windows reach g around the centre, so the
    // ranges also keep g away from the image's left and top edges.
    if (arm.arm == 0) {
        grid.x0 = std::max(g, std::min(TruncToInt(arm.torsoX + 4 * g), W - 1));
        grid.x1 = W - g - 1;
    } else {
        grid.x0 = g;
        grid.x1 = std::min(W - g - 1, std::max(0, TruncToInt(arm.torsoX - 4 * g)));
    }
    grid.y0 = std::max(g, std::min(TruncToInt(arm.torsoY + 2 * g), H - 1));
    grid.y1 = H - g - 1;
    if (grid.x0 >= grid.x1 || grid.y0 >= grid.y1) {
        return grid;
    }
    const int64_t capacity =
        static_cast<int64_t>(H - g - grid.y0 + 4) * (grid.x1 - grid.x0 + 5) / (g * g) + 1;
    grid.valid = CapacityFits(capacity, 4, W, H);
    grid.capacity = grid.valid ? static_cast<int>(capacity) : 0;
    return grid;
}

CellGrid TrackCellGrid(int W, int H, double bodyScale, double neckX, double neckY,
                       const OtherUser& other) {
    CellGrid grid;
    const int g = CellPitch(bodyScale);
    grid.g = g;
    const double s = bodyScale;
    grid.y0 = std::max(g, TruncToInt(neckY - 3.2 * s));
    int lastRow = std::min(H - g - 1, TruncToInt(neckY + 3.8 * s));
    grid.x0 = std::max(g, TruncToInt(neckX - 3.6 * s));
    int lastColumn = std::min(W - g - 1, TruncToInt(neckX + 3.6 * s));
    if (other.present) {
        // Stop at the other user's body, on whichever side of the frame it stands.
        if (neckX < W / 2) {
            lastColumn = std::max(g, std::min(lastColumn, other.x - other.size));
        } else {
            grid.x0 = std::min(W - g - 1, std::max(grid.x0, other.x + other.size));
        }
    }
    grid.x1 = lastColumn + 1;
    grid.y1 = lastRow + 1;
    if (grid.x0 >= grid.x1 || grid.y0 >= grid.y1) {
        return grid;
    }
    const int64_t capacity =
        static_cast<int64_t>(lastRow - grid.y0 + 5) * (lastColumn - grid.x0 + 5) / (g * g) + 1;
    grid.valid = CapacityFits(capacity, 4, W, H);
    grid.capacity = grid.valid ? static_cast<int>(capacity) : 0;
    return grid;
}

void CollectStartCells(const CellGrid& grid, const HandMaps& maps, std::vector<HandCell>& cells) {
    const int g = grid.g;
    const int area = 4 * g * g;
    const int minForeground = (77 * area) >> 8;
    auto anyWindow = [](int, int) { return true; };
    WalkCellGrid(grid, maps, minForeground, anyWindow, cells);
}

void CollectTrackCells(const CellGrid& grid, const HandMaps& maps, const float previousX[2],
                       const float previousY[2], std::vector<HandCell>& cells) {
    const int g = grid.g;
    const int area = 4 * g * g;
    const int minForeground = (45 * area) >> 7;
    auto nearPreviousHand = [&](int x, int y) {
        for (int k = 0; k < 2; ++k) {
            if (std::fabs(x - previousX[k]) <= 2 * g && std::fabs(y - previousY[k]) <= 2 * g) {
                return true;
            }
        }
        return false;
    };
    // Tracking keeps only windows that move or lie near one of the previous hands.
    auto movingOrNearHand = [&](int x, int y) {
        const int motion = WindowSum(maps.motionCount, maps.W, x, y, g);
        const double motionDensity = motion / (static_cast<double>(area) * maps.d);
        return motionDensity > 0.3 || nearPreviousHand(x, y);
    };
    WalkCellGrid(grid, maps, minForeground, movingOrNearHand, cells);
}

}  // namespace olvar
