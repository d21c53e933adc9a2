// Region quadtree over the working image.
//
// The image is divided into a 4 x 3 grid of top cells (nodes 0..11, row-major), each split into
// quarters until a cell is narrower or lower than 20 pixels. Every frame the tree is filled from
// the integral of the background-difference mask: a node is `occupied` when it holds a changed
// pixel, `dense` when it holds more than 12, and the largest blocks in which every leaf is
// occupied (dense) are marked `full` (`denseFull`); their descendants are left unmarked.
//
// Requires: Update receives an integral of exactly width * height entries. Ensures: the node
// store is laid out again in place for a new size and never overflows, whatever the size.
#ifndef OLVAR_IMAGING_QUADTREE_H
#define OLVAR_IMAGING_QUADTREE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace olvar {

struct QuadNode {
    enum Kind : int32_t { kInner = 0, kLeaf = 1, kTop = 2 };

    int32_t x0, y0, x1, y1;  // rectangle, x1 and y1 exclusive
    int32_t width, height;
    int32_t count;        // changed pixels at the last update
    int32_t children[4];  // top-left, top-right, bottom-left, bottom-right; -1 for leaves
    int32_t kind;
    int32_t index;
    int32_t parent;  // -1 for top cells
    bool occupied;
    bool full;
    bool dense;
    bool denseFull;
};

class Quadtree {
  public:
    static constexpr int kTopCells = 12;
    static constexpr int kMinSide = 20;
    static constexpr int kDenseCount = 12;

    // Lays the tree out for a width x height image, reserving the store for it.
    void Build(int width, int height);
    // Lays the tree out again for a new size in the existing store.
    void Rebuild(int width, int height);
    // Fills counts and flags from the integral of a width x height mask; does nothing when the
    // size differs from the one the tree was laid out for.
    void Update(int width, int height, const int32_t* integral);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Capacity() const { return capacity_; }
    int CellWidth() const { return cellWidth_; }
    int CellHeight() const { return cellHeight_; }
    // Set when the last update saw at least one changed pixel.
    bool Any() const { return any_; }
    const std::vector<QuadNode>& Nodes() const { return nodes_; }
    const QuadNode& Node(int index) const { return nodes_[static_cast<size_t>(index)]; }

    // Calls visit(node) for the largest blocks marked full, walking each top cell downward.
    template <typename Visit>
    void ForEachFull(Visit visit) const {
        for (int i = 0; i < kTopCells && i < static_cast<int>(nodes_.size()); ++i) {
            VisitFull(i, visit);
        }
    }

  private:
    template <typename Visit>
    void VisitFull(int index, Visit& visit) const {
        const QuadNode& node = nodes_[static_cast<size_t>(index)];
        if (node.full) {
            visit(node);
            return;
        }
        if (node.kind == QuadNode::kLeaf) {
            return;
        }
        for (int child : node.children) {
            VisitFull(child, visit);
        }
    }

    static int CapacityFor(int width, int height);
    void Layout(int width, int height);
    int CountChanged(const QuadNode& node, const int32_t* integral) const;
    void CountNode(int index, const int32_t* integral);
    void ClearDescendants(int index);
    bool MarkFull(int index);
    bool MarkDenseFull(int index);
    void ClearFullBelow(int index);
    void ClearDenseFullBelow(int index);

    int width_ = 0;
    int height_ = 0;
    int capacity_ = 0;
    std::vector<QuadNode> nodes_;
    bool any_ = false;
    int cellWidth_ = 0;
    int cellHeight_ = 0;
};

}  // namespace olvar

#endif  // OLVAR_IMAGING_QUADTREE_H
