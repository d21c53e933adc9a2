// The region quadtree: its layout for the working sizes the camera setup produces, and the
// occupied / full / dense marking from a difference mask.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/integral.h"
#include "imaging/quadtree.h"

namespace olvar {
namespace {

Integral IntegralOf(const cv::Mat& mask) {
    Integral integral;
    EXPECT_TRUE(BuildIntegral(integral, mask));
    return integral;
}

void Update(Quadtree& tree, const cv::Mat& mask) {
    const Integral integral = IntegralOf(mask);
    tree.Update(mask.cols, mask.rows, integral.data());
}

std::vector<int> LeavesBelow(const Quadtree& tree, int index) {
    const QuadNode& node = tree.Node(index);
    if (node.kind == QuadNode::kLeaf) {
        return {index};
    }
    std::vector<int> leaves;
    for (int child : node.children) {
        const std::vector<int> below = LeavesBelow(tree, child);
        leaves.insert(leaves.end(), below.begin(), below.end());
    }
    return leaves;
}

std::vector<int> DescendantsOf(const Quadtree& tree, int index) {
    std::vector<int> all;
    const QuadNode& node = tree.Node(index);
    if (node.kind == QuadNode::kLeaf) {
        return all;
    }
    for (int child : node.children) {
        all.push_back(child);
        const std::vector<int> below = DescendantsOf(tree, child);
        all.insert(all.end(), below.begin(), below.end());
    }
    return all;
}

// Checks the structure every layout must have: twelve top cells tiling the image, children
// tiling their parent at the halving point, leaves exactly where a side is below 20, and
// consistent indices.
void ExpectConsistentLayout(const Quadtree& tree, int width, int height) {
    const std::vector<QuadNode>& nodes = tree.Nodes();
    ASSERT_GE(nodes.size(), 12u + 48u);
    EXPECT_GE(tree.Capacity(), static_cast<int>(nodes.size()));
    const int columns[5] = {0, width >> 2, width >> 1, (3 * width) >> 2, width};
    const int rows[4] = {0, height / 3, (2 * height) / 3, height};
    for (int i = 0; i < 12; ++i) {
        const QuadNode& top = nodes[static_cast<size_t>(i)];
        EXPECT_EQ(top.kind, QuadNode::kTop);
        EXPECT_EQ(top.parent, -1);
        EXPECT_EQ(top.x0, columns[i % 4]);
        EXPECT_EQ(top.x1, columns[i % 4 + 1]);
        EXPECT_EQ(top.y0, rows[i / 4]);
        EXPECT_EQ(top.y1, rows[i / 4 + 1]);
    }
    for (size_t i = 0; i < nodes.size(); ++i) {
        const QuadNode& n = nodes[i];
        ASSERT_EQ(n.index, static_cast<int>(i));
        EXPECT_EQ(n.width, n.x1 - n.x0);
        EXPECT_EQ(n.height, n.y1 - n.y0);
        if (n.kind != QuadNode::kTop) {
            EXPECT_EQ(n.kind == QuadNode::kLeaf, n.width < 20 || n.height < 20) << "node " << i;
        }
        if (n.kind == QuadNode::kLeaf) {
            continue;
        }
        const int xm = n.x0 + (n.width >> 1), ym = n.y0 + (n.height >> 1);
        const int expected[4][4] = {
            {n.x0, n.y0, xm, ym}, {xm, n.y0, n.x1, ym}, {n.x0, ym, xm, n.y1}, {xm, ym, n.x1, n.y1}};
        for (int k = 0; k < 4; ++k) {
            const int child = n.children[k];
            ASSERT_GT(child, static_cast<int>(i));
            ASSERT_LT(child, static_cast<int>(nodes.size()));
            const QuadNode& c = nodes[static_cast<size_t>(child)];
            EXPECT_EQ(c.parent, static_cast<int>(i));
            EXPECT_EQ(c.x0, expected[k][0]);
            EXPECT_EQ(c.y0, expected[k][1]);
            EXPECT_EQ(c.x1, expected[k][2]);
            EXPECT_EQ(c.y1, expected[k][3]);
        }
    }
}

TEST(QuadtreeLayout, WorkingSizeAtCreationHas252Nodes) {
    Quadtree tree;
    tree.Build(200, 150);
    ExpectConsistentLayout(tree, 200, 150);
    EXPECT_EQ(tree.Nodes().size(), 252u);
    EXPECT_EQ(tree.Capacity(), 252);
    EXPECT_EQ(tree.CellWidth(), 50);
    EXPECT_EQ(tree.CellHeight(), 50);
    int top = 0, inner = 0, leaves = 0;
    for (const QuadNode& n : tree.Nodes()) {
        switch (n.kind) {
            case QuadNode::kTop:
                ++top;
                EXPECT_EQ(n.width, 50);
                EXPECT_EQ(n.height, 50);
                break;
            case QuadNode::kInner:
                ++inner;
                EXPECT_EQ(n.width, 25);
                EXPECT_EQ(n.height, 25);
                break;
            default:
                ++leaves;
                EXPECT_TRUE(n.width == 12 || n.width == 13) << n.width;
                EXPECT_TRUE(n.height == 12 || n.height == 13) << n.height;
        }
        EXPECT_TRUE(n.occupied);  // every node starts occupied
    }
    EXPECT_EQ(top, 12);
    EXPECT_EQ(inner, 48);
    EXPECT_EQ(leaves, 192);
    // Breadth first: the top cells' children are nodes 12..59, in the order top-left,
    // top-right, bottom-left, bottom-right.
    EXPECT_EQ(tree.Node(0).children[0], 12);
    EXPECT_EQ(tree.Node(11).children[3], 59);
    EXPECT_EQ(tree.Node(5).children[1], 33);
}

TEST(QuadtreeLayout, EveryWorkingSizeIsLaidOutCompletely) {
    // Working sizes the camera setup produces (unscaled frames up to 200 wide or 150 high,
    // scaled ones near 200 x 150), a few odd ones, and sizes whose capacity formula (real-valued
    // cell sides) undercounts the integer layout, so the store has to grow.
    struct Case {
        int width, height;
        int nodes;  // 0 when not checked
    };
    const Case cases[] = {
        {120, 120, 60},
        {176, 144, 252},
        {200, 600, 252},
        {264, 150, 252},
        {2032, 150, 252},
        {2048, 120, 252},
        {121, 2048, 60},
        {200, 986, 252},
        {740, 150, 252},
        {201, 151, 252},
        // 159 wide: top cells 39 and 40 columns; the 40-wide ones (and the 39-wide ones'
        // 20-wide halves) split once more: 12 + 48 + 3 * 8 + 9 * 16.
        {159, 300, 228},
        {1, 1, 60},
        {7, 3, 60},
        {2048, 2048, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        Quadtree built;
        built.Build(c.width, c.height);
        ExpectConsistentLayout(built, c.width, c.height);
        if (c.nodes > 0) {
            EXPECT_EQ(built.Nodes().size(), static_cast<size_t>(c.nodes));
        }

        // Laid out again in the store sized for 200 x 150, the same tree results.
        Quadtree rebuilt;
        rebuilt.Build(200, 150);
        rebuilt.Rebuild(c.width, c.height);
        ExpectConsistentLayout(rebuilt, c.width, c.height);
        EXPECT_EQ(rebuilt.Nodes().size(), built.Nodes().size());
        EXPECT_EQ(rebuilt.Width(), c.width);
        EXPECT_EQ(rebuilt.Height(), c.height);

        // A fully changed mask marks every top cell full (runs the whole tree; ASan checks the
        // reads).
        Update(rebuilt, cv::Mat::ones(c.height, c.width, CV_8UC1));
        if (c.width >= 8 && c.height >= 6) {
            for (int i = 0; i < 12; ++i) {
                EXPECT_TRUE(rebuilt.Node(i).full) << "top cell " << i;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Update

class QuadtreeUpdate : public ::testing::Test {
  protected:
    void SetUp() override { tree.Build(200, 150); }

    cv::Mat Blank() const { return cv::Mat::zeros(150, 200, CV_8UC1); }

    // Sets `count` pixels inside the node, from its bottom-right corner leftward and upward, so
    // that the pixels stay clear of the image's first row and column, which are never counted.
    static void Fill(cv::Mat& mask, const QuadNode& n, int count) {
        for (int i = 0; i < count; ++i) {
            mask.at<uint8_t>(n.y1 - 1 - i / n.width, n.x1 - 1 - i % n.width) = 1;
        }
    }

    Quadtree tree;
};

TEST_F(QuadtreeUpdate, OnePixelInEveryLeafOfATopCellMarksOnlyThatCellFull) {
    // Top cell 5 (second row, second column).
    cv::Mat mask = Blank();
    for (int leaf : LeavesBelow(tree, 5)) {
        Fill(mask, tree.Node(leaf), 1);
    }
    Update(tree, mask);
    EXPECT_TRUE(tree.Any());
    EXPECT_TRUE(tree.Node(5).full);
    EXPECT_TRUE(tree.Node(5).occupied);
    EXPECT_EQ(tree.Node(5).count, 16);
    EXPECT_TRUE(tree.Node(5).dense);  // 16 > 12
    EXPECT_FALSE(tree.Node(5).denseFull);
    for (int d : DescendantsOf(tree, 5)) {
        EXPECT_TRUE(tree.Node(d).occupied) << d;
        EXPECT_FALSE(tree.Node(d).full) << "only the largest full block stays marked: " << d;
    }
    for (int i = 0; i < 12; ++i) {
        if (i == 5)
            continue;
        EXPECT_FALSE(tree.Node(i).occupied) << i;
        EXPECT_FALSE(tree.Node(i).full) << i;
        for (int d : DescendantsOf(tree, i)) {
            EXPECT_FALSE(tree.Node(d).occupied) << d;
            EXPECT_EQ(tree.Node(d).count, 0) << d;
        }
    }
    std::vector<int> visited;
    tree.ForEachFull([&](const QuadNode& n) { visited.push_back(n.index); });
    EXPECT_EQ(visited, std::vector<int>{5});
}

TEST_F(QuadtreeUpdate, AMissingLeafLeavesTheFullBlocksBelow) {
    // All leaves of top cell 6 but one: the three complete children of the cell, and the three
    // complete leaves of the fourth child, are the largest full blocks.
    cv::Mat mask = Blank();
    const std::vector<int> leaves = LeavesBelow(tree, 6);
    for (size_t i = 1; i < leaves.size(); ++i) {
        Fill(mask, tree.Node(leaves[i]), 1);
    }
    Update(tree, mask);
    EXPECT_TRUE(tree.Node(6).occupied);
    EXPECT_FALSE(tree.Node(6).full);
    const int firstChild = tree.Node(6).children[0];
    EXPECT_FALSE(tree.Node(firstChild).full);
    EXPECT_FALSE(tree.Node(leaves[0]).occupied);
    std::vector<int> visited;
    tree.ForEachFull([&](const QuadNode& n) { visited.push_back(n.index); });
    std::vector<int> expected = {leaves[1],
                                 leaves[2],
                                 leaves[3],
                                 tree.Node(6).children[1],
                                 tree.Node(6).children[2],
                                 tree.Node(6).children[3]};
    EXPECT_EQ(visited, expected);
}

TEST_F(QuadtreeUpdate, PixelsInTheFirstRowAndColumnAreNotCounted) {
    cv::Mat mask = Blank();
    mask.row(0).setTo(1);
    mask.col(0).setTo(1);
    Update(tree, mask);
    EXPECT_TRUE(tree.Any());  // the mask total counts them
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(tree.Node(i).count, 0) << i;
        EXPECT_FALSE(tree.Node(i).occupied) << i;
    }
    // One pixel further in is counted, in the cell that holds it.
    mask.at<uint8_t>(1, 1) = 1;
    Update(tree, mask);
    EXPECT_EQ(tree.Node(0).count, 1);
}

TEST_F(QuadtreeUpdate, PixelsOnACellBoundaryBelongToTheCellTheyAreIn) {
    // Column 50 and row 50 are the first of top cell 5; column 49 / row 49 the last of cell 0.
    cv::Mat mask = Blank();
    mask.at<uint8_t>(50, 50) = 1;
    mask.at<uint8_t>(49, 49) = 1;
    mask.at<uint8_t>(50, 49) = 1;  // cell 4 (second row, first column)
    Update(tree, mask);
    EXPECT_EQ(tree.Node(0).count, 1);
    EXPECT_EQ(tree.Node(4).count, 1);
    EXPECT_EQ(tree.Node(5).count, 1);
    EXPECT_EQ(tree.Node(1).count, 0);
}

TEST_F(QuadtreeUpdate, DenseNeedsMoreThanTwelvePixels) {
    struct Case {
        int pixelsPerLeaf;
        bool leafDense;
        bool cellDenseFull;
    };
    const Case cases[] = {{12, false, false}, {13, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pixelsPerLeaf);
        cv::Mat mask = Blank();
        for (int leaf : LeavesBelow(tree, 7)) {
            Fill(mask, tree.Node(leaf), c.pixelsPerLeaf);
        }
        Update(tree, mask);
        const int leaf = LeavesBelow(tree, 7)[0];
        EXPECT_TRUE(tree.Node(leaf).occupied);
        EXPECT_EQ(tree.Node(leaf).dense, c.leafDense);
        EXPECT_TRUE(tree.Node(7).full);
        EXPECT_EQ(tree.Node(7).denseFull, c.cellDenseFull);
        EXPECT_FALSE(tree.Node(leaf).denseFull);  // the cell above took it over
    }
    // Dense and occupied blocks differ: one sparse leaf keeps the cell full, while the dense-full
    // blocks are that leaf's three siblings and the cell's other three children.
    cv::Mat mask = Blank();
    const std::vector<int> leaves = LeavesBelow(tree, 7);
    for (size_t i = 0; i < leaves.size(); ++i) {
        Fill(mask, tree.Node(leaves[i]), i == 0 ? 1 : 13);
    }
    Update(tree, mask);
    EXPECT_TRUE(tree.Node(7).full);
    EXPECT_FALSE(tree.Node(7).denseFull);
    EXPECT_FALSE(tree.Node(leaves[0]).dense);
    EXPECT_TRUE(tree.Node(leaves[1]).denseFull);
    EXPECT_TRUE(tree.Node(tree.Node(7).children[1]).denseFull);
    EXPECT_FALSE(tree.Node(tree.Node(7).children[0]).denseFull);
}

TEST_F(QuadtreeUpdate, AnEmptyMaskClearsAnyAndKeepsTheLastFlags) {
    cv::Mat mask = Blank();
    for (int leaf : LeavesBelow(tree, 5)) {
        Fill(mask, tree.Node(leaf), 13);
    }
    Update(tree, mask);
    ASSERT_TRUE(tree.Any());
    const std::vector<QuadNode> before = tree.Nodes();

    Update(tree, Blank());
    EXPECT_FALSE(tree.Any());
    ASSERT_EQ(tree.Nodes().size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        const QuadNode& now = tree.Nodes()[i];
        EXPECT_EQ(now.count, before[i].count) << i;
        EXPECT_EQ(now.occupied, before[i].occupied) << i;
        EXPECT_EQ(now.full, before[i].full) << i;
        EXPECT_EQ(now.dense, before[i].dense) << i;
        EXPECT_EQ(now.denseFull, before[i].denseFull) << i;
    }
}

TEST_F(QuadtreeUpdate, ANewFrameReplacesTheLastFramesMarks) {
    // Frame 1 changes every leaf densely except the first leaf of each top cell, so the full and
    // dense-full marks sit on children and leaves. Frame 2 changes a single leaf of cell 0:
    // none of frame 1's marks may survive, and the emptied nodes lose their counts.
    cv::Mat first = Blank();
    for (int cell = 0; cell < 12; ++cell) {
        const std::vector<int> leaves = LeavesBelow(tree, cell);
        for (size_t i = 1; i < leaves.size(); ++i) {
            Fill(first, tree.Node(leaves[i]), 13);
        }
    }
    Update(tree, first);
    ASSERT_TRUE(tree.Node(tree.Node(3).children[1]).full);
    ASSERT_TRUE(tree.Node(tree.Node(3).children[1]).denseFull);

    cv::Mat second = Blank();
    const int leaf = LeavesBelow(tree, 0).back();
    Fill(second, tree.Node(leaf), 20);
    Update(tree, second);
    std::vector<int> visited;
    tree.ForEachFull([&](const QuadNode& n) { visited.push_back(n.index); });
    EXPECT_EQ(visited, std::vector<int>{leaf});
    for (const QuadNode& n : tree.Nodes()) {
        if (n.index == leaf) {
            EXPECT_TRUE(n.full && n.dense && n.denseFull && n.count == 20);
            continue;
        }
        EXPECT_FALSE(n.full) << n.index;
        EXPECT_FALSE(n.denseFull) << n.index;
        if (n.kind == QuadNode::kLeaf) {
            EXPECT_FALSE(n.occupied) << n.index;
            EXPECT_FALSE(n.dense) << n.index;
            EXPECT_EQ(n.count, 0) << n.index;
        }
    }
}

TEST_F(QuadtreeUpdate, AMaskOfAnotherSizeIsIgnored) {
    const cv::Mat other = cv::Mat::ones(150, 160, CV_8UC1);
    const Integral integral = IntegralOf(other);
    tree.Update(160, 150, integral.data());
    EXPECT_FALSE(tree.Any());
    EXPECT_EQ(tree.Node(0).count, 0);
    tree.Update(200, 150, nullptr);
    EXPECT_FALSE(tree.Any());
}

}  // namespace
}  // namespace olvar
