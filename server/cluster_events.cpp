// Servers sharing one database: what this one tells the others, and what it does when they
// tell it something. Sessions served elsewhere are mirrored here, so that statuses, profiles,
// group rosters, searches and the online count cover every server; only a session's own
// server ever sends to its client.
#include <algorithm>

#include "common/protocol/vocabulary.h"
#include "server/core.h"
#include "server/replies.h"

namespace ov::server {

ClusterEvent ServerCore::Event(ClusterEvent::Kind kind) const {
    ClusterEvent e;
    e.kind = kind;
    e.origin = Self();
    return e;
}

void ServerCore::Publish(const ClusterEvent& e) {
    if (cluster_ && !cluster_->Publish(e))
        log_.Printf("could not tell the other servers (event %c)", static_cast<char>(e.kind));
}

Session ServerCore::SessionOf(const SessionRecord& r, const UserRecord& user) {
    Session s;
    s.pin = r.pin;
    s.loginId = r.loginId;
    s.endpoint = r.endpoint;
    s.status = r.status;
    s.terminal = r.terminal;
    s.profile = PublicProfile::From(user);
    return s;
}

ClusterEvent ServerCore::SessionStarted(const SessionRecord& r) const {
    ClusterEvent e = Event(ClusterEvent::kSessionStart);
    e.pin = r.pin;
    e.loginId = r.loginId;
    e.ip = r.endpoint.ip;
    e.port = r.endpoint.port;
    e.status = r.status;
    e.terminal = r.terminal;
    return e;
}

void ServerCore::AddMirror(const SessionRecord& r) {
    std::optional<UserRecord> user = store_.FindUser(r.pin);
    if (!user)
        return;
    Session s = SessionOf(r, *user);
    s.owner = r.process;
    sessions_.Add(std::move(s));
}

void ServerCore::DropMirror(uint32_t pin, bool tellOffline) {
    Session* s = sessions_.Find(pin);
    if (!s || s->owner == 0)
        return;
    std::vector<uint32_t> groups = s->groups;
    for (uint32_t id : groups) {
        if (Group* g = groups_.Find(id))
            LeaveGroup(*g, *s);
    }
    uint32_t visible = s->VisibleStatus();
    sessions_.Remove(pin);
    if (tellOffline && visible != OV_ONLINE_STATUS_OFFLINE)
        TellWatchers(pin, OV_ONLINE_STATUS_OFFLINE);
}

void ServerCore::RestoreGroups() {
    for (const GroupMembership& m : store_.GroupMembers()) {
        Session* s = sessions_.Find(m.pin);
        if (!s || (s->owner == 0 ? Self() : s->owner) != m.process)
            continue;  // a session that is over, or one the user has had since elsewhere
        Group* g = groups_.Find(m.group);
        if (!g)
            g = &groups_.Create(m.type, m.name, m.group);
        if (g->HasMember(m.pin))
            continue;
        g->members.push_back(m.pin);
        s->groups.push_back(m.group);
        if (m.unseen)
            g->unannounced.push_back(m.pin);
    }
}

void ServerCore::CheckProcesses() {
    store_.RegisterProcess(Self());  // again, should the connection have been made anew
    for (uint64_t process : store_.TakeDeadProcesses(Self())) {
        log_.Printf("server %llu has gone: its sessions are over",
                    static_cast<unsigned long long>(process));
        ClusterEvent gone = Event(ClusterEvent::kProcessGone);
        gone.process = process;
        Publish(gone);
        DropProcess(process);
    }
}

void ServerCore::DropProcess(uint64_t process) {
    if (process == 0 || process == Self())
        return;
    for (uint32_t pin : sessions_.OwnedBy(process))
        DropMirror(pin, true);
}

void ServerCore::OnClusterEvent(const ClusterEvent& e) {
    if (e.origin == Self())
        return;
    switch (e.kind) {
        case ClusterEvent::kSessionStart: {
            // The user logged in there: a session here is over, without an offline notice,
            // as the new one's status follows.
            if (const Session* old = sessions_.Find(e.pin)) {
                if (old->owner == 0)
                    EndSession(e.pin, EndReason::kElsewhere);
                else
                    DropMirror(e.pin, false);
            }
            AddMirror(SessionRecord{e.pin, e.loginId, Endpoint{e.ip, static_cast<uint16_t>(e.port)},
                                    e.status, e.terminal, e.origin});
            const Session* s = sessions_.Find(e.pin);
            if (s && s->VisibleStatus() != OV_ONLINE_STATUS_OFFLINE)
                TellWatchers(e.pin, s->VisibleStatus());
            break;
        }
        case ClusterEvent::kSessionEnd: {
            const Session* s = sessions_.Find(e.pin);
            if (s && s->owner == e.origin && s->loginId == e.loginId)
                DropMirror(e.pin, !e.flag);
            break;
        }
        case ClusterEvent::kStatus: {
            Session* s = sessions_.Find(e.pin);
            if (!s || s->owner != e.origin)
                break;
            s->status = e.status;
            uint32_t after = s->VisibleStatus();
            if (after != e.before) {
                TellWatchers(e.pin, after);
                TellGroupMembers(*s, after);
            }
            break;
        }
        case ClusterEvent::kProfile: {
            Session* s = sessions_.Find(e.pin);
            if (s && s->owner == e.origin) {
                if (std::optional<UserRecord> user = store_.FindUser(e.pin))
                    s->profile = PublicProfile::From(*user);
            }
            break;
        }
        case ClusterEvent::kGroupEnter: {
            Session* s = sessions_.Find(e.pin);
            if (!s || s->owner != e.origin)
                break;
            Group* g = groups_.Find(e.group);
            if (!g) {
                g = &groups_.Create(static_cast<uint16_t>(e.type), e.bytes, e.group);
                g->mode = e.mode;
            }
            if (g->HasMember(e.pin))
                break;
            g->members.push_back(e.pin);
            s->groups.push_back(g->id);
            if (e.flag)
                g->unannounced.push_back(e.pin);
            else
                AnnounceEnter(*g, *s);
            break;
        }
        case ClusterEvent::kGroupLeave: {
            Session* s = sessions_.Find(e.pin);
            Group* g = groups_.Find(e.group);
            if (s && g && s->owner == e.origin)
                LeaveGroup(*g, *s);
            break;
        }
        case ClusterEvent::kGroupMessage:
            if (const Group* g = groups_.Find(e.group))
                SendToLocalMembers(*g, e.pin, e.bytes);
            break;
        case ClusterEvent::kDirect:
            if (const Session* s = sessions_.FindLocal(e.pin))
                Notify(*s, static_cast<uint16_t>(e.command), e.bytes);
            break;
        case ClusterEvent::kStoredMessage: {
            // Not here (any more): it stays stored, for the recipient's next login.
            const Session* s = sessions_.FindLocal(e.pin);
            std::optional<StoredMessage> m = s ? store_.FindMessage(e.id) : std::nullopt;
            if (m && m->toPin == e.pin)
                DeliverStored(*s, *m);
            break;
        }
        case ClusterEvent::kBuddyRequest: {
            const Session* s = sessions_.FindLocal(e.target);
            std::optional<BuddyRequest> r = s ? store_.FindRequest(e.pin, e.target) : std::nullopt;
            if (r)
                SendRequest(*s, *r);
            break;
        }
        case ClusterEvent::kBuddyAnswer: {
            const Session* s = sessions_.FindLocal(e.pin);
            if (!s)
                break;
            for (const BuddyAnswer& a : store_.AnswersFor(e.pin)) {
                if (a.id == e.id)
                    SendStoredAnswer(*s, a);
            }
            break;
        }
        case ClusterEvent::kProcessGone:
            DropProcess(e.process);
            break;
    }
}

}  // namespace ov::server
