#include "bench/server/chat_client.h"

#include <sys/epoll.h>
#include <unistd.h>

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

bool RegisterAndLogIn(ChatClient& c, const std::string& name) {
    ov::wire::Writer reg;
    reg.U32(OV_UFLD_USERNAME | OV_UFLD_PASSWORD);
    reg.Text(name, OV_USERNAME_SIZE);
    reg.Text("pw", OV_PASSWORD_SIZE);
    for (int k = 0; k < 4; ++k)
        reg.AbsentText();
    reg.Raw(std::string(17, '\0'));
    std::string r = c.client->Call(OV_CCMD_USR_REGISTER, reg.Bytes());
    return r.size() >= 6 && c.LogIn(ov::wire::LoadU32(r.data() + 2));
}

Figures Converse(std::vector<ChatClient>& sims, double seconds) {
    int ep = epoll_create1(0);
    for (size_t i = 0; i < sims.size(); ++i) {
        epoll_event ev{EPOLLIN, {.u32 = static_cast<uint32_t>(i)}};
        epoll_ctl(ep, EPOLL_CTL_ADD, sims[i].client->Fd(), &ev);
    }
    std::vector<int64_t> latencies;
    latencies.reserve(1 << 20);
    uint64_t resent = 0;
    int64_t start = NowNs();
    int64_t end = start + static_cast<int64_t>(seconds * 1e9);
    for (ChatClient& s : sims) {
        if (s.sender)
            s.SendTimed();
    }
    epoll_event events[256];
    Incoming in;
    while (NowNs() < end) {
        int n = epoll_wait(ep, events, 256, 1);
        for (int k = 0; k < n; ++k) {
            ChatClient& s = sims[events[k].data.u32];
            while (s.client->Receive(&in)) {
                if (in.isAck) {
                    if (s.sender && in.packetSeq == s.inflight)
                        s.SendTimed();  // next command
                } else if (auto sent = SentTime(in)) {
                    latencies.push_back(NowNs() - *sent);
                }
            }
        }
        int64_t now = NowNs();
        for (ChatClient& s : sims) {
            if (s.sender && now - s.sentNs > 500'000'000) {  // the kernel would retransmit too
                ++resent;
                s.sentNs = now;
                s.client->Resend();
            }
        }
    }
    double elapsed = static_cast<double>(NowNs() - start) / 1e9;
    close(ep);
    return Summarise(latencies, elapsed, resent);
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
