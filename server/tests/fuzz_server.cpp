// Random datagrams into the server's datagram handler. Two users are logged in first (with
// known login IDs, so inputs can carry live credentials); an input is a sequence of records
// [u8 flags][u16 length][datagram] - flags & 3 picks the sender (alice, bob, a stranger),
// flags & 4 lets 30 s of protocol time pass first. Whatever comes in, every datagram the
// server sends must be an acknowledgement or a body a client can read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"
#include "server/core.h"
#include "server/tests/decode.h"

using namespace ov::server;

namespace {

const Endpoint kSenders[] = {{0x7F000001, 40001}, {0x7F000001, 40002}, {0x7F000001, 40003}};

void Check(const Endpoint&, std::string_view d) {
    if (d.size() > 65507) {
        std::fprintf(stderr, "datagram of %zu bytes cannot be sent\n", d.size());
        std::abort();
    }
    if (d.size() == ov::wire::kServerAckSize)
        return;
    ov::wire::Reader r(d);
    ov::wire::ServerHeader h;
    if (!ov::wire::ReadServerHeader(r, &h) || h.nVersion != 1)
        std::abort();
    std::string body(d.substr(ov::wire::kServerHeaderSize));
    if (!ovt::decode::Readable(h.nCommand, body)) {
        std::fprintf(stderr, "unreadable body for 0x%X (%zu bytes)\n", h.nCommand, body.size());
        std::abort();
    }
}

std::string Command(uint16_t command, uint32_t pin, uint32_t loginId, const std::string& body,
                    uint32_t seq) {
    ov::wire::Writer w;
    ov::wire::WriteRequestHeader(w, {1, command, seq, pin, loginId, 1});
    w.Raw(body);
    return w.Bytes();
}

std::string RegisterBody(const char* name) {
    ov::wire::Writer w;
    w.U32(OV_UFLD_USERNAME | OV_UFLD_PASSWORD);
    w.Text(name, OV_USERNAME_SIZE);
    w.Text("pw", OV_PASSWORD_SIZE);
    for (int i = 0; i < 4; ++i)
        w.AbsentText();
    w.Raw(std::string(2 + 4 + 3 + 4 + 4, '\0'));
    return w.Bytes();
}

std::string LoginBody(uint32_t pin) {
    ov::wire::Writer w;
    w.U32(pin);
    w.AbsentText();
    w.Text("pw", OV_PASSWORD_SIZE);
    w.U32(0);
    w.U16(OV_CLIENT_CODE);
    w.U32(OV_ONLINE_STATUS_ONLINE);
    w.U32(0);
    w.U16(0);
    return w.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ManualClock clock;
    Log log = Log::Silent();
    ServerConfig config;
    config.passwordCost = PasswordCost::kMinimal;
    config.hashWorkers = 0;  // no loop here to run completions: check passwords inline
    // Login IDs 0x11111111 for alice and 0x22222222 for bob (the first draw numbers packets).
    uint32_t draws = 0;
    config.random = [&draws] { return 0x11111111u * (draws++); };
    std::string error;
    auto store = Store::Open(":memory:", &error);
    if (!store)
        std::abort();
    ServerCore core(config, *store, clock, log, Check);

    core.OnDatagram(kSenders[0], Command(OV_CCMD_USR_REGISTER, 0, 0, RegisterBody("alice"), 1));
    core.OnDatagram(kSenders[1], Command(OV_CCMD_USR_REGISTER, 0, 0, RegisterBody("bob"), 1));
    core.OnDatagram(kSenders[0], Command(OV_CCMD_USR_LOGIN, 0, 0, LoginBody(10001), 2));
    core.OnDatagram(kSenders[1], Command(OV_CCMD_USR_LOGIN, 0, 0, LoginBody(10002), 2));

    ov::wire::Reader in(data, size);
    while (in.Remaining() > 0) {
        uint8_t flags = 0;
        uint16_t length = 0;
        std::string datagram;
        if (in.U8(&flags) && in.U16(&length) && in.Remaining() >= length) {
            datagram.assign(reinterpret_cast<const char*>(in.Here()), length);
            in.Skip(length);
        } else {
            flags = 0;
            datagram.assign(reinterpret_cast<const char*>(in.Here()), in.Remaining());
            in.Skip(in.Remaining());
        }
        if (flags & 4)
            clock.Advance(30'000);
        core.OnDatagram(kSenders[(flags & 3) % 3], datagram);
        core.Tick();
    }
    return 0;
}
