#include "bench/server/chat_client.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/server/echo_baseline.h"
#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"

namespace ovbench {

std::string LoginBody(uint32_t pin) {
    ov::wire::Writer w;
    w.U32(pin);
    w.AbsentText();
    w.Text("pw", OV_PASSWORD_SIZE);
    w.U32(0);
    w.U16(OV_CLIENT_CODE);
    w.U32(OV_ONLINE_STATUS_ONLINE);
    w.U32(0);
    w.U16(0);
    return w.Bytes();
}

bool ChatClient::LogIn(uint32_t pin) {
    std::string reply = client->Call(OV_CCMD_USR_LOGIN, LoginBody(pin));
    for (int retry = 0; retry < 20 && reply.empty(); ++retry)
        reply = client->Call(OV_CCMD_USR_LOGIN, LoginBody(pin));
    if (reply.size() != 18 || ov::wire::LoadU16(reply.data()) != 0)
        return false;
    client->pin = ov::wire::LoadU32(reply.data() + 6);
    client->loginId = ov::wire::LoadU32(reply.data() + 10);
    client->Send(OV_CCMD_KEEP_ALIVE, {});
    return true;
}

void ChatClient::SendTimed() {
    char text[32];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(NowNs()));
    ov::wire::Writer w;
    w.U32(0);
    w.U32(OV_COMPONENT_CHAT);
    w.U32(0);
    w.Payload(text);
    w.U32(1);
    w.U32(partner);
    sentNs = NowNs();
    inflight = client->Send(OV_CCMD_SENDTO_USR, w.Bytes());
}

std::optional<int64_t> SentTime(const Incoming& in) {
    if (in.isAck || in.command != OV_SCMD_MESSAGE || in.body.size() <= 20)
        return std::nullopt;
    // The text follows the sender, group type and ID, component and code.
    ov::wire::Reader r(in.body.data() + 18, in.body.size() - 18);
    std::string text;
    if (!r.Text(&text, OV_MSG_SIZE))
        return std::nullopt;
    return std::atoll(text.c_str());
}

}  // namespace ovbench
