#include "mapfile/name_keys.h"

#include <algorithm>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "graph/graph.h"

namespace orvo {

std::string_view lastSegmentOf(std::string_view text) {
    const size_t end = text.find_last_not_of('/');
    if (end == std::string_view::npos) return text;
    text = text.substr(0, end + 1);
    const size_t slash = text.rfind('/');
    return slash == std::string_view::npos ? text : text.substr(slash + 1);
}

std::string_view ownSegmentOf(std::string_view foldedId) {
    return lastSegmentOf(pathLabelOf(foldedId));
}

namespace {

// The label is case-folded: no upper-case letter is left.
bool isWordByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x80 || (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z');
}

void addDistinct(std::vector<std::string_view>& keys, std::string_view key) {
    if (!key.empty() && std::find(keys.begin(), keys.end(), key) == keys.end())
        keys.push_back(key);
}

}  // namespace

void labelKeys(std::string_view label, std::vector<std::string_view>& keys) {
    keys.clear();
    addDistinct(keys, label);
    size_t words = 0;
    for (size_t at = 0; at < label.size() && words < kMaxLabelWords;) {
        if (!isWordByte(label[at])) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < label.size() && isWordByte(label[end])) ++end;
        addDistinct(keys, label.substr(at, end - at));
        ++words;
        at = end;
    }
}

// A query equal to a node's id has the node's own segment as its own; equal to its path part
// (whose own path part may be a shorter tail of it), the path's last segment.
void segmentProbes(std::string_view q, std::vector<std::string_view>& probes) {
    probes.clear();
    addDistinct(probes, ownSegmentOf(q));
    addDistinct(probes, lastSegmentOf(q));
}

bool isSegmentOrShortForm(std::string_view q, std::string_view key) {
    return q == key || (q.size() == key.size() + 1 && q.front() == '/' && q.ends_with(key));
}

uint64_t nameHash(std::string_view text) { return XXH3_64bits(text.data(), text.size()); }

}  // namespace orvo
