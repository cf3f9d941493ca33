// What the servers sharing one database tell each other: one line of text per event, small
// enough for a PostgreSQL notification (8,000 bytes). Byte strings (protocol bodies, group
// names) travel in hexadecimal, so code page 936 arrives as it left.
//
//   ClusterEvent e{ClusterEvent::kStatus, self};
//   e.pin = 10001; e.status = OV_ONLINE_STATUS_AWAY;
//   std::string line = Encode(e);
//   std::optional<ClusterEvent> back = DecodeClusterEvent(line);  // nullopt: not ours, or bad
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ov::server {

struct ClusterEvent {
    enum Kind : char {
        kSessionStart = 'S',   // pin, loginId, ip, port, status, terminal
        kSessionEnd = 'E',     // pin, loginId, status (what others saw before), replaced
        kStatus = 'T',         // pin, status (as set), before (what others saw before)
        kProfile = 'U',        // pin: the profile changed, read it again
        kGroupEnter = 'G',     // group, type, mode, pin, unseen, bytes (the group's name)
        kGroupLeave = 'L',     // group, pin, tell
        kGroupMessage = 'M',   // group, pin (sender), bytes (the message notice's body)
        kDirect = 'D',         // pin, command, bytes: a notice for the session's owner to send
        kStoredMessage = 'W',  // pin, id: a stored message for its recipient's owner to send
        kBuddyRequest = 'R',   // pin (requester), target: a stored request to deliver
        kBuddyAnswer = 'A',    // pin (requester), id: a stored answer to deliver
        kProcessGone = 'X',    // process: its sessions are over
    };
    Kind kind = kStatus;
    uint64_t origin = 0;  // the process that sent it
    uint32_t pin = 0;
    uint32_t loginId = 0;
    uint32_t ip = 0;
    uint32_t port = 0;
    uint32_t status = 0;
    uint32_t before = 0;
    uint32_t terminal = 0;
    uint32_t group = 0;
    uint32_t type = 0;
    uint32_t mode = 0;
    uint32_t command = 0;
    uint32_t target = 0;
    int64_t id = 0;
    uint64_t process = 0;
    bool flag = false;  // replaced, unseen or tell, by kind
    std::string bytes;
};

std::string Encode(const ClusterEvent& e);
// The event of a line Encode made; nullopt for anything else.
std::optional<ClusterEvent> DecodeClusterEvent(std::string_view line);

}  // namespace ov::server
