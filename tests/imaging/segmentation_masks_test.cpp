// The mask operations of the segmentation: hole filling, the neighbourhood rule on motion, the
// person count from contour areas and the extent scan.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "imaging/mask_cleanup.h"

namespace olvar {
namespace {

// A mask from rows of '#' (1) and '.' (0).
cv::Mat MaskOf(const std::vector<std::string>& rows) {
    cv::Mat mask =
        cv::Mat::zeros(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), CV_8UC1);
    for (int y = 0; y < mask.rows; ++y) {
        for (int x = 0; x < mask.cols; ++x) {
            mask.at<uint8_t>(y, x) = rows[y][x] == '#' ? 1 : 0;
        }
    }
    return mask;
}

std::vector<std::string> RowsOf(const cv::Mat& mask) {
    std::vector<std::string> rows;
    for (int y = 0; y < mask.rows; ++y) {
        std::string row;
        for (int x = 0; x < mask.cols; ++x) {
            const uint8_t v = mask.at<uint8_t>(y, x);
            row += v == 0 ? '.' : (v == 1 ? '#' : '?');
        }
        rows.push_back(row);
    }
    return rows;
}

SegmentationWorkspace WorkspaceFor(const cv::Mat& mask) {
    SegmentationWorkspace ws;
    ws.Resize(mask.cols, mask.rows);
    return ws;
}

TEST(FillHoles, FillsEnclosedGapsOnlyInsideBoxesOfFiveOrMore) {
    struct Case {
        const char* name;
        std::vector<std::string> mask, filled;
    };
    const std::vector<Case> cases = {
        {"a ring is closed",
         {"........", ".######.", ".#....#.", ".#....#.", ".#....#.", ".######.", "........"},
         {"........", ".######.", ".######.", ".######.", ".######.", ".######.", "........"}},
        {"a cup open to the top keeps its opening",
         {"........", ".#....#.", ".#....#.", ".#....#.", ".#....#.", ".######.", "........"},
         {"........", ".#....#.", ".#....#.", ".#....#.", ".#....#.", ".######.", "........"}},
        {"a pocket reached around a corner stays open",
         {".........", ".#######.", ".#.....#.", ".#.###.#.", ".#.#...#.", ".#.#####.",
          "........."},
         {".........", ".#######.", ".#.....#.", ".#.###.#.", ".#.#...#.", ".#.#####.",
          "........."}},
        {"a ring four pixels wide is too small",
         {"......", ".####.", ".#..#.", ".#..#.", ".#..#.", ".####.", "......"},
         {"......", ".####.", ".#..#.", ".#..#.", ".#..#.", ".####.", "......"}},
        {"a ring on the image border is closed",
         {"#####..", "#...#..", "#...#..", "#...#..", "#####.."},
         {"#####..", "#####..", "#####..", "#####..", "#####.."}},
        {"two holes",
         {"#########", "#..#....#", "#..#....#", "#########", "#.......#", "#########"},
         {"#########", "#########", "#########", "#########", "#########", "#########"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        cv::Mat mask = MaskOf(k.mask);
        SegmentationWorkspace ws = WorkspaceFor(mask);
        FillHoles(mask, ws);
        EXPECT_EQ(RowsOf(mask), k.filled);
    }
}

TEST(FillHoles, AWholeImageReachedThroughOneGapStaysOpen) {
    // A frame one pixel inside the 200 x 150 image with a one-pixel gap on the left: the walk
    // along the gap's row crosses the whole inside, and the flood from its end must reach every
    // other inside pixel (about 28 000) through the bounded seed list.
    cv::Mat mask = cv::Mat::zeros(150, 200, CV_8UC1);
    cv::rectangle(mask, cv::Rect(1, 1, 198, 148), cv::Scalar(1));
    mask.at<uint8_t>(75, 1) = 0;
    const int before = cv::countNonZero(mask);
    SegmentationWorkspace ws = WorkspaceFor(mask);
    FillHoles(mask, ws);
    EXPECT_EQ(cv::countNonZero(mask), before);

    // Closed, the same frame is one hole.
    mask.at<uint8_t>(75, 1) = 1;
    FillHoles(mask, ws);
    EXPECT_EQ(cv::countNonZero(mask), 198 * 148);

    // A lattice of 2 x 2 holes over the whole image: every hole is filled.
    cv::Mat lattice = cv::Mat::zeros(150, 200, CV_8UC1);
    for (int y = 0; y < 150; y += 3) {
        lattice.row(y).setTo(1);
    }
    for (int x = 0; x < 200; x += 3) {
        lattice.col(x).setTo(1);
    }
    lattice.row(149).setTo(1);
    lattice.col(199).setTo(1);
    FillHoles(lattice, ws);
    EXPECT_EQ(cv::countNonZero(lattice), 200 * 150);
}

TEST(NeighbourhoodRule, DropsLoneMotionAndBridgesOnePixelGaps) {
    // Ages: '0' moved now, '1' last frame, anything else long still.
    struct Case {
        const char* name;
        std::vector<std::string> motion, age, result;
    };
    const std::string still5 = "99999";
    const std::vector<std::string> moving5(5, "00000");
    const std::vector<Case> cases = {
        {"a lone moving pixel among still ones is dropped",
         {".....", ".....", "..#..", ".....", "....."},
         {still5, still5, "99099", still5, still5},
         {".....", ".....", ".....", ".....", "....."}},
        {"a neighbour that moved last frame keeps it",
         {".....", ".....", "..#..", ".....", "....."},
         {still5, still5, "99019", still5, still5},
         {".....", ".....", "..#..", ".....", "....."}},
        {"a horizontal gap is bridged",
         {".....", ".....", ".#.#.", ".....", "....."},
         moving5,
         {".....", ".....", ".###.", ".....", "....."}},
        {"a vertical gap is bridged, and the last row copies the row above",
         {".....", "..#..", ".....", "..#..", "....."},
         moving5,
         {".....", "..#..", "..#..", "..#..", "..#.."}},
        {"a diagonal gap is bridged",
         {".....", ".#...", ".....", "...#.", "....."},
         moving5,
         {".....", ".#...", "..#..", "...#.", "...#."}},
        {"an anti-diagonal gap is bridged",
         {".....", "...#.", ".....", ".#...", "....."},
         moving5,
         {".....", "...#.", "..#..", ".#...", ".#..."}},
        {"a bridged pixel bridges the next one in row order",
         {".....", ".#.#.", ".....", "..#..", "....."},
         moving5,
         {".....", ".###.", "..#..", "..#..", "..#.."}},
        {"border pixels are left alone",
         {"#.#...", "......", "......", "#.....", ".#..#."},
         std::vector<std::string>(5, "999999"),
         {"#.#...", "......", "......", "#.....", "##..#."}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        cv::Mat motion = MaskOf(k.motion);
        cv::Mat age(motion.size(), CV_8UC1);
        for (int y = 0; y < age.rows; ++y) {
            for (int x = 0; x < age.cols; ++x) {
                age.at<uint8_t>(y, x) = static_cast<uint8_t>(k.age[y][x] - '0');
            }
        }
        ApplyNeighbourhoodRule(motion, age);
        EXPECT_EQ(RowsOf(motion), k.result);
    }
}

TEST(UpdateAge, RestartsMovingPixelsAndSaturatesTheOthers) {
    cv::Mat age = (cv::Mat_<uint8_t>(1, 4) << 0, 7, 254, 255);
    const cv::Mat motion = (cv::Mat_<uint8_t>(1, 4) << 0, 1, 0, 0);
    UpdateAge(age, motion);
    EXPECT_EQ(age.at<uint8_t>(0, 0), 1);
    EXPECT_EQ(age.at<uint8_t>(0, 1), 0);
    EXPECT_EQ(age.at<uint8_t>(0, 2), 255);
    EXPECT_EQ(age.at<uint8_t>(0, 3), 255);
}

cv::Mat WithSquare(cv::Mat mask, int x, int y, int w, int h) {
    mask(cv::Rect(x, y, w, h)).setTo(1);
    return mask;
}

TEST(CountPersons, CountsFromTheAreasOfTheLargestContours) {
    // Contour areas of filled w x h rectangles are (w - 1) * (h - 1) pixel-centre units.
    struct Case {
        const char* name;
        cv::Size image;
        std::vector<cv::Rect> blobs;
        int validRecords;
        int expected;
    };
    // 20 x 14 = 280 pixels: one person above 23.3, two above 40.
    // 200 x 150 = 30000 pixels: one person above 2500, two above 4285.7, a quarter 7500.
    const std::vector<Case> cases = {
        {"area 24 is ignored", {20, 14}, {{2, 2, 5, 7}}, 0, 0},
        {"area 25 counts", {20, 14}, {{2, 2, 6, 6}}, 0, 1},
        {"nothing", {200, 150}, {}, 0, 0},
        {"just below one person", {200, 150}, {{10, 10, 50, 51}}, 0, 0},
        {"one person", {200, 150}, {{10, 10, 51, 52}}, 0, 1},
        {"just below two", {200, 150}, {{10, 10, 66, 66}}, 0, 1},
        {"a blob of two", {200, 150}, {{10, 10, 67, 67}}, 0, 2},
        {"a blob of two with one record", {200, 150}, {{10, 10, 67, 67}}, 1, 2},
        // The second blob counts only when it was the largest before the largest came:
        // contours found later in the raster scan are listed first.
        {"two large blobs, the larger found first",
         {200, 150},
         {{5, 5, 70, 70}, {110, 5, 67, 67}},
         2,
         3},
        {"two large blobs, the larger found last",
         {200, 150},
         {{5, 5, 67, 67}, {110, 5, 70, 70}},
         2,
         4},
        {"one blob on the left with two records", {200, 150}, {{10, 10, 67, 67}}, 2, 5},
        {"one blob on the right with two records", {200, 150}, {{120, 10, 67, 67}}, 2, 4},
        {"one blob over a quarter with two records", {200, 150}, {{10, 10, 90, 90}}, 2, 2},
        // Border pixels take no part: a 51 x 52 blob in a corner is outlined as 50 x 51
        // (area 49 * 50 = 2450), below one person; in the open it counts (area 2550).
        {"a person-sized blob in the bottom-left corner", {200, 150}, {{0, 98, 51, 52}}, 0, 0},
        {"a person-sized blob in the top-right corner", {200, 150}, {{149, 0, 51, 52}}, 0, 0},
        {"a person-sized blob on the bottom edge", {200, 150}, {{70, 99, 52, 51}}, 0, 0},
        {"a larger corner blob counts by its part off the border",
         {200, 150},
         {{0, 97, 53, 53}},
         0,
         1},
        {"a whole-image blob is two persons", {200, 150}, {{0, 0, 200, 150}}, 0, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        cv::Mat mask = cv::Mat::zeros(k.image, CV_8UC1);
        for (const cv::Rect& r : k.blobs) {
            mask = WithSquare(mask, r.x, r.y, r.width, r.height);
        }
        const cv::Mat before = mask.clone();
        EXPECT_EQ(CountPersons(mask, k.validRecords), k.expected);
        EXPECT_EQ(cv::countNonZero(mask != before), 0);  // the border is cleared in a copy
    }
}

TEST(ExtentScan, RowsAndColumnsBoundTheInsideAndDisagreeOnConcavities) {
    const cv::Mat mask = MaskOf({
        ".......",
        ".#...#.",
        ".#...#.",
        ".#####.",
        ".......",
    });
    SegmentationWorkspace ws = WorkspaceFor(mask);
    ExtentScan(mask, ws);
    // Rows 1 to 3 reach from column 1 to 5; columns 2 to 4 only hold row 3, so the inside of
    // the cup is inside for the rows and outside for the columns: ambiguous.
    EXPECT_EQ(RowsOf(ws.inside), (std::vector<std::string>{
                                     ".......",
                                     ".#...#.",
                                     ".#...#.",
                                     ".#####.",
                                     ".......",
                                 }));
    EXPECT_EQ(RowsOf(ws.ambiguous), (std::vector<std::string>{
                                        ".......",
                                        "..###..",
                                        "..###..",
                                        ".......",
                                        ".......",
                                    }));
    EXPECT_EQ(RowsOf(ws.outside), (std::vector<std::string>{
                                      "#######",
                                      "#.....#",
                                      "#.....#",
                                      "#.....#",
                                      "#######",
                                  }));
    EXPECT_EQ(ws.rowFirst, (std::vector<int32_t>{-1, 1, 1, 1, -1}));
    EXPECT_EQ(ws.rowLast, (std::vector<int32_t>{-1, 5, 5, 5, -1}));
    EXPECT_EQ(ws.columnFirst, (std::vector<int32_t>{-1, 1, 3, 3, 3, 1, -1}));
    EXPECT_EQ(ws.columnLast, (std::vector<int32_t>{-1, 3, 3, 3, 3, 3, -1}));
}

TEST(ExtentScan, LinesWithoutAChangeAreOutsideEvenWhenFullySet) {
    // Row 1 is set from edge to edge: no change along it, so the rows call it outside while the
    // columns (which change at row 1) call it inside.
    const cv::Mat mask = MaskOf({
        "....",
        "####",
        "....",
    });
    SegmentationWorkspace ws = WorkspaceFor(mask);
    ExtentScan(mask, ws);
    EXPECT_EQ(ws.rowFirst, (std::vector<int32_t>{-1, -1, -1}));
    EXPECT_EQ(RowsOf(ws.inside), (std::vector<std::string>{"....", "....", "...."}));
    EXPECT_EQ(RowsOf(ws.ambiguous), (std::vector<std::string>{"....", "####", "...."}));

    // Counts in the mask (the motion accumulator) change inside the blob too; only the first
    // and last change bound it.
    const cv::Mat counts = (cv::Mat_<uint8_t>(1, 6) << 0, 1, 3, 3, 1, 0);
    SegmentationWorkspace line = WorkspaceFor(counts);
    ExtentScan(counts, line);
    EXPECT_EQ(line.rowFirst[0], 1);
    EXPECT_EQ(line.rowLast[0], 4);
}

}  // namespace
}  // namespace olvar
