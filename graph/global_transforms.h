// Where each node stands in the frame of the node its layout started from, worked out when first
// asked for instead of for every node at each layout: a frame only ever reaches the nodes around
// its centre. A node's transform is its local placement times the transform of the node it was
// placed against: its parent, or, for the start's ancestors, their child on the way to the
// start. That is the product, in the same order, that composing every placement down from the
// start gives, so the values are the same to the last bit.
#pragma once

#include <boost/unordered/unordered_flat_map.hpp>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/proj_point.h"
#include "geometry/proj_transform.h"

namespace orvo {

struct Node;

class GlobalTransforms {
public:
    /// Forgets every transform worked out or set: the layout now starts at `start`, whose
    /// ancestors were placed against their child leading to it. nullptr: nothing laid out,
    /// every node at the origin.
    void restart(const Node* start);
    /// Frees the memory of the transforms worked out, as restart(nullptr) with nothing kept.
    void clear();

    /// n's transform into the start's frame. The reference stays valid until the next restart,
    /// clear or set.
    const ProjTransform& of(const Node& n);
    /// Places n by hand until the next restart (in a graph not laid out too): the nodes already
    /// worked out below it keep their place, those worked out later follow it.
    void set(const Node& n, const ProjTransform& transform);
    /// Where n stands: its frame's origin, dehomogenised.
    ProjPoint positionOf(const Node& n) { return dehomogenized(of(n).apply(ProjPoint())); }

    const Node* start() const { return start_; }

private:
    static constexpr size_t kChunkNodes = 64;
    struct Chunk {
        std::array<ProjTransform, kChunkNodes> transforms;
        std::array<uint32_t, kChunkNodes> stamps{};  // valid where equal to stamp_
    };

    ProjTransform& slot(const Node& n);
    bool known(const Node& n) const;
    const Node* placedAgainst(const Node& n) const;

    std::vector<std::unique_ptr<Chunk>> chunks_;  // by node index, made when first reached
    uint32_t stamp_ = 1;
    const Node* start_ = nullptr;
    // The start's ancestors, each with its child on the way to the start.
    boost::unordered_flat_map<const Node*, const Node*> towardStart_;
    std::vector<const Node*> pending_;  // reused by each walk
};

}  // namespace orvo
