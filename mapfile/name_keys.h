// The keys a map's name index files each node under, and the keys a query is looked up by. A
// node is filed under its own part of its id (the last segment of its path, so that a node does
// not pay for the segments it shares with its ancestors), under its label and under each word of
// its label; whatever a query equals exactly (the id, its path, short or bare part, the label)
// leads to one of those keys.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

/// The last segment of the path part of a case-folded id, trailing '/'s left out (a folder's
/// own name); the path part whole when it holds only '/'s.
std::string_view ownSegmentOf(std::string_view foldedId);
/// The last segment of the text itself, trailing '/'s left out; the text whole when it holds
/// only '/'s.
std::string_view lastSegmentOf(std::string_view folded);

/// The distinct keys a case-folded label is filed under: the label whole, then its words (runs
/// of lower-case ASCII letters, digits and bytes above 127), at most kMaxLabelWords of them, in
/// their order. `keys` is cleared first.
void labelKeys(std::string_view foldedLabel, std::vector<std::string_view>& keys);
inline constexpr size_t kMaxLabelWords = 32;

/// The segment keys a case-folded query is looked up by (one or two, distinct).
void segmentProbes(std::string_view foldedQuery, std::vector<std::string_view>& probes);

/// Whether the query is the segment key or its short form ('/' and the key): every node filed
/// under the key may then equal it. Otherwise a node may only equal it as its id or path part,
/// which the path check tells.
bool isSegmentOrShortForm(std::string_view foldedQuery, std::string_view key);

/// The 64-bit hash every key and check derives from.
uint64_t nameHash(std::string_view text);
/// The 16 bits of a path part's hash a segment entry keeps.
inline uint16_t pathCheckOf(std::string_view foldedPath) {
    return static_cast<uint16_t>(nameHash(foldedPath) >> 48);
}

}  // namespace orvo
