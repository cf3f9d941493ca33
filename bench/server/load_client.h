// A simulated client for the load generator: one UDP socket that speaks the protocol itself
// (18-byte requests, the 16-byte acknowledgement of every server datagram).
#pragma once

#include <cstdint>
#include <string>

namespace ovbench {

struct Incoming {
    bool isAck = false;
    uint32_t packetSeq = 0;
    uint16_t command = 0;
    uint16_t cmdSeq = 0;
    std::string body;
};

class LoadClient {
public:
    // localIp (host order): the loopback address to send from.
    explicit LoadClient(uint16_t serverPort, uint32_t localIp = 0x7F000001);
    ~LoadClient();
    LoadClient(const LoadClient&) = delete;
    LoadClient& operator=(const LoadClient&) = delete;

    int Fd() const { return fd_; }
    // Sends a command; returns its nPacketSeq.
    uint32_t Send(uint16_t command, const std::string& body);
    void Resend();
    // Receives one datagram if one is there (acknowledging server datagrams); false if none.
    bool Receive(Incoming* in);
    // Sends a command and waits (bounded) for its reply body; empty on time-out.
    std::string Call(uint16_t command, const std::string& body);

    uint32_t pin = 0;
    uint32_t loginId = 0;

private:
    int fd_ = -1;
    uint16_t serverPort_;
    uint32_t packetSeq_ = 1000;
    uint16_t cmdSeq_ = 1000;
    std::string last_;
};

}  // namespace ovbench
