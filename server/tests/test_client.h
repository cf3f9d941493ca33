// A client for tests that speaks the protocol itself: it sends commands with the 18-byte
// header, acknowledges every server datagram with the 16-byte acknowledgement (unless told
// not to), drops duplicates as a real client does, and waits - for a bounded real time - for
// replies and notifications.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"

namespace ovt {

struct Packet {
    uint16_t command = 0;
    uint32_t packetSeq = 0;
    uint16_t cmdSeq = 0;
    std::string body;
};

class TestClient {
public:
    // localIp: the loopback address to send from (127.x.y.z, host order), for probes that
    // play many sources.
    explicit TestClient(uint16_t serverPort, uint32_t localIp = 0x7F000001);
    ~TestClient();

    uint16_t Port() const { return port_; }
    // Speaks to another server from now on, as a client walking its gateway list does: same
    // socket, same memory of what it has received.
    void SetServerPort(uint16_t port) { serverPort_ = port; }
    uint32_t LocalIp() const { return localIp_; }

    // Sends a command with the current PIN and login ID; returns its nCmdSeqNum.
    uint16_t Send(uint16_t command, const std::string& body = {});
    // The last command again, byte for byte, as a retransmission.
    void Resend();
    uint32_t LastPacketSeq() const { return packetSeq_; }
    void SendRaw(const std::string& datagram);

    // Waits for the server's acknowledgement of one of our packets.
    bool WaitAck(uint32_t packetSeq, int waitMs = kWaitMs);
    // Waits for the reply to a command (or the next part of it) and takes it from the inbox.
    std::optional<std::string> WaitReply(uint16_t command, uint16_t cmdSeq, int waitMs = kWaitMs);
    // Waits for a notification (a datagram with nCmdSeqNum 0) and takes it from the inbox.
    std::optional<Packet> WaitNotice(uint16_t command);
    // Round trip of a handshake: whatever the server sent us before its reply has arrived
    // after it, because the server handles and sends in order.
    void Sync();
    // Takes every datagram of this command from the inbox (after a Sync, all there are).
    std::vector<Packet> Take(uint16_t command);
    // Acknowledges a datagram taken with autoAck off, and drops its copies from now on.
    void Acknowledge(const Packet& p);
    // Receives what is already there without waiting for more.
    void Poll(int timeoutMs = 0);

    uint32_t pin = 0;
    uint32_t loginId = 0;
    bool autoAck = true;
    // Every server datagram as it arrived, duplicates included.
    std::vector<Packet> raw;
    std::vector<uint32_t> acks;  // 8-byte acknowledgements received
    size_t bytesSent = 0;        // every datagram sent, acknowledgements included
    size_t bytesReceived = 0;    // every datagram received

    static constexpr int kWaitMs = 3000;

private:
    bool ReceiveOne(int timeoutMs);

    int fd_ = -1;
    uint32_t localIp_;
    uint16_t port_ = 0;
    uint16_t serverPort_;
    uint32_t packetSeq_ = 1000;
    uint16_t cmdSeq_ = 1000;
    std::string last_;
    std::deque<Packet> inbox_;
    std::vector<uint32_t> seen_;
};

// Request bodies, built as the client's kernel builds them.
namespace body {
struct User {
    uint32_t mask = 0;
    uint32_t pin = 0;
    std::string userName, password, nickName, firstName, lastName, email;
    uint16_t language = 0;
    uint32_t location = 0;
    uint8_t ageRange = 0, sex = 0, career = 0;
    uint32_t icon = 0, mode = 0;
};
std::string Register(const User& u);
std::string Login(uint32_t pin, const std::string& name, const std::string& password,
                  uint32_t status = OV_ONLINE_STATUS_ONLINE, uint32_t terminal = 0);
std::string Search(const User& u);
std::string Search2(const User& u, uint32_t online, uint32_t start);
std::string ChangePassword(uint32_t pin, const std::string& name, const std::string& oldPw,
                           const std::string& newPw);
std::string U32(uint32_t v);
std::string GetInfo(uint32_t pin, const std::string& name);
std::string PutInfo(const User& u, const std::string& about);
std::string IdList(const std::vector<uint32_t>& ids);
std::string BuddyAdd(uint32_t id, uint32_t parent, uint32_t mode, const std::string& message,
                     const std::string& display);
std::string BuddyUpdate(uint32_t id, uint32_t parent, uint32_t mode, const std::string& display);
std::string BlackListAdd(uint32_t pin, const std::string& name);
std::string GroupRef(uint16_t type, uint32_t id, const std::string& name);
std::string GroupEnter(uint16_t type, uint32_t id, const std::string& name);
std::string SendToUsers(uint32_t msgType, const std::string& message,
                        const std::vector<uint32_t>& to, uint32_t component = OV_COMPONENT_MESSAGER,
                        uint32_t code = 0);
std::string SendToGroup(uint16_t type, uint32_t id, const std::string& message);
std::string Ptp(uint32_t pin, uint32_t ip, uint16_t port, const std::string& message);
std::string BuddyAuthReply(uint32_t requester, bool accept);
}  // namespace body

}  // namespace ovt
