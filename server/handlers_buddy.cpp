// Buddy trees, adding buddies under the target's authorisation rules, and the answers.
#include "common/protocol/vocabulary.h"
#include "server/core.h"
#include "server/replies.h"

namespace ov::server {

namespace {
constexpr size_t kBuddyPart = 12;  // entries per 0x202 part
}

std::vector<std::string> ServerCore::BuddyEntries(uint32_t owner) {
    std::vector<BuddyNode> tree = store_.BuddyTree(owner);
    if (tree.size() > config_.maxBuddyNodes)
        tree.resize(config_.maxBuddyNodes);
    std::vector<std::string> entries;
    entries.reserve(tree.size());
    for (const BuddyNode& node : tree) {
        wire::Writer w;
        if (node.IsGroup()) {
            reply::BuddyEntry(w, node, nullptr, 0);
        } else {
            PublicProfile p = ProfileOf(node.id);
            reply::BuddyEntry(w, node, &p, VisibleStatusOf(node.id));
        }
        entries.push_back(std::move(w.Bytes()));
    }
    return entries;
}

void ServerCore::OnBuddyGet(Request& r) {
    std::vector<std::string> entries = BuddyEntries(r.session->pin);
    std::string joined;
    for (const auto& e : entries)
        joined += e;
    Reply(r, reply::List(OV_ERR_NONE, static_cast<uint16_t>(entries.size()), joined));
}

void ServerCore::OnBuddyGet2(Request& r) {
    std::vector<std::string> entries = BuddyEntries(r.session->pin);
    auto total = static_cast<uint16_t>(entries.size());
    ReplyInParts(r, entries, kBuddyPart, [&](uint16_t flag, uint16_t count, const std::string& e) {
        return reply::ListPart(OV_ERR_NONE, total, flag, count, e);
    });
}

uint16_t ServerCore::CheckParentGroup(uint32_t owner, uint32_t parent) {
    // 0 is the top of the tree; group 1 ("buddies") always exists.
    if (parent == 0 || parent == Store::kDefaultBuddyGroup)
        return OV_ERR_NONE;
    auto node = store_.FindBuddyNode(owner, parent);
    return node && node->IsGroup() ? uint16_t{OV_ERR_NONE} : uint16_t{OV_ERR_BUDDY_GRP_NOT_EXIST};
}

void ServerCore::OnBuddyAdd(Request& r) {
    req::BuddyNodeChange c;
    if (!req::DecodeBuddyAdd(r.body, &c))
        return Malformed(r);
    const Session& me = *r.session;
    auto answer = [&](uint16_t error) { Reply(r, reply::ErrorAndId(error, c.id)); };
    if (c.id == 0 || c.id == me.pin)
        return answer(OV_ERR_BAD_FIELD);
    BuddyNode node{c.id, c.parent, c.mode, c.displayName};
    bool exists = store_.FindBuddyNode(me.pin, c.id).has_value();
    if (!exists && store_.BuddyNodeCount(me.pin) >= config_.maxBuddyNodes) {
        return answer(OV_ERR_UNKNOWN);
    }
    if (node.IsGroup()) {
        return answer(store_.PutBuddyNode(me.pin, node) ? OV_ERR_NONE : OV_ERR_UNKNOWN);
    }
    std::optional<UserRecord> target = store_.FindUser(c.id);
    if (!target)
        return answer(OV_ERR_USR_NOT_EXIST);
    if (uint16_t e = CheckParentGroup(me.pin, c.parent))
        return answer(e);
    if (exists) {
        // Already a buddy: only how the node is shown changes.
        return answer(store_.PutBuddyNode(me.pin, node) ? OV_ERR_NONE : OV_ERR_UNKNOWN);
    }
    if ((target->mode & OV_UMODE_BUDDY_DENY) || store_.IsBlackListed(target->pin, me.pin)) {
        return answer(OV_ERR_BUDDY_DENY);
    }
    if (target->mode & OV_UMODE_BUDDY_AUTH) {
        if (c.message.empty())
            return answer(OV_ERR_ADD_BUDDY_NOMSG);
        BuddyRequest request{me.pin, target->pin, c.message, c.displayName, c.parent, c.mode};
        if (!store_.PutRequest(request))
            return answer(OV_ERR_UNKNOWN);
        answer(OV_ERR_BUDDY_AUTH);
        if (const Session* t = sessions_.Find(target->pin))
            SendRequest(*t, request);
        return;
    }
    if (!store_.PutBuddyNode(me.pin, node))
        return answer(OV_ERR_UNKNOWN);
    answer(OV_ERR_NONE);
    SendAddBuddyNotice(me, target->pin);
}

void ServerCore::SendAddBuddyNotice(const Session& from, uint32_t targetPin) {
    StoredMessage m;
    m.toPin = targetPin;
    m.fromPin = OV_SYSTEM_PIN;
    m.groupType = 0;
    m.toId = targetPin;
    m.componentId = OV_COMPONENT_ADD_BUDDY_NOTICE;
    m.componentCode = 0;
    m.text = reply::AddBuddyNoticeText(from.profile, from.VisibleStatus());
    m.sentTime = clock_.WallSeconds();
    const Session* t = sessions_.Find(targetPin);
    if (!t) {
        KeepForLater(m);
        return;
    }
    // Stored first, so that it outlives a restart on its way; kept for the next login when
    // undelivered, as far as the quotas allow.
    m.keep = StoredMessage::kUntilDelivered;
    // Another server numbers what it sends itself.
    m.packetSeq = t->owner == 0 ? transport_.NextPacketSeq() : 0;
    m.id = store_.SaveMessage(m);
    if (m.id != 0)
        DeliverStored(*t, m);
}

void ServerCore::OnBuddyUpdate(Request& r) {
    req::BuddyNodeChange c;
    if (!req::DecodeBuddyUpdate(r.body, &c))
        return Malformed(r);
    uint32_t owner = r.session->pin;
    auto answer = [&](uint16_t error) { Reply(r, reply::ErrorAndId(error, c.id)); };
    BuddyNode node{c.id, c.parent, c.mode, c.displayName};
    if (!store_.FindBuddyNode(owner, c.id)) {
        return answer(node.IsGroup() ? OV_ERR_BUDDY_GRP_NOT_EXIST : OV_ERR_USR_NOT_EXIST);
    }
    if (!node.IsGroup()) {
        if (uint16_t e = CheckParentGroup(owner, c.parent))
            return answer(e);
    }
    answer(store_.PutBuddyNode(owner, node) ? OV_ERR_NONE : OV_ERR_UNKNOWN);
}

void ServerCore::OnBuddyDelete(Request& r) {
    std::vector<uint32_t> ids;
    if (!req::DecodeIdList(r.body, &ids))
        return Malformed(r);
    store_.RemoveBuddyNodes(r.session->pin, ids);
}

void ServerCore::OnBuddyAuthReply(Request& r) {
    req::BuddyAuthReply a;
    if (!req::DecodeBuddyAuthReply(r.body, &a))
        return Malformed(r);
    const Session& me = *r.session;
    // Only an outstanding request can be answered: an answer must not put anyone into a tree
    // that did not ask for it.
    std::optional<BuddyRequest> request = store_.FindRequest(a.requesterPin, me.pin);
    if (!request) {
        log_.Printf("PIN %u answered a request of PIN %u that does not exist", me.pin,
                    a.requesterPin);
        return;
    }
    store_.DeleteRequest(a.requesterPin, me.pin);
    bool accepted = a.accept != OV_BUDDY_DENY;
    if (accepted) {
        BuddyNode node{me.pin, request->parent, request->mode, request->displayName};
        if (CheckParentGroup(a.requesterPin, node.parent) != OV_ERR_NONE) {
            node.parent = Store::kDefaultBuddyGroup;  // the group went away meanwhile
        }
        store_.PutBuddyNode(a.requesterPin, node);
        // Asking is consent to be in the other's list: a yes makes each the other's buddy.
        if (!store_.FindBuddyNode(me.pin, a.requesterPin))
            store_.PutBuddyNode(me.pin,
                                BuddyNode{a.requesterPin, Store::kDefaultBuddyGroup, 0, {}});
    }
    SendAnswer(a.requesterPin, BuddyAnswer{0, a.requesterPin, me.pin, accepted});
}

void ServerCore::SendAnswer(uint32_t requesterPin, const BuddyAnswer& answer) {
    const Session* requester = sessions_.Find(requesterPin);
    if (!requester) {
        store_.SaveAnswer(answer);
        return;
    }
    if (requester->owner != 0) {
        // Stored, for the server that serves the requester to send and delete.
        BuddyAnswer stored = answer;
        stored.id = store_.SaveAnswer(answer);
        if (stored.id != 0)
            SendStoredAnswer(*requester, stored);
        return;
    }
    Notify(*requester, OV_SCMD_ADD_BUDDY_ACCEPT,
           reply::AddBuddyAnswer(ProfileOf(answer.answererPin), answer.accepted),
           [this, answer](bool acked) {
               if (!acked)
                   store_.SaveAnswer(answer);  // try again at the next login
           });
}

}  // namespace ov::server
