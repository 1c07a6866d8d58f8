// Back and forward through the nodes travelled to.
#include "glue/travel_history.h"

namespace orvo {

void TravelHistory::clear() {
    entries_.clear();
    position_ = 0;
}

void TravelHistory::visit(const std::string& id) {
    if (!entries_.empty()) {
        if (entries_[position_] == id) return;
        entries_.resize(position_ + 1);
    }
    entries_.push_back(id);
    if (entries_.size() > kMaxEntries) entries_.erase(entries_.begin());
    position_ = entries_.size() - 1;
}

const std::string* TravelHistory::back() {
    if (!canGoBack()) return nullptr;
    --position_;
    return &entries_[position_];
}

const std::string* TravelHistory::forward() {
    if (!canGoForward()) return nullptr;
    ++position_;
    return &entries_[position_];
}

const std::string* TravelHistory::current() const {
    return entries_.empty() ? nullptr : &entries_[position_];
}

}  // namespace orvo
