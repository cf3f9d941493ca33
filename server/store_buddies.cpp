// Buddy trees and black lists.
#include "server/store.h"

namespace ov::server {

std::vector<BuddyNode> Store::BuddyTree(uint32_t owner) {
    Statement& s = db_->Prepare(
        "SELECT node, parent, mode, display FROM buddies WHERE owner = ?1 "
        "ORDER BY node >= 1000, rowid");
    s.Bind(1, owner);
    std::vector<BuddyNode> nodes;
    while (s.Step()) {
        nodes.push_back(BuddyNode{static_cast<uint32_t>(s.Int(0)), static_cast<uint32_t>(s.Int(1)),
                                  static_cast<uint32_t>(s.Int(2)), s.Bytes(3)});
    }
    s.Reset();
    return nodes;
}

std::optional<BuddyNode> Store::FindBuddyNode(uint32_t owner, uint32_t id) {
    Statement& s = db_->Prepare(
        "SELECT node, parent, mode, display FROM buddies WHERE owner = ?1 AND node = ?2");
    s.Bind(1, owner).Bind(2, id);
    std::optional<BuddyNode> node;
    if (s.Step()) {
        node = BuddyNode{static_cast<uint32_t>(s.Int(0)), static_cast<uint32_t>(s.Int(1)),
                         static_cast<uint32_t>(s.Int(2)), s.Bytes(3)};
    }
    s.Reset();
    return node;
}

size_t Store::BuddyNodeCount(uint32_t owner) {
    Statement& s = db_->Prepare("SELECT COUNT(*) FROM buddies WHERE owner = ?1");
    s.Bind(1, owner);
    size_t n = s.Step() ? static_cast<size_t>(s.Int(0)) : 0;
    s.Reset();
    return n;
}

bool Store::PutBuddyNode(uint32_t owner, const BuddyNode& node) {
    Statement& s = db_->Prepare(
        "INSERT INTO buddies(owner, node, parent, mode, display) VALUES(?1, ?2, ?3, ?4, ?5) "
        "ON CONFLICT(owner, node) DO UPDATE SET parent = excluded.parent, mode = excluded.mode, "
        "display = excluded.display");
    s.Bind(1, owner)
        .Bind(2, node.id)
        .Bind(3, node.parent)
        .Bind(4, node.mode)
        .Bind(5, node.displayName);
    return s.Run();
}

bool Store::RemoveBuddyNodes(uint32_t owner, const std::vector<uint32_t>& ids) {
    Transaction tx(*db_);
    for (uint32_t id : ids) {
        if (id < 1000) {
            // The group's users go to the default group, its subgroups to the top.
            Statement& users = db_->Prepare(
                "UPDATE buddies SET parent = ?3 WHERE owner = ?1 AND parent = ?2 AND node >= 1000");
            users.Bind(1, owner).Bind(2, id).Bind(3, kDefaultBuddyGroup);
            if (!users.Run())
                return false;
            Statement& groups = db_->Prepare(
                "UPDATE buddies SET parent = 0 WHERE owner = ?1 AND parent = ?2 AND node < 1000");
            groups.Bind(1, owner).Bind(2, id);
            if (!groups.Run())
                return false;
        }
        Statement& del = db_->Prepare("DELETE FROM buddies WHERE owner = ?1 AND node = ?2");
        del.Bind(1, owner).Bind(2, id);
        if (!del.Run())
            return false;
    }
    return tx.Commit();
}

bool Store::InBuddyTree(uint32_t owner, uint32_t pin) {
    Statement& s = db_->Prepare("SELECT 1 FROM buddies WHERE owner = ?1 AND node = ?2");
    s.Bind(1, owner).Bind(2, pin);
    bool found = s.Step();
    s.Reset();
    return found;
}

std::vector<uint32_t> Store::Watchers(uint32_t pin) {
    Statement& s = db_->Prepare("SELECT owner FROM buddies WHERE node = ?1");
    s.Bind(1, pin);
    std::vector<uint32_t> owners;
    while (s.Step())
        owners.push_back(static_cast<uint32_t>(s.Int(0)));
    s.Reset();
    return owners;
}

std::vector<uint32_t> Store::BlackList(uint32_t owner) {
    Statement& s = db_->Prepare("SELECT pin FROM blacklist WHERE owner = ?1 ORDER BY rowid");
    s.Bind(1, owner);
    std::vector<uint32_t> pins;
    while (s.Step())
        pins.push_back(static_cast<uint32_t>(s.Int(0)));
    s.Reset();
    return pins;
}

bool Store::IsBlackListed(uint32_t owner, uint32_t pin) {
    Statement& s = db_->Prepare("SELECT 1 FROM blacklist WHERE owner = ?1 AND pin = ?2");
    s.Bind(1, owner).Bind(2, pin);
    bool found = s.Step();
    s.Reset();
    return found;
}

size_t Store::BlackListCount(uint32_t owner) {
    Statement& s = db_->Prepare("SELECT COUNT(*) FROM blacklist WHERE owner = ?1");
    s.Bind(1, owner);
    size_t n = s.Step() ? static_cast<size_t>(s.Int(0)) : 0;
    s.Reset();
    return n;
}

bool Store::AddToBlackList(uint32_t owner, uint32_t pin) {
    Statement& s =
        db_->Prepare("INSERT INTO blacklist(owner, pin) VALUES(?1, ?2) ON CONFLICT DO NOTHING");
    s.Bind(1, owner).Bind(2, pin);
    return s.Run();
}

bool Store::RemoveFromBlackList(uint32_t owner, uint32_t pin) {
    Statement& s = db_->Prepare("DELETE FROM blacklist WHERE owner = ?1 AND pin = ?2");
    s.Bind(1, owner).Bind(2, pin);
    return s.Run();
}

}  // namespace ov::server
