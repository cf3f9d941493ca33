// Pageroom groups held in memory: made on the first enter, keyed by type and name, with IDs
// unique across types (clients address page groups with the site type and the page group's
// ID, so an ID alone finds a group). A group ends when its last member leaves.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ov::server {

struct Group {
    uint16_t type = 0;
    uint32_t id = 0;
    std::string name;
    uint32_t mode = 0;
    std::vector<uint32_t> members;  // PINs in the order they entered
    // Members who entered invisible: the others were not told of them.
    std::vector<uint32_t> unannounced;

    bool HasMember(uint32_t pin) const;
};

class Groups {
public:
    Group* Find(uint32_t id);
    Group* Find(uint16_t type, const std::string& name);
    // With id 0, the next free ID here; otherwise that ID (given by the database that servers
    // share).
    Group& Create(uint16_t type, const std::string& name, uint32_t id = 0);
    // Removes the member; a group left empty ends. True if the PIN was a member.
    bool Leave(Group& group, uint32_t pin);
    size_t Count() const { return byId_.size(); }

private:
    std::unordered_map<uint32_t, Group> byId_;
    std::map<std::pair<uint16_t, std::string>, uint32_t> byName_;
    uint32_t nextId_ = 1;
};

}  // namespace ov::server
