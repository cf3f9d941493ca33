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
        return Reply(r,
                     reply::EnterGroup(OV_ERR_NONE, group->type, group->id,
                                       static_cast<uint32_t>(group->members.size()), group->mode));
    }
    if (group && group->members.size() >= config_.groupCapacity) {
        return fail(OV_ERR_GRP_TOO_MANY_USRS);
    }
    if (me.groups.size() >= config_.groupsPerSession)
        return fail(OV_ERR_UNKNOWN);
    if (!group)
        group = &groups_.Create(ref.type, ref.name);
    group->members.push_back(me.pin);
    me.groups.push_back(group->id);
    auto online = static_cast<uint32_t>(group->members.size());
    Reply(r, reply::EnterGroup(OV_ERR_NONE, group->type, group->id, online, group->mode));
    std::string enter =
        reply::GroupUserEnter(group->type, group->id, me.profile, me.VisibleStatus());
    std::string count = reply::GroupOnlineCount(group->type, group->id, online);
    for (uint32_t member : group->members) {
        if (member == me.pin)
            continue;
        if (const Session* m = sessions_.Find(member)) {
            Notify(*m, OV_SCMD_GRP_USR_ENTER, enter);
            Notify(*m, OV_SCMD_GRP_OUSR_CNT, count);
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
    wire::Writer w;
    size_t n = std::min(g->members.size(), kRosterCap);
    for (size_t i = 0; i < n; ++i) {
        uint32_t pin = g->members[i];
        reply::GroupUserEntry(w, ProfileOf(pin), VisibleStatusOf(pin));
    }
    Reply(r, reply::GroupList(OV_ERR_NONE, g->type, g->id, Count16(g->members.size()),
                              static_cast<uint16_t>(n), w.Bytes()));
}

void ServerCore::OnGroupList2(Request& r) {
    req::GroupRef ref;
    if (!req::DecodeGroupRef(r.body, &ref))
        return Malformed(r);
    const Group* g = LocateGroup(ref);
    if (!g)
        return ReplyError(r, OV_ERR_GRP_NOT_EXIST);
    std::vector<std::string> entries;
    entries.reserve(g->members.size());
    for (uint32_t pin : g->members) {
        wire::Writer w;
        reply::GroupUserEntry(w, ProfileOf(pin), VisibleStatusOf(pin));
        entries.push_back(std::move(w.Bytes()));
    }
    uint16_t type = g->type;
    uint32_t id = g->id;
    uint16_t online = Count16(g->members.size());
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
    Reply(r,
          reply::GroupCount(OV_ERR_NONE, g->type, g->id, static_cast<uint32_t>(g->members.size())));
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
    for (uint32_t member : g->members) {
        if (member == me.pin || store_.IsBlackListed(member, me.pin))
            continue;
        if (const Session* m = sessions_.Find(member))
            Notify(*m, OV_SCMD_MESSAGE, body);
    }
    ReplyError(r, OV_ERR_NONE);
}

}  // namespace ov::server
