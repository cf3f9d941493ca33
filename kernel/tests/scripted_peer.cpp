#include "kernel/tests/scripted_peer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"

namespace ov::kernel::testing {

ScriptedPeer::ScriptedPeer() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer() {
    Stop();
}

void ScriptedPeer::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

void ScriptedPeer::OnCommand(uint16_t command, Script script) {
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_[command] = std::move(script);
}

void ScriptedPeer::IgnoreCommand(uint16_t command) {
    std::lock_guard<std::mutex> lock(mutex_);
    ignored_.insert(command);
}

sockaddr_in ScriptedPeer::Client() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return client_;
}

bool ScriptedPeer::WaitForCommands(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return commands_.size() >= count; });
}

std::vector<uint16_t> ScriptedPeer::Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

std::vector<uint32_t> ScriptedPeer::AckedServerSeqs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return acks_;
}

bool ScriptedPeer::WaitForAcks(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return acks_.size() >= count; });
}

void ScriptedPeer::SendTo(const sockaddr_in& to, const std::string& bytes) {
    sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

void ScriptedPeer::Push(uint16_t command, const std::string& body) {
    sockaddr_in to;
    uint32_t seq;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!haveClient_)
            return;
        to = client_;
        seq = nextSeq_++;
    }
    wire::Writer w;
    wire::WriteServerHeader(w, wire::ServerHeader{wire::kVersion, command, seq, 0});
    w.Raw(body);
    SendTo(to, w.Bytes());
}

void ScriptedPeer::Run() {
    char buf[65536];
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 8)
            continue;
        std::string datagram(buf, static_cast<size_t>(n));
        wire::Reader r(datagram);
        uint16_t version = 0, command = 0;
        uint32_t seq = 0;
        r.U16(&version);
        r.U16(&command);
        r.U32(&seq);
        if (command == OV_CCMD_ACK) {
            std::lock_guard<std::mutex> lock(mutex_);
            acks_.push_back(seq);
            changed_.notify_all();
            continue;
        }
        wire::Reader hr(datagram);
        wire::RequestHeader h;
        if (!wire::ReadRequestHeader(hr, &h))
            continue;
        Script script;
        bool ignored;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            client_ = from;
            haveClient_ = true;
            commands_.push_back(command);
            ignored = ignored_.count(command) != 0;
            auto it = scripts_.find(command);
            if (it != scripts_.end())
                script = it->second;
        }
        changed_.notify_all();
        if (ignored)
            continue;
        SendTo(from, wire::ServerAck(h.nPacketSeq));
        if (!script)
            continue;
        for (const std::string& body :
             script(command, h.nPin, datagram.substr(wire::kRequestHeaderSize))) {
            uint32_t replySeq;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                replySeq = nextSeq_++;
            }
            wire::Writer w;
            wire::WriteServerHeader(
                w, wire::ServerHeader{wire::kVersion, command, replySeq, h.nCmdSeqNum});
            w.Raw(body);
            SendTo(from, w.Bytes());
        }
    }
}

}  // namespace ov::kernel::testing
