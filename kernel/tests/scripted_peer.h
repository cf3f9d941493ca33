// A scripted server on loopback UDP for tests: acknowledges every command at once, answers
// from a script, acknowledges nothing it receives as an acknowledgement, and can push
// notifications. Its thread is owned here and stopped by Stop or the destructor.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

namespace ov::kernel::testing {

class ScriptedPeer {
public:
    // Given the request's header fields and body, returns the bodies of the replies to send
    // (each gets the server header with the request's command and nCmdSeqNum).
    using Script = std::function<std::vector<std::string>(uint16_t command, uint32_t pin,
                                                          const std::string& body)>;

    ScriptedPeer();
    ~ScriptedPeer();

    uint16_t Port() const { return port_; }
    void OnCommand(uint16_t command, Script script);
    // Neither acknowledges nor answers the command (it is still counted in Commands()).
    void IgnoreCommand(uint16_t command);
    // Sends a notification (server header with nCmdSeqNum 0) to the last client address.
    void Push(uint16_t command, const std::string& body);
    // The commands received so far (duplicates included), and the client acks received.
    std::vector<uint16_t> Commands() const;
    std::vector<uint32_t> AckedServerSeqs() const;
    bool WaitForAcks(size_t count, int timeoutMs = 5000);
    // Waits until count commands have been received, duplicates included.
    bool WaitForCommands(size_t count, int timeoutMs = 5000);
    // The address commands last came from (zeroed before the first).
    sockaddr_in Client() const;
    void Stop();

private:
    void Run();
    void SendTo(const sockaddr_in& to, const std::string& bytes);

    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;  // guards scripts_, ignored_, commands_, acks_, client_, nextSeq_
    std::condition_variable changed_;
    std::map<uint16_t, Script> scripts_;
    std::set<uint16_t> ignored_;
    std::vector<uint16_t> commands_;
    std::vector<uint32_t> acks_;
    sockaddr_in client_{};
    bool haveClient_ = false;
    uint32_t nextSeq_ = 500;
    std::thread thread_;  // joined by Stop
};

}  // namespace ov::kernel::testing
