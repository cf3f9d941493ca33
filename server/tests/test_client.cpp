#include "server/tests/test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <stdexcept>

namespace ovt {

using ov::wire::Reader;
using ov::wire::Writer;

TestClient::TestClient(uint16_t serverPort, uint32_t localIp)
    : localIp_(localIp), serverPort_(serverPort) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(localIp);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        throw std::runtime_error("cannot bind a test client socket");
    }
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
}

TestClient::~TestClient() {
    if (fd_ >= 0)
        close(fd_);
}

void TestClient::SendRaw(const std::string& datagram) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(serverPort_);
    bytesSent += datagram.size();
    sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&addr),
           sizeof addr);
}

uint16_t TestClient::Send(uint16_t command, const std::string& body) {
    Writer w;
    ov::wire::RequestHeader h;
    h.nCommand = command;
    h.nPacketSeq = ++packetSeq_;
    h.nPin = pin;
    h.nLoginID = loginId;
    h.nCmdSeqNum = ++cmdSeq_;
    ov::wire::WriteRequestHeader(w, h);
    w.Raw(body);
    last_ = w.Bytes();
    SendRaw(last_);
    return cmdSeq_;
}

void TestClient::Resend() {
    SendRaw(last_);
}

bool TestClient::ReceiveOne(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0)
        return false;
    char buffer[65536];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0)
        return false;
    std::string d(buffer, static_cast<size_t>(n));
    bytesReceived += d.size();
    if (d.size() == ov::wire::kServerAckSize && ov::wire::LoadU16(d.data() + 2) == OV_CCMD_ACK) {
        acks.push_back(ov::wire::LoadU32(d.data() + 4));
        return true;
    }
    Reader r(d);
    ov::wire::ServerHeader h;
    if (!ov::wire::ReadServerHeader(r, &h))
        return true;  // nothing a client would take
    Packet p2{h.nCommand, h.nPacketSeq, h.nCmdSeqNum, d.substr(ov::wire::kServerHeaderSize)};
    raw.push_back(p2);
    if (!autoAck) {
        inbox_.push_back(p2);
        return true;
    }
    bytesSent += ov::wire::kClientAckSize;
    sendto(fd_, ov::wire::ClientAck(h.nPacketSeq, pin, loginId).data(), ov::wire::kClientAckSize, 0,
           reinterpret_cast<sockaddr*>(&from), len);
    if (std::find(seen_.begin(), seen_.end(), h.nPacketSeq) != seen_.end())
        return true;
    seen_.push_back(h.nPacketSeq);
    inbox_.push_back(std::move(p2));
    return true;
}

void TestClient::Acknowledge(const Packet& p) {
    SendRaw(ov::wire::ClientAck(p.packetSeq, pin, loginId));
    seen_.push_back(p.packetSeq);
}

void TestClient::Poll(int timeoutMs) {
    while (ReceiveOne(timeoutMs))
        timeoutMs = 0;
}

namespace {
template <typename Pred>
bool WaitFor(Pred done, const std::function<bool(int)>& receive, int waitMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!done()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0)
            return false;
        receive(static_cast<int>(left));
    }
    return true;
}
}  // namespace

bool TestClient::WaitAck(uint32_t packetSeq, int waitMs) {
    return WaitFor([&] { return std::count(acks.begin(), acks.end(), packetSeq) > 0; },
                   [&](int ms) { return ReceiveOne(ms); }, waitMs);
}

std::optional<std::string> TestClient::WaitReply(uint16_t command, uint16_t cmdSeq, int waitMs) {
    std::optional<std::string> found;
    auto take = [&] {
        for (auto it = inbox_.begin(); it != inbox_.end(); ++it) {
            if (it->command == command && it->cmdSeq == cmdSeq) {
                found = it->body;
                inbox_.erase(it);
                return true;
            }
        }
        return false;
    };
    WaitFor(
        take, [&](int ms) { return ReceiveOne(ms); }, waitMs);
    return found;
}

