#include "server/groups.h"

#include <algorithm>

namespace ov::server {

bool Group::HasMember(uint32_t pin) const {
    return std::find(members.begin(), members.end(), pin) != members.end();
}

Group* Groups::Find(uint32_t id) {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : &it->second;
}

Group* Groups::Find(uint16_t type, const std::string& name) {
    auto it = byName_.find({type, name});
    return it == byName_.end() ? nullptr : Find(it->second);
}

Group& Groups::Create(uint16_t type, const std::string& name, uint32_t id) {
    if (id == 0) {
        while (nextId_ == 0 || byId_.count(nextId_))
            ++nextId_;
        id = nextId_++;
    }
    Group& g = byId_[id];
    g.type = type;
    g.id = id;
    g.name = name;
    byName_[{type, name}] = id;
    return g;
}

bool Groups::Leave(Group& group, uint32_t pin) {
    auto it = std::find(group.members.begin(), group.members.end(), pin);
    if (it == group.members.end())
        return false;
    group.members.erase(it);
    if (group.members.empty()) {
        byName_.erase({group.type, group.name});
        byId_.erase(group.id);  // group is gone from here on
    }
    return true;
}

}  // namespace ov::server
