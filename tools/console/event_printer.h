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

#include "common/interfaces/ovkernel.h"

namespace ov::console {

std::string FormatEvent(DISPID dispid, const DISPPARAMS& params);
std::vector<std::string> DecodeEvent(DISPID dispid, const DISPPARAMS& params);

// Writes whole lines, one writer at a time, flushing after each.
class LineWriter {
public:
    explicit LineWriter(std::function<void(const std::string&)> write) : write_(std::move(write)) {}
    void Write(const std::string& line);

private:
    std::mutex mutex_;  // keeps lines from different threads whole and in order
    std::function<void(const std::string&)> write_;
};

// The console's sink: agile, so kernel threads call it directly.
class EventPrinter final : public ComObject<EventPrinter, IDispatch, IAgileObject> {
public:
    EventPrinter(LineWriter* out, bool decode) : out_(out), decode_(decode) {}
    HRESULT GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPCOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT*, EXCEPINFO*,
                   UINT*) override;

private:
    LineWriter* out_;
    bool decode_;
};

}  // namespace ov::console
