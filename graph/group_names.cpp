// Interning of group names and of the combinations of names that nodes carry.
#include "graph/group_names.h"

namespace orvo {

void GroupNames::clear() {
    recent_.fill(0);
    names_.clear();
    nameIds_.clear();
    sets_.clear();
    setIds_.clear();
    sets_.emplace_back();  // kNoGroups, the empty set
    setIds_.emplace(std::vector<GroupNameId>{}, kNoGroups);
}

GroupNameId GroupNames::intern(std::string_view name) {
    GroupNameId* recent = name.empty() ? nullptr : &recent_[recentSlotOf(name)];
    if (recent != nullptr && *recent != 0 && names_[*recent - 1] == name) return *recent - 1;
    auto found = nameIds_.find(name);
    GroupNameId id;
    if (found != nameIds_.end()) {
        id = found->second;
    } else {
        id = static_cast<GroupNameId>(names_.size());
        names_.emplace_back(name);
        nameIds_.emplace(names_.back(), id);
    }
    if (recent != nullptr) *recent = id + 1;
    return id;
}

GroupSetId GroupNames::internSet(const std::vector<GroupNameId>& names) {
    auto found = setIds_.find(names);
    if (found != setIds_.end()) return found->second;
    const auto id = static_cast<GroupSetId>(sets_.size());
    sets_.push_back(names);
    setIds_.emplace(names, id);
    return id;
}

int64_t GroupNames::find(std::string_view name) const {
    auto found = nameIds_.find(name);
    return found == nameIds_.end() ? -1 : static_cast<int64_t>(found->second);
}

size_t GroupNames::SetHash::operator()(const std::vector<GroupNameId>& v) const {
    size_t h = v.size();
    for (GroupNameId id : v) h = h * 1000003u ^ id;
    return h;
}

size_t GroupNames::NameHash::operator()(std::string_view name) const {
    return std::hash<std::string_view>{}(name);
}

}  // namespace orvo
