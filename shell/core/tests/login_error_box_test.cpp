// A login that a server keeps refusing for a reason other than the password is tried again
// every second without end. The developers' "login error" box must not come with every try,
// or boxes would pile up once a second; it is shown only when ORVANE_DEBUG asks for it.
#include <stdlib.h>

#include "common/protocol/wire.h"
#include "kernel/tests/scripted_peer.h"
#include "shell/core/tests/flow_fixture.h"

namespace ov::shell::testing {
namespace {

using LoginErrors = ShellFlowTest;

// A server that answers the handshake and refuses every login as banned.
void RefuseLogins(ov::kernel::testing::ScriptedPeer& peer) {
    peer.OnCommand(OV_CCMD_HANDSHACK_SERVER, [](uint16_t, uint32_t, const std::string&) {
        wire::Writer w;
        w.U16(OV_ERR_NONE), w.U16(0);
        return std::vector<std::string>{w.Bytes()};
    });
    peer.OnCommand(OV_CCMD_USR_LOGIN, [](uint16_t, uint32_t, const std::string&) {
        wire::Writer w;
        w.U16(OV_ERR_BANNED), w.U32(0), w.U32(0), w.U32(0), w.U32(0);
        return std::vector<std::string>{w.Bytes()};
    });
}

TEST_F(LoginErrors, ARefusedLoginRetriesQuietlyUnlessDebugging) {
    for (bool debugging : {false, true}) {
        if (debugging)
            ::setenv("ORVANE_DEBUG", "1", 1);
        else
            ::unsetenv("ORVANE_DEBUG");
        ov::kernel::testing::ScriptedPeer peer;
        RefuseLogins(peer);
        ShellClient c(home_ + (debugging ? "/loud" : "/quiet"), *time_);
        c.WriteGateways({GatewayInfo{QStringLiteral("127.0.0.1"), peer.Port()}});
        c.WriteUserSettings("jo", "pw", 4);
        ASSERT_TRUE(Start(c));
        // Several refusals, a second apart: each a handshake and a login.
        for (size_t round = 1; round <= 4; ++round) {
            ASSERT_TRUE(time_->RunUntil([&] { return peer.Commands().size() >= 2 * round; }));
            time_->RunUntil([] { return false; }, std::chrono::milliseconds(50));
            time_->Advance(1000);
        }
        size_t boxes = 0;
        for (const auto& box : c.prompts.Boxes())
            if (box.text == "login error" && box.caption == "debug")
                ++boxes;
        if (debugging)
            EXPECT_GE(boxes, 3u);
        else
            EXPECT_EQ(boxes, 0u);
        Close(c);
    }
    ::unsetenv("ORVANE_DEBUG");
}

}  // namespace
}  // namespace ov::shell::testing
