// Messages to users (0x501) and point-to-point connection requests (0x503).
#include <algorithm>

#include "common/protocol/vocabulary.h"
#include "server/core.h"
#include "server/replies.h"

namespace ov::server {

namespace {
constexpr size_t kMaxMessage = OV_MSG_SIZE - 1;  // bytes of text in one message
}

uint16_t ServerCore::MessagePermission(uint32_t fromPin, uint32_t toPin, uint32_t toMode) {
    if (fromPin == toPin)
        return OV_ERR_NONE;
    if (store_.IsBlackListed(toPin, fromPin))
        return OV_ERR_MSG_DENY;
    if ((toMode & (OV_UMODE_NO_STRONGER_MSG | OV_UMODE_NO_GROUP_USER_MSG)) &&
        !store_.InBuddyTree(toPin, fromPin)) {
        // Strangers are users outside the recipient's tree; group users are strangers met
        // in a group the recipient is in.
        if (toMode & OV_UMODE_NO_STRONGER_MSG)
            return OV_ERR_MSG_DENY;
        if (SharesGroup(toPin, fromPin))
            return OV_ERR_MSG_DENY;
    }
    return OV_ERR_NONE;
}

bool ServerCore::DeliverStored(const Session& to, const StoredMessage& m,
                               std::function<void()> settled) {
    if (to.owner != 0) {
        // The recipient's server sends it from the store.
        ClusterEvent e = Event(ClusterEvent::kStoredMessage);
        e.pin = to.pin;
        e.id = m.id;
        Publish(e);
        return true;
    }
    if (!deliveringStored_.insert(m.id).second)
        return false;  // on its way already
    std::string body = reply::Message(m.fromPin, m.groupType, m.toId, m.componentId,
                                      m.componentCode, m.text, m.sentTime);
    int64_t id = m.id;
    uint32_t seq = transport_.Send(
        to.endpoint, OV_SCMD_MESSAGE, 0, body, clock_.NowMs(),
        [this, m, settled = std::move(settled)](bool acked) {
            deliveringStored_.erase(m.id);
            if (acked || m.keep == StoredMessage::kWhileOnItsWay) {
                store_.DeleteMessage(m.id);
            } else if (m.keep == StoredMessage::kUntilDelivered) {
                // The client went away: kept for next time, as far as the quotas allow.
                if (MayKeep(m) == OV_ERR_NONE)
                    store_.KeepMessage(m.id);
                else
                    store_.DeleteMessage(m.id);
            }
            if (settled)
                settled();
        },
        m.packetSeq);
    // Remembered, so that a delivery after a restart goes out under the same number.
    if (seq != 0 && seq != m.packetSeq)
        store_.SetDeliveryPacket(id, seq);
    return true;
}

uint16_t ServerCore::MayKeep(const StoredMessage& m, std::optional<size_t>* senderLeft) {
    if (store_.WaitingCount(m.toPin) >= config_.maxWaitingPerRecipient)
        return OV_ERR_MSG_DENY;
    // The server's own notices are bounded by the mailbox alone.
    if (m.fromPin == OV_SYSTEM_PIN)
        return OV_ERR_NONE;
    std::optional<size_t> fresh;
    if (!senderLeft)
        senderLeft = &fresh;
    if (!*senderLeft) {
        constexpr uint32_t kDay = 24 * 3600;
        uint32_t now = clock_.WallSeconds();
        size_t used = store_.StoredSince(m.fromPin, now > kDay ? now - kDay : 0);
        size_t cap = config_.maxStoredPerSenderPerDay;
        *senderLeft = used < cap ? cap - used : 0;
    }
    if (**senderLeft == 0)
        return OV_ERR_MSG_DENY;
    --**senderLeft;
    return OV_ERR_NONE;
}

uint16_t ServerCore::KeepForLater(const StoredMessage& m, std::optional<size_t>* senderLeft) {
    if (uint16_t error = MayKeep(m, senderLeft))
        return error;
    StoredMessage kept = m;
    kept.keep = StoredMessage::kInMailbox;
    return store_.SaveMessage(kept) != 0 ? uint16_t{OV_ERR_NONE} : uint16_t{OV_ERR_UNKNOWN};
}

void ServerCore::OnSendToUsers(Request& r) {
    req::SendToUsers s;
    if (!req::DecodeSendToUsers(r.body, &s, config_.maxRecipients))
        return Malformed(r);
    if (s.message.size() > kMaxMessage || s.recipients.empty()) {
        return ReplyError(r, OV_ERR_BAD_FIELD);
    }
    const Session& me = *r.session;
    bool save = (s.msgType & OV_MSGT_SAVE) != 0;
    uint32_t now = clock_.WallSeconds();
    // Every recipient gets the message it may get; the reply names the first failure, so
    // that a partly failed send is never reported as a success.
    uint16_t result = OV_ERR_NONE;
    std::optional<size_t> senderLeft;  // read at the first message stored
    std::vector<uint32_t> done;
    std::vector<StoredMessage> deliver;
    // The messages and the command's place in the duplicate filter are written together,
    // before the acknowledgement: after a crash the command is either done or not at all.
    Transaction tx(store_.Db());
    bool stored = false;
    for (uint32_t to : s.recipients) {
        if (std::find(done.begin(), done.end(), to) != done.end())
            continue;
        done.push_back(to);
        const Session* online = sessions_.Find(to);
        uint32_t mode = 0;
        uint16_t error = OV_ERR_NONE;
        if (online) {
            mode = online->profile.mode;
        } else if (auto user = store_.FindUser(to)) {
            mode = user->mode;
        } else {
            error = OV_ERR_USR_NOT_EXIST;
        }
        if (!error)
            error = MessagePermission(me.pin, to, mode);
        StoredMessage m{0, to, me.pin, 0, to, s.componentId, s.componentCode, s.message, now};
        // An invisible user gets saved messages at once; for anything else the sender gets
        // the answers an offline user gives.
        bool reachable = online && (save || online->VisibleStatus() != OV_ONLINE_STATUS_OFFLINE);
        if (!error && reachable) {
            // Stored while on its way, and kept for later if undelivered when it is to be saved.
            m.keep = save ? StoredMessage::kUntilDelivered : StoredMessage::kWhileOnItsWay;
            // Another server numbers what it sends itself.
            m.packetSeq = online->owner == 0 ? transport_.NextPacketSeq() : 0;
            m.id = store_.SaveMessage(m);
            if (m.id == 0) {
                error = OV_ERR_UNKNOWN;
            } else {
                stored = true;
                deliver.push_back(std::move(m));
            }
        } else if (!error && save) {
            error = KeepForLater(m, &senderLeft);
            stored = stored || error == OV_ERR_NONE;
        } else if (!error) {
            // Without OV_MSGT_SAVE nothing is kept for an offline user: the sender learns
            // that the user cannot be reached, as for a point-to-point request.
            error = OV_ERR_USR_NOT_EXIST;
        }
        if (error && !result)
            result = error;
    }
    if (stored &&
        !(store_.SaveTakenCommand(me.pin, TakenCommand{r.header.nPacketSeq, r.fingerprint}) &&
          tx.Commit())) {
        // Not written: nothing is acknowledged, and the client sends the command again.
        r.ackDue = false;
        log_.Printf("messages of PIN %u could not be stored", me.pin);
        return;
    }
    Acknowledge(r);
    for (const StoredMessage& m : deliver) {
        if (const Session* to = sessions_.Find(m.toPin))
            DeliverStored(*to, m);
    }
    ReplyError(r, result);
}

void ServerCore::OnPtpRequest(Request& r) {
    req::PtpRequest p;
    if (!req::DecodePtpRequest(r.body, &p))
        return Malformed(r);
    if (p.message.size() > kMaxMessage)
        return ReplyError(r, OV_ERR_BAD_FIELD);
    const Session& me = *r.session;
    const Session* target = sessions_.Find(p.pin);
    if (!target || target->VisibleStatus() == OV_ONLINE_STATUS_OFFLINE)
        return ReplyError(r, OV_ERR_USR_NOT_EXIST);  // an invisible user answers as offline
    if (store_.IsBlackListed(target->pin, me.pin))
        return ReplyError(r, OV_ERR_MSG_DENY);
    // The client names the address its listening socket has; without one, the address the
    // server sees is the best guess.
    uint32_t ip = p.ip != 0 ? p.ip : me.endpoint.WireIp();
    Notify(*target, OV_SCMD_PTP_REQUEST,
           reply::PtpRequest(me.profile, p.componentId, p.componentCode, ip, p.port, p.message));
    ReplyError(r, OV_ERR_NONE);
}

}  // namespace ov::server
