// A simulated chat client of the server benchmarks: it sends its partner messages whose text
// is their send time, keeping one command in flight as a client's kernel does, and a
// delivered message tells its latency.
//
//   ChatClient c{std::make_unique<LoadClient>(port)};
//   if (!c.LogIn(pin)) Fail();                       // password "pw"
//   c.partner = otherPin; c.sender = true;
//   c.SendTimed();                                   // again once in.packetSeq == c.inflight
//   if (auto sent = SentTime(in)) latencies.push_back(NowNs() - *sent);
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/server/echo_baseline.h"
#include "bench/server/load_client.h"

namespace ovbench {

struct ChatClient {
    std::unique_ptr<LoadClient> client;
    uint32_t partner = 0;
    bool sender = false;
    uint32_t inflight = 0;  // nPacketSeq awaiting the server's acknowledgement; 0: none
    int64_t sentNs = 0;

    // Logs in with password "pw" (asking again while no reply comes) and speaks once with
    // the new login ID, which starts the session. False when the login failed.
    bool LogIn(uint32_t pin);
    void SendTimed();
};

// Registers the name with password "pw" through the client's server and logs in.
bool RegisterAndLogIn(ChatClient& c, const std::string& name);

// The senders among the clients send their partners timed messages for the given time, as
// fast as their acknowledgements come back (resending after half a second without one, as
// a client's kernel would); the figures of the messages delivered to the clients meanwhile.
Figures Converse(std::vector<ChatClient>& clients, double seconds);

// The body of a login with password "pw".
std::string LoginBody(uint32_t pin);

// The send time a delivered message carries; nothing for any other datagram.
std::optional<int64_t> SentTime(const Incoming& in);

}  // namespace ovbench
