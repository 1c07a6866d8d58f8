// The nodes a user travelled to, in order, with a current position, so that Back and Forward
// retrace them as a web browser's history does.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvo {

class TravelHistory {
public:
    /// Forgets every entry (another graph was opened).
    void clear();
    /// A travel to the node: drops the entries after the current one and appends the id. A travel
    /// to the current node itself adds nothing.
    void visit(const std::string& id);
    bool canGoBack() const { return position_ > 0; }
    bool canGoForward() const { return position_ + 1 < entries_.size(); }
    /// Steps back (forward) and returns the id now current; nullptr when there is none.
    const std::string* back();
    const std::string* forward();
    /// The current entry; nullptr when the history is empty.
    const std::string* current() const;
    size_t size() const { return entries_.size(); }

    /// The oldest entries give way beyond this many.
    static constexpr size_t kMaxEntries = 1000;

private:
    std::vector<std::string> entries_;
    size_t position_ = 0;  // index of the current entry when entries_ is not empty
};

}  // namespace orvo
