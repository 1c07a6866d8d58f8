// Interned group names. A site has a handful of group names and a handful of combinations of
// them, so each node keeps only the id of its combination (its "group set").
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvo {

using GroupNameId = uint32_t;
using GroupSetId = uint32_t;
using GroupSetView = std::span<const GroupNameId>;
constexpr GroupSetId kNoGroups = 0;  // the empty set, always present

class GroupNames {
public:
    GroupNames() { clear(); }

    void clear();
    GroupNameId intern(std::string_view name);
    size_t nameCount() const { return names_.size(); }
    size_t setCount() const { return sets_.size(); }
    /// The id of the set holding exactly these names in this order.
    GroupSetId internSet(const std::vector<GroupNameId>& names);
    std::string_view name(GroupNameId id) const { return names_[id]; }
    GroupSetView set(GroupSetId id) const { return sets_[id]; }
    /// The id of a name that was interned, or -1.
    int64_t find(std::string_view name) const;

private:
    struct SetHash {
        size_t operator()(const std::vector<GroupNameId>& v) const;
    };
    // Transparent, so that a name is looked up without building a string first.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const;
    };
    // A site has few group names, each seen on most lines: a small cache, indexed by a cheap
    // hash of the name, answers most lookups with one comparison instead of a full hash.
    static size_t recentSlotOf(std::string_view name) {
        return (name.size() * 31 + static_cast<unsigned char>(name.front()) * 7 +
                static_cast<unsigned char>(name.back())) %
               kRecentSlots;
    }
    static constexpr size_t kRecentSlots = 64;
    std::array<GroupNameId, kRecentSlots> recent_{};  // name id + 1, 0 when empty

    std::vector<std::string> names_;
    std::unordered_map<std::string, GroupNameId, NameHash, std::equal_to<>> nameIds_;
    std::vector<std::vector<GroupNameId>> sets_;
    std::unordered_map<std::vector<GroupNameId>, GroupSetId, SetHash> setIds_;
};

}  // namespace orvo
