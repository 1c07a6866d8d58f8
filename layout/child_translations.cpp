// Memo of the parent-to-child translations, direct-mapped on the bits of the distance.
#include "layout/child_translations.h"

#include "memory/bit_cast.h"

namespace orvo {

const ProjTransform& ChildTranslations::toward(double d) {
    const uint64_t key = bitCast<uint64_t>(d);
    // Fibonacci hashing: the top bits of the product mix every bit of the key.
    Entry& e = entries_[(key * 0x9E3779B97F4A7C15ull) >> 58];
    if (!e.filled || e.key != key) {
        e.translation.setTranslationBy(-d, 0.0, 0.0);
        e.key = key;
        e.filled = true;
    }
    return e.translation;
}

}  // namespace orvo
