// Pageroom groups: enter and leave, rosters and counts, and group messages.
#include <algorithm>

#include "common/protocol/vocabulary.h"
#include "server/core.h"
#include "server/replies.h"

namespace ov::server {

namespace {
constexpr size_t kRosterCap = 100;  // entries of one 0x406 reply, and of one 0x411 part
constexpr size_t kMaxMessage = OV_MSG_SIZE - 1;

bool MadeOnEnter(uint16_t type) {
    return type == OV_GT_SITE || type == OV_GT_URL;
}
uint16_t Count16(size_t n) {
    return static_cast<uint16_t>(std::min<size_t>(n, 0xFFFF));
}
}  // namespace

uint32_t ServerCore::VisibleMembers(const Group& g) {
    uint32_t n = 0;
    for (uint32_t pin : g.members) {
        if (VisibleStatusOf(pin) != OV_ONLINE_STATUS_OFFLINE)
            ++n;
    }
    return n;
}

std::vector<uint32_t> ServerCore::MembersShown(const Group& g, uint32_t viewer) {
    std::vector<uint32_t> shown;
    shown.reserve(g.members.size());
    for (uint32_t pin : g.members) {
        if (pin == viewer || VisibleStatusOf(pin) != OV_ONLINE_STATUS_OFFLINE)
            shown.push_back(pin);
    }
    return shown;
}

uint32_t ServerCore::MembersShownTo(uint32_t viewer, uint32_t visibleMembers) {
    // An invisible member sees themselves.
    return visibleMembers + (VisibleStatusOf(viewer) == OV_ONLINE_STATUS_OFFLINE ? 1 : 0);
}

Group* ServerCore::LocateGroup(const req::GroupRef& ref) {
    if (ref.id != 0) {
        if (Group* g = groups_.Find(ref.id))
            return g;
    }
    return ref.name.empty() ? nullptr : groups_.Find(ref.type, ref.name);
}

void ServerCore::OnGroupEnter(Request& r) {
    req::GroupRef ref;
    if (!req::DecodeGroupEnter(r.body, &ref))
        return Malformed(r);
    Session& me = *r.session;
    auto fail = [&](uint16_t error) { Reply(r, reply::EnterGroup(error, ref.type, ref.id, 0, 0)); };
    if (!MadeOnEnter(ref.type))
        return fail(OV_ERR_GRPT_NOT_EXIST);
    // The name is the key; an ID alone finds only a group that exists.
    Group* group = ref.name.empty() ? groups_.Find(ref.id) : groups_.Find(ref.type, ref.name);
    if (!group && ref.name.empty())
        return fail(OV_ERR_GRP_NOT_EXIST);
    if (group && group->HasMember(me.pin)) {
        return Reply(
            r, reply::EnterGroup(OV_ERR_NONE, group->type, group->id,
                                 MembersShownTo(me.pin, VisibleMembers(*group)), group->mode));
    }
    if (group && group->members.size() >= config_.groupCapacity) {
        return fail(OV_ERR_GRP_TOO_MANY_USRS);
    }
    if (me.groups.size() >= config_.groupsPerSession)
        return fail(OV_ERR_UNKNOWN);
    if (!group) {
        // Servers sharing a database give a name the same ID.
        uint32_t id = cluster_ ? store_.GroupId(ref.type, ref.name) : 0;
        if (cluster_ && id == 0)
            return fail(OV_ERR_UNKNOWN);
        group = &groups_.Create(ref.type, ref.name, id);
    }
    group->members.push_back(me.pin);
    me.groups.push_back(group->id);
    uint32_t visible = VisibleMembers(*group);
    Reply(r, reply::EnterGroup(OV_ERR_NONE, group->type, group->id, MembersShownTo(me.pin, visible),
                               group->mode));
    // Invisible: the others are not told, and their count does not change.
    bool unseen = me.VisibleStatus() == OV_ONLINE_STATUS_OFFLINE;
    if (unseen)
        group->unannounced.push_back(me.pin);
    ClusterEvent entered = Event(ClusterEvent::kGroupEnter);
    entered.group = group->id;
    entered.type = group->type;
    entered.mode = group->mode;
    entered.pin = me.pin;
    entered.flag = unseen;
    entered.bytes = group->name;
    Publish(entered);
    if (cluster_) {
        store_.AddGroupMember(
            Self(), GroupMembership{group->id, group->type, group->name, me.pin, unseen, Self()});
    }
    if (!unseen)
        AnnounceEnter(*group, me);
}

void ServerCore::AnnounceEnter(const Group& group, const Session& who) {
    uint32_t visible = VisibleMembers(group);
    std::string enter =
        reply::GroupUserEnter(group.type, group.id, who.profile, who.VisibleStatus());
    for (uint32_t member : group.members) {
        if (member == who.pin)
            continue;
        if (const Session* m = sessions_.FindLocal(member)) {
            Notify(*m, OV_SCMD_GRP_USR_ENTER, enter);
            Notify(*m, OV_SCMD_GRP_OUSR_CNT,
                   reply::GroupOnlineCount(group.type, group.id, MembersShownTo(member, visible)));
        }
    }
}

void ServerCore::OnGroupLeave(Request& r) {
    req::GroupRef ref;
    if (!req::DecodeGroupRef(r.body, &ref))
        return Malformed(r);
    if (Group* g = LocateGroup(ref))
        LeaveGroup(*g, *r.session);
}

void ServerCore::OnGroupList(Request& r) {
    req::GroupRef ref;
    if (!req::DecodeGroupRef(r.body, &ref))
        return Malformed(r);
    const Group* g = LocateGroup(ref);
    if (!g)
        return Reply(r, reply::GroupList(OV_ERR_GRP_NOT_EXIST, ref.type, ref.id, 0, 0, {}));
    std::vector<uint32_t> shown = MembersShown(*g, r.session->pin);
    wire::Writer w;
    size_t n = std::min(shown.size(), kRosterCap);
    for (size_t i = 0; i < n; ++i)
        reply::GroupUserEntry(w, ProfileOf(shown[i]), VisibleStatusOf(shown[i]));
    Reply(r, reply::GroupList(OV_ERR_NONE, g->type, g->id, Count16(shown.size()),
                              static_cast<uint16_t>(n), w.Bytes()));
}

void ServerCore::OnGroupList2(Request& r) {
    req::GroupRef ref;
    if (!req::DecodeGroupRef(r.body, &ref))
        return Malformed(r);
    const Group* g = LocateGroup(ref);
    if (!g)
        return ReplyError(r, OV_ERR_GRP_NOT_EXIST);
    std::vector<uint32_t> shown = MembersShown(*g, r.session->pin);
    std::vector<std::string> entries;
    entries.reserve(shown.size());
    for (uint32_t pin : shown) {
        wire::Writer w;
        reply::GroupUserEntry(w, ProfileOf(pin), VisibleStatusOf(pin));
        entries.push_back(std::move(w.Bytes()));
    }
    uint16_t type = g->type;
    uint32_t id = g->id;
    uint16_t online = Count16(shown.size());
    ReplyInParts(r, entries, kRosterCap, [&](uint16_t flag, uint16_t count, const std::string& e) {
        return reply::GroupListPart(OV_ERR_NONE, type, id, online, flag, count, e);
    });
}

void ServerCore::OnGroupCount(Request& r) {
    req::GroupRef ref;
    if (!req::DecodeGroupRef(r.body, &ref))
        return Malformed(r);
    const Group* g = LocateGroup(ref);
    if (!g)
        return Reply(r, reply::GroupCount(OV_ERR_GRP_NOT_EXIST, ref.type, ref.id, 0));
    Reply(r, reply::GroupCount(OV_ERR_NONE, g->type, g->id,
                               MembersShownTo(r.session->pin, VisibleMembers(*g))));
}

void ServerCore::OnSendToGroup(Request& r) {
    req::SendToGroup s;
    if (!req::DecodeSendToGroup(r.body, &s))
        return Malformed(r);
    if (s.message.size() > kMaxMessage)
        return ReplyError(r, OV_ERR_BAD_FIELD);
    const Session& me = *r.session;
    // By ID alone: clients send page-group messages with the site type.
    const Group* g = groups_.Find(s.groupId);
    if (!g)
        return ReplyError(r, OV_ERR_GRP_NOT_EXIST);
    if (!g->HasMember(me.pin))
        return ReplyError(r, OV_ERR_MSG_DENY);
    std::string body = reply::Message(me.pin, g->type, g->id, s.componentId, s.componentCode,
                                      s.message, clock_.WallSeconds());
    SendToLocalMembers(*g, me.pin, body);
    ClusterEvent sent = Event(ClusterEvent::kGroupMessage);
    sent.group = g->id;
    sent.pin = me.pin;
    sent.bytes = body;
    Publish(sent);
    ReplyError(r, OV_ERR_NONE);
}

void ServerCore::SendToLocalMembers(const Group& group, uint32_t from, const std::string& body) {
    for (uint32_t member : group.members) {
        if (member == from)
            continue;
        const Session* m = sessions_.FindLocal(member);
        if (m && !store_.IsBlackListed(member, from))
            Notify(*m, OV_SCMD_MESSAGE, body);
    }
}

}  // namespace ov::server
