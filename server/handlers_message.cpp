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

void ServerCore::DeliverStored(const Session& to, const StoredMessage& m) {
    if (!deliveringStored_.insert(m.id).second)
        return;  // on its way already
    std::string body = reply::Message(m.fromPin, m.groupType, m.toId, m.componentId,
                                      m.componentCode, m.text, m.sentTime);
    int64_t id = m.id;
    bool keep = m.keep;
    uint32_t seq = transport_.Send(
        to.endpoint, OV_SCMD_MESSAGE, 0, body, clock_.NowMs(),
        [this, id, keep](bool acked) {
            deliveringStored_.erase(id);
            if (acked || !keep)
                store_.DeleteMessage(id);
        },
        m.packetSeq);
    // Remembered, so that a delivery after a restart goes out under the same number.
    if (seq != 0 && seq != m.packetSeq)
        store_.SetDeliveryPacket(id, seq);
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
        if (!error && (online || save)) {
            // Kept while on its way even when it is not to be saved for later.
            StoredMessage m{0,         to,  me.pin, 0,   to, s.componentId, s.componentCode,
                            s.message, now, 0,      save};
            if (online)
                m.packetSeq = transport_.NextPacketSeq();
            m.id = store_.SaveMessage(m);
            if (m.id == 0) {
                error = OV_ERR_UNKNOWN;
            } else {
                stored = true;
                if (online)
                    deliver.push_back(std::move(m));
            }
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
    if (!target)
        return ReplyError(r, OV_ERR_USR_NOT_EXIST);
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
