#include "bench/server/load_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"

namespace ovbench {

LoadClient::LoadClient(uint16_t serverPort, uint32_t localIp) : serverPort_(serverPort) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(localIp);
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        throw std::runtime_error("cannot open a client socket");
    }
}

LoadClient::~LoadClient() {
    if (fd_ >= 0)
        close(fd_);
}

uint32_t LoadClient::Send(uint16_t command, const std::string& body) {
    ov::wire::Writer w;
    ov::wire::WriteRequestHeader(w, {1, command, ++packetSeq_, pin, loginId, ++cmdSeq_});
    w.Raw(body);
    last_ = w.Bytes();
    Resend();
    return packetSeq_;
}

void LoadClient::Resend() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(serverPort_);
    sendto(fd_, last_.data(), last_.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
}

bool LoadClient::Receive(Incoming* in) {
    char buffer[65536];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 8)
        return false;
    in->packetSeq = ov::wire::LoadU32(buffer + 4);
    in->command = ov::wire::LoadU16(buffer + 2);
    in->isAck = n == 8 && in->command == OV_CCMD_ACK;
    if (in->isAck || n < 10)
        return true;
    in->cmdSeq = ov::wire::LoadU16(buffer + 8);
    in->body.assign(buffer + 10, static_cast<size_t>(n) - 10);
    std::string ack = ov::wire::ClientAck(in->packetSeq, pin, loginId);
    sendto(fd_, ack.data(), ack.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    return true;
}

std::string LoadClient::Call(uint16_t command, const std::string& body) {
    Send(command, body);
    uint16_t want = cmdSeq_;
    for (int i = 0; i < 200; ++i) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 10) <= 0) {
            if (i % 50 == 49)
                Resend();
            continue;
        }
        Incoming in;
        while (Receive(&in)) {
            if (!in.isAck && in.command == command && in.cmdSeq == want)
                return in.body;
        }
    }
    return {};
}

}  // namespace ovbench
