#include "graph/global_transforms.h"

#include "graph/graph.h"

namespace orvo {

namespace {

const ProjTransform kIdentity = ProjTransform::identity();

}  // namespace

void GlobalTransforms::restart(const Node* start) {
    start_ = start;
    towardStart_.clear();
    if (++stamp_ == 0) {  // after four billion layouts, no old stamp may look current
        for (auto& chunk : chunks_)
            if (chunk) chunk->stamps.fill(0);
        stamp_ = 1;
    }
    if (start == nullptr) return;
    for (const Node* n = start; n->parent != nullptr; n = n->parent) towardStart_[n->parent] = n;
}

void GlobalTransforms::clear() {
    restart(nullptr);
    decltype(chunks_)().swap(chunks_);
    decltype(towardStart_)().swap(towardStart_);
    decltype(pending_)().swap(pending_);
}

bool GlobalTransforms::known(const Node& n) const {
    const size_t i = static_cast<size_t>(n.index);
    const size_t c = i / kChunkNodes;
    return c < chunks_.size() && chunks_[c] && chunks_[c]->stamps[i % kChunkNodes] == stamp_;
}

ProjTransform& GlobalTransforms::slot(const Node& n) {
    const size_t i = static_cast<size_t>(n.index);
    const size_t c = i / kChunkNodes;
    if (c >= chunks_.size()) chunks_.resize(c + 1);
    if (!chunks_[c]) chunks_[c] = std::make_unique<Chunk>();
    chunks_[c]->stamps[i % kChunkNodes] = stamp_;
    return chunks_[c]->transforms[i % kChunkNodes];
}

const Node* GlobalTransforms::placedAgainst(const Node& n) const {
    const auto toward = towardStart_.find(&n);
    return toward != towardStart_.end() ? toward->second : n.parent;
}

const ProjTransform& GlobalTransforms::of(const Node& n) {
    if (known(n)) {
        const size_t i = static_cast<size_t>(n.index);
        return chunks_[i / kChunkNodes]->transforms[i % kChunkNodes];
    }
    if (start_ == nullptr) return kIdentity;
    // Up to the first node already known (or the start), then down again, each node's product
    // made from the one it was placed against.
    pending_.clear();
    const Node* base = &n;
    while (base != nullptr && !known(*base)) {
        if (base == start_) {
            slot(*base) = kIdentity;
            break;
        }
        pending_.push_back(base);
        base = placedAgainst(*base);
    }
    const ProjTransform* against = base != nullptr ? &of(*base) : &kIdentity;
    for (auto p = pending_.rbegin(); p != pending_.rend(); ++p) {
        ProjTransform& t = slot(**p);
        t = (*p)->localTransform() * *against;
        against = &t;
    }
    return *against;
}

void GlobalTransforms::set(const Node& n, const ProjTransform& transform) { slot(n) = transform; }

}  // namespace orvo
