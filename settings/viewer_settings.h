// The one record of every tunable value of the viewer, with its compiled-in defaults, and the
// reader's load flags. Shared by reference by the graph, the layout and the renderer.
#pragma once

#include <array>
#include <cstdint>

namespace orvo {

using Colour = std::array<float, 4>;  // red, green, blue, alpha in 0..1

/// Flags hold 0 or 1; their setters store the low 8 bits of what they are given.
struct ViewerSettings {
    int32_t sliceBudgetSec = 0;
    int32_t sliceBudgetUsec = 50000;
    int32_t refineLimitSec = 1;
    int32_t refineLimitUsec = 0;
    int32_t pickBudgetSec = 0;
    int32_t pickBudgetUsec = 100000;
    int32_t drawSphere = 0;
    Colour sphereColor{0.9f, 0.7f, 0.6f, 1.0f};
    Colour backgroundColor{1.0f, 1.0f, 1.0f, 1.0f};
    Colour highlightColor{0.0f, 1.0f, 0.0f, 1.0f};
    Colour selectedColor{1.0f, 1.0f, 0.0f, 1.0f};
    Colour labelColor{0.0f, 0.0f, 0.0f, 1.0f};
    Colour linkFromColor{0.6f, 0.2f, 0.2f, 1.0f};
    Colour linkToColor{0.2f, 0.2f, 0.6f, 1.0f};
    float outlineMinSize = 5.0f;
    int32_t labelChoice = 2;
    float labelSize = 20.0f;
    const char* fontFace = "Arial";  // not owned
    int32_t fontHeight = 12;
    int32_t passiveDecimation = 5;
    int32_t dragDecimation = 5;
    int32_t nodeGenerationLimit = 30;
    int32_t linkGenerationLimit = 30;
    float childSpacing = 0.0f;
    float minRadius = 0.3f;
    float maxRadius = 2.7f;
    int32_t mouseRefWidth = 400;
    int32_t mouseRefHeight = 400;
    int32_t topNodeIndex = -1;
    int32_t groupColumn = 0;
    int32_t redCentreNode = 0;
    int32_t autoRecentre = 1;
    int32_t hideNegativeLevelLinks = 0;
    int32_t loadFlags = 1;
    float animationStep = 0.05f;
    int32_t useWindowAspect = 0;
    /// 1: every label above the threshold is drawn, overlaps and all; 0: a label that would
    /// overlap one drawn before it in the frame is left out, and smaller nodes get labels.
    int32_t labelsOverlap = 0;
};

/// Lets a frame draw in a single slice, unless slices are already longer than the refinement.
/// A picture made to keep (an export, a snapshot) is drawn so: which labels fit depends on the
/// order they are placed in, slice by slice, and slices cut by time would make that order, and
/// so the picture, depend on the machine's speed.
inline void drawFramesInOneSlice(ViewerSettings& s) {
    const int64_t slice = int64_t{s.sliceBudgetSec} * 1000000 + s.sliceBudgetUsec;
    const int64_t refine = int64_t{s.refineLimitSec} * 1000000 + s.refineLimitUsec;
    if (slice >= refine) return;
    s.sliceBudgetSec = s.refineLimitSec;
    s.sliceBudgetUsec = s.refineLimitUsec;
}

/// Bits of `loadFlags` tested by the reader when a node is listed again under another parent.
enum LoadFlag : int32_t {
    NeverMove = 0x01,           // never move a node: every repeat becomes a non-tree link
    CompareComponents = 0x02,   // walk the address components of old parent, new parent and node
    SameTopAncestor = 0x04,     // only move within the same level-0 ancestor
    PreferAlphabetical = 0x08,  // undecided: move when the new parent's component sorts first
    ExtraField = 0x10,          // records carry an extra integer compared with the parent link's
    PreferShallower = 0x20,     // undecided: move to the parent of lower level
};

}  // namespace orvo
