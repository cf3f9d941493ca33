// The numbered timers of the two sides of a transfer. The protocol objects arm and kill them;
// their owner runs them (on the GUI's event loop, or in virtual time in tests) and hands each
// expiry back to the object's OnTimer. A timer fires once per Arm.
#pragma once

namespace ov::transfer {

inline constexpr int kSenderCloseTimer = 16;           // the send window's end
inline constexpr int kReceiverCloseTimer = 32;         // the receive window's end
inline constexpr int kReceiverCompleteTimer = 33;      // every file received
inline constexpr int kReceiverFirstRequestTimer = 34;  // the pause after connecting
inline constexpr int kReceiverFirstReplyTimer = 35;    // looks for the first reply (proxy)

inline constexpr int kIdleCloseMs = 60000;
inline constexpr int kSoonMs = 1;
inline constexpr int kFirstRequestDelayMs = 100;
inline constexpr int kFirstReplyPollMs = 20;

class TransferTimers {
public:
    virtual ~TransferTimers() = default;
    // (Re)starts timer id to fire once after ms.
    virtual void Arm(int id, int ms) = 0;
    virtual void Kill(int id) = 0;
};

}  // namespace ov::transfer
