// The labels a graph file gives its nodes, by node index: most graphs have none and pay nothing
// for them; a labelled one keeps a view per node into a few large blocks of text.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "memory/text_arena.h"

namespace orvo {

class NodeLabels {
public:
    /// The label of the node with this index, empty when it has none.
    std::string_view of(int32_t index) const {
        return index >= 0 && static_cast<size_t>(index) < byNode_.size() ? byNode_[index]
                                                                         : std::string_view();
    }
    /// Gives the node a copy of the text as its label (an empty one takes it away); `nodes`, the
    /// graph's node count, sizes the table once. A label is one line: a text holding a line
    /// feed is taken for none.
    void set(int32_t index, std::string_view text, size_t nodes);
    bool empty() const { return byNode_.empty(); }
    void clear();

private:
    TextArena texts_;
    std::vector<std::string_view> byNode_;
};

}  // namespace orvo
