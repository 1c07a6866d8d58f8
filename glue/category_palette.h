// Colours for groups that have none of their own (an imported column, sections, communities):
// a fixed table, the same on every machine, whose first eight colours stay apart for readers
// with red-green colour blindness and whose later ones are each as far as could be from all
// before them. Every colour stands out on the white, grey and black backgrounds of the schemes
// and from the colours of links, of the node under the pointer and of the selection.
#pragma once

#include <array>
#include <cstddef>

namespace orvo {

using Rgb = std::array<float, 3>;

/// How many colours the table holds; the colour of rank n is that of rank n % kPaletteSize.
inline constexpr size_t kPaletteSize = 64;
/// The first colours, safe for colour-blind readers.
inline constexpr size_t kColourBlindSafeColours = 8;

/// The palette's colour number `rank` (0 first).
Rgb paletteColour(size_t rank);

/// How far apart two colours look: the distance of their CIELAB coordinates (about 2 is a
/// difference just seen, 20 plainly another colour).
double colourDifference(const Rgb& a, const Rgb& b);

}  // namespace orvo
