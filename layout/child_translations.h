// The translation from a node to its children depends only on the child distance, and most
// parents share one of a few distances: a small memo builds each distinct one once.
#pragma once

#include <array>
#include <cstdint>

#include "geometry/proj_transform.h"

namespace orvo {

class ChildTranslations {
public:
    /// The hyperbolic translation by distance d along -x (setTranslationBy(-d, 0, 0)).
    const ProjTransform& toward(double d);

private:
    struct Entry {
        uint64_t key = 0;  // the bits of d
        bool filled = false;
        ProjTransform translation;
    };
    std::array<Entry, 64> entries_;
};

}  // namespace orvo
