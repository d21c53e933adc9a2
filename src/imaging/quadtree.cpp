#include "imaging/quadtree.h"

namespace olvar {

int Quadtree::CapacityFor(int width, int height) {
    int capacity = kTopCells;
    int level = kTopCells;
    double w = width / 4.0, h = height / 3.0;
    while (w >= kMinSide && h >= kMinSide) {
        level *= 4;
        capacity += level;
        w /= 2;
        h /= 2;
    }
    return capacity;
}

void Quadtree::Build(int width, int height) {
    capacity_ = CapacityFor(width, height);
    nodes_.reserve(static_cast<size_t>(capacity_));
    Layout(width, height);
}

void Quadtree::Rebuild(int width, int height) {
    Layout(width, height);
}

void Quadtree::Layout(int width, int height) {
    width_ = width;
    height_ = height;
    cellWidth_ = width / 4;
    cellHeight_ = height / 3;
    any_ = false;
    nodes_.clear();

    auto addNode = [&](int x0, int y0, int x1, int y1, int32_t kind, int parent) {
        QuadNode node{};
        node.x0 = x0, node.y0 = y0, node.x1 = x1, node.y1 = y1;
        node.width = x1 - x0;
        node.height = y1 - y0;
        node.kind = kind;
        node.index = static_cast<int32_t>(nodes_.size());
        node.parent = parent;
        node.occupied = true;
        for (int32_t& child : node.children) {
            child = -1;
        }
        nodes_.push_back(node);
    };

    const int columns[5] = {0, width >> 2, width >> 1, (3 * width) >> 2, width};
    const int rows[4] = {0, height / 3, (2 * height) / 3, height};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            addNode(columns[c], rows[r], columns[c + 1], rows[r + 1], QuadNode::kTop, -1);
        }
    }
    // Split every non-leaf node into quarters, breadth first; children whose side is below the
    // minimum are leaves. The store grows if a size needs more nodes than the capacity formula
    // foresaw (a top cell one pixel wider than the average can need one more level).
    for (size_t i = 0; i < nodes_.size(); ++i) {
        if (nodes_[i].kind == QuadNode::kLeaf) {
            continue;
        }
        const QuadNode parent = nodes_[i];
        const int xm = parent.x0 + (parent.width >> 1);
        const int ym = parent.y0 + (parent.height >> 1);
        const int bounds[4][4] = {{parent.x0, parent.y0, xm, ym},
                                  {xm, parent.y0, parent.x1, ym},
                                  {parent.x0, ym, xm, parent.y1},
                                  {xm, ym, parent.x1, parent.y1}};
        for (int k = 0; k < 4; ++k) {
            const int w = bounds[k][2] - bounds[k][0];
            const int h = bounds[k][3] - bounds[k][1];
            const int32_t kind =
                (w < kMinSide || h < kMinSide) ? QuadNode::kLeaf : QuadNode::kInner;
            nodes_[i].children[k] = static_cast<int32_t>(nodes_.size());
            addNode(bounds[k][0], bounds[k][1], bounds[k][2], bounds[k][3], kind,
                    static_cast<int>(i));
        }
    }
    if (static_cast<int>(nodes_.size()) > capacity_) {
        capacity_ = static_cast<int>(nodes_.size());
    }
}

int Quadtree::CountChanged(const QuadNode& node, const int32_t* integral) const {
    // The row and column before the rectangle bound the sum; at the image edge they stay 0, so
    // row 0 and column 0 are never counted.
    const int x0 = node.x0 > 0 ? node.x0 - 1 : 0;
    const int y0 = node.y0 > 0 ? node.y0 - 1 : 0;
    const int x1 = node.x1 - 1, y1 = node.y1 - 1;
    if (x1 < 0 || y1 < 0) {
        return 0;
    }
    const int W = width_;
    return integral[y1 * W + x1] + integral[y0 * W + x0] - integral[y0 * W + x1] -
           integral[y1 * W + x0];
}

void Quadtree::ClearDescendants(int index) {
    const QuadNode& node = nodes_[static_cast<size_t>(index)];
    if (node.kind == QuadNode::kLeaf) {
        return;
    }
    for (int child : node.children) {
        QuadNode& c = nodes_[static_cast<size_t>(child)];
        c.occupied = false;
        c.dense = false;
        c.count = 0;
        ClearDescendants(child);
    }
}

void Quadtree::CountNode(int index, const int32_t* integral) {
    QuadNode& node = nodes_[static_cast<size_t>(index)];
    node.count = CountChanged(node, integral);
    if (node.count > 0) {
        node.occupied = true;
        if (node.kind != QuadNode::kLeaf) {
            for (int child : node.children) {
                CountNode(child, integral);
            }
        }
        nodes_[static_cast<size_t>(index)].dense =
            nodes_[static_cast<size_t>(index)].count > kDenseCount;
    } else {
        node.occupied = false;
        node.dense = false;
        ClearDescendants(index);
    }
}

void Quadtree::ClearFullBelow(int index) {
    const QuadNode& node = nodes_[static_cast<size_t>(index)];
    if (node.kind == QuadNode::kLeaf) {
        return;
    }
    for (int child : node.children) {
        nodes_[static_cast<size_t>(child)].full = false;
        ClearFullBelow(child);
    }
}

void Quadtree::ClearDenseFullBelow(int index) {
    const QuadNode& node = nodes_[static_cast<size_t>(index)];
    if (node.kind == QuadNode::kLeaf) {
        return;
    }
    for (int child : node.children) {
        nodes_[static_cast<size_t>(child)].denseFull = false;
        ClearDenseFullBelow(child);
    }
}

bool Quadtree::MarkFull(int index) {
    QuadNode& node = nodes_[static_cast<size_t>(index)];
    if (!node.occupied) {
        node.full = false;
        ClearFullBelow(index);
        return false;
    }
    if (node.kind == QuadNode::kLeaf) {
        node.full = true;
        return true;
    }
    bool all = true;
    for (int child : node.children) {
        all = MarkFull(child) && all;  // every child is evaluated
    }
    nodes_[static_cast<size_t>(index)].full = all;
    if (all) {
        ClearFullBelow(index);
    }
    return all;
}

bool Quadtree::MarkDenseFull(int index) {
    QuadNode& node = nodes_[static_cast<size_t>(index)];
    if (!node.dense) {
        node.denseFull = false;
        ClearDenseFullBelow(index);
        return false;
    }
    if (node.kind == QuadNode::kLeaf) {
        node.denseFull = true;
        return true;
    }
    bool all = true;
    for (int child : node.children) {
        all = MarkDenseFull(child) && all;
    }
    nodes_[static_cast<size_t>(index)].denseFull = all;
    if (all) {
        ClearDenseFullBelow(index);
    }
    return all;
}

void Quadtree::Update(int width, int height, const int32_t* integral) {
    if (integral == nullptr || width != width_ || height != height_ || width <= 0 || height <= 0 ||
        nodes_.empty()) {
        return;
    }
    if (integral[static_cast<size_t>(width) * height - 1] < 1) {
        any_ = false;
        return;
    }
    any_ = true;
    for (int i = 0; i < kTopCells; ++i) {
        CountNode(i, integral);
    }
    for (int i = 0; i < kTopCells; ++i) {
        MarkFull(i);
    }
    for (int i = 0; i < kTopCells; ++i) {
        MarkDenseFull(i);
    }
}

}  // namespace olvar