std::optional<Packet> TestClient::WaitNotice(uint16_t command) {
    std::optional<Packet> found;
    auto take = [&] {
        for (auto it = inbox_.begin(); it != inbox_.end(); ++it) {
            if (it->command == command && it->cmdSeq == 0) {
                found = *it;
                inbox_.erase(it);
                return true;
            }
        }
        return false;
    };
    WaitFor(
        take, [&](int ms) { return ReceiveOne(ms); }, kWaitMs);
    return found;
}

void TestClient::Sync() {
    uint16_t seq = Send(OV_CCMD_HANDSHACK_SERVER);
    if (!WaitReply(OV_CCMD_HANDSHACK_SERVER, seq))
        throw std::runtime_error("no handshake reply");
}

std::vector<Packet> TestClient::Take(uint16_t command) {
    Poll();
    std::vector<Packet> out;
    for (auto it = inbox_.begin(); it != inbox_.end();) {
        if (it->command == command) {
            out.push_back(*it);
            it = inbox_.erase(it);
        } else {
            ++it;
        }
    }
    return out;
}

namespace body {

namespace {
void MaskedText(Writer& w, const std::string& s, size_t size, uint32_t mask, uint32_t bit) {
    if (mask & bit) {
        w.Text(s, size);
    } else {
        w.AbsentText();
    }
}
void UserHead(Writer& w, const User& u, bool password) {
    MaskedText(w, u.userName, OV_USERNAME_SIZE, u.mask, OV_UFLD_USERNAME);
    if (password)
        MaskedText(w, u.password, OV_PASSWORD_SIZE, u.mask, OV_UFLD_PASSWORD);
    MaskedText(w, u.nickName, OV_NICKNAME_SIZE, u.mask, OV_UFLD_NICKNAME);
    MaskedText(w, u.firstName, OV_FIRSTNAME_SIZE, u.mask, OV_UFLD_FIRSTNAME);
    MaskedText(w, u.lastName, OV_LASTNAME_SIZE, u.mask, OV_UFLD_LASTNAME);
    MaskedText(w, u.email, OV_EMAIL_SIZE, u.mask, OV_UFLD_EMAIL);
    w.U16(u.language);
    w.U32(u.location);
    w.U8(u.ageRange);
    w.U8(u.sex);
    w.U8(u.career);
}
}  // namespace

std::string Register(const User& u) {
    Writer w;
    w.U32(u.mask);
    UserHead(w, u, true);
    w.U32(u.icon);
    w.U32(u.mode);
    return w.Bytes();
}

std::string Login(uint32_t pin, const std::string& name, const std::string& password,
                  uint32_t status, uint32_t terminal) {
    Writer w;
    w.U32(pin);
    w.Text(name, OV_USERNAME_SIZE);
    w.Text(password, OV_PASSWORD_SIZE);
    w.U32(0x0100007F);
    w.U16(OV_CLIENT_CODE);
    w.U32(status);
    w.U32(terminal);
    w.U16(2);
    w.U32(OV_COMPONENT_MESSAGER);
    w.U32(OV_COMPONENT_CHAT);
    return w.Bytes();
}

std::string Search(const User& u) {
    Writer w;
    w.U32(u.mask);
    UserHead(w, u, false);
    return w.Bytes();
}

std::string Search2(const User& u, uint32_t online, uint32_t start) {
    Writer w;
    w.U32(u.mask);
    w.U32(u.pin);
    UserHead(w, u, false);
    w.U32(online);
    w.U32(start);
    return w.Bytes();
}

std::string ChangePassword(uint32_t pin, const std::string& name, const std::string& oldPw,
                           const std::string& newPw) {
    Writer w;
    w.U32(pin);
    w.Text(name, OV_USERNAME_SIZE);
    w.Text(oldPw, OV_PASSWORD_SIZE);
    w.Text(newPw, OV_PASSWORD_SIZE);
    return w.Bytes();
}

std::string U32(uint32_t v) {
    Writer w;
    w.U32(v);
    return w.Bytes();
}

std::string GetInfo(uint32_t pin, const std::string& name) {
    Writer w;
    w.U32(0xFFFFFFFF);
    w.U32(pin);
    w.Text(name, OV_USERNAME_SIZE);
    return w.Bytes();
}

std::string PutInfo(const User& u, const std::string& about) {
    Writer w;
    w.U32(u.mask);
    UserHead(w, u, false);
    w.U32(u.icon);
    w.U32(u.mode);
    w.U16(0);
    w.U16(0);
    w.U16(0);
    w.U16(0);
    w.AbsentText();
    w.AbsentText();
    w.AbsentText();
    w.AbsentText();
    w.AbsentText();
    MaskedText(w, about, OV_ABOUT_SIZE, u.mask, OV_UFLD_ABOUT);
    return w.Bytes();
}

std::string IdList(const std::vector<uint32_t>& ids) {
    Writer w;
    w.U16(static_cast<uint16_t>(ids.size()));
    for (uint32_t id : ids)
        w.U32(id);
    return w.Bytes();
}

std::string BuddyAdd(uint32_t id, uint32_t parent, uint32_t mode, const std::string& message,
                     const std::string& display) {
    Writer w;
    w.U32(id);
    w.U32(parent);
    w.U32(mode);
    if (message.empty()) {
        w.AbsentText();
    } else {
        w.Text(message, OV_MSG_SIZE);
    }
    w.Text(display, OV_DISPLAYNAME_SIZE);
    return w.Bytes();
}

std::string BuddyUpdate(uint32_t id, uint32_t parent, uint32_t mode, const std::string& display) {
    Writer w;
    w.U32(id);
    w.U32(parent);
    w.U32(mode);
    w.Text(display, OV_DISPLAYNAME_SIZE);
    return w.Bytes();
}

std::string BlackListAdd(uint32_t pin, const std::string& name) {
    Writer w;
    w.U32(pin);
    w.Text(name, OV_USERNAME_SIZE);
    return w.Bytes();
}

std::string GroupRef(uint16_t type, uint32_t id, const std::string& name) {
    Writer w;
    w.U16(type);
    w.U32(id);
    w.Text(name, OV_G_NAME_SIZE);
    return w.Bytes();
}

std::string GroupEnter(uint16_t type, uint32_t id, const std::string& name) {
    Writer w;
    w.Raw(GroupRef(type, id, name));
    w.Text("", OV_G_PASSWD_SIZE);
    return w.Bytes();
}

std::string SendToUsers(uint32_t msgType, const std::string& message,
                        const std::vector<uint32_t>& to, uint32_t component, uint32_t code) {
    Writer w;
    w.U32(msgType);
    w.U32(component);
    w.U32(code);
    w.Payload(message);
    w.U32(static_cast<uint32_t>(to.size()));
    for (uint32_t pin : to)
        w.U32(pin);
    return w.Bytes();
}

std::string SendToGroup(uint16_t type, uint32_t id, const std::string& message) {
    Writer w;
    w.U32(OV_MSGT_OUSR);
    w.U32(OV_COMPONENT_MESSAGER);
    w.U32(0);
    w.U16(type);
    w.U32(id);
    w.Payload(message);
    return w.Bytes();
}

std::string Ptp(uint32_t pin, uint32_t ip, uint16_t port, const std::string& message) {
    Writer w;
    w.U32(pin);
    w.U32(OV_COMPONENT_FILE);
    w.U32(0);
    w.U32(ip);
    w.U16(port);
    w.Payload(message);
    return w.Bytes();
}

std::string BuddyAuthReply(uint32_t requester, bool accept) {
    Writer w;
    w.U32(requester);
    w.U8(accept ? 1 : 0);
    return w.Bytes();
}

}  // namespace body

}  // namespace ovt
