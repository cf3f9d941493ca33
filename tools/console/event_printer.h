// Turns kernel events into console lines:
//   event OnCommandSend 1001 4 0
//   event OnHandshakeServerReply 1001 0 1 hex:3132...
// and, when asked, decoded records under them for people:
//   record nPin=10001 sUserName="alice" sNickName="Al" nOnlineStatus=65535
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/events/service_events.h"

namespace ov::console {

std::string FormatEvent(const KernelEvent& event);
std::vector<std::string> DecodeEvent(const KernelEvent& event);

// Writes whole lines, one writer at a time, flushing after each.
class LineWriter {
public:
    explicit LineWriter(std::function<void(const std::string&)> write) : write_(std::move(write)) {}
    void Write(const std::string& line);

private:
    std::mutex mutex_;  // keeps lines from different threads whole and in order
    std::function<void(const std::string&)> write_;
};

// The console's handler of kernel events, connected agile so kernel threads call it directly.
class EventPrinter final : public OVServiceEventForwarder {
public:
    EventPrinter(LineWriter* out, bool decode) : out_(out), decode_(decode) {}
    void OnServiceEvent(const KernelEvent& event) override;
    void OnEventRefused(DISPID dispid, HRESULT hr) override;

private:
    LineWriter* out_;
    bool decode_;
};

}  // namespace ov::console
