// Init and Deinit: the lock while the socket is made, a failed start, and handlers that call
// back into the kernel (Deinit included) from inside events on every thread that raises them.
#include <atomic>
#include <future>

#include "kernel/tests/kernel_fixture.h"

namespace ov::kernel::testing {
namespace {

LONG Handshake(COVService* kernel) {
    LONG seq = 0;
    Bstr host = Bstr::FromUtf8("127.0.0.1");
    kernel->HandshakeServer(host, 9999, &seq);
    return seq;
}

std::string Message(const std::string& text) {
    wire::Writer w;
    w.U32(10002), w.U16(0), w.U32(10001), w.U32(OV_COMPONENT_MESSAGER), w.U32(0);
    w.Text(text, OV_MSG_SIZE);
    w.U32(1'700'000'000);
    return w.Bytes();
}

TEST(ServiceInit, TheSocketIsMadeWithoutTheLockHeld) {
    auto clock = std::make_shared<VirtualClock>();
    ComPtr<COVService> kernel = MakeComObject<COVService>();
    kernel->SetClock(clock);
    bool lockWasFree = false;
    kernel->SetSocketFactory([&](ComPtr<IOVSocket>* out) {
        // Making a socket may load a library: another thread must get into the kernel.
        lockWasFree = EndsInTime([&] {
            LONG port = 0;
            kernel->get_ServerPort(&port);
        });
        *out = MakeComObject<ScriptedSocket>(clock);
        return S_OK;
    });
    LONG ok = 0;
    kernel->Init(nullptr, 0, &ok);
    EXPECT_EQ(ok, 1);
    EXPECT_TRUE(lockWasFree);
    kernel->Deinit();
}

TEST(ServiceInit, AFailedSocketStartLeavesNothingBehind) {
    auto clock = std::make_shared<VirtualClock>();
    ComPtr<COVService> kernel = MakeComObject<COVService>();
    kernel->SetClock(clock);
    std::vector<ComPtr<ScriptedSocket>> made;
    kernel->SetSocketFactory([&](ComPtr<IOVSocket>* out) {
        made.push_back(MakeComObject<ScriptedSocket>(clock));
        made.back()->FailInitialize(made.size() == 1);
        *out = made.back();
        return S_OK;
    });
    LONG ok = 7;
    kernel->Init(nullptr, 0, &ok);
    EXPECT_EQ(ok, 0);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->AdvisedSinks(), 0u);  // unadvised again

    kernel->Init(nullptr, 0, &ok);
    EXPECT_EQ(ok, 1);
    ASSERT_EQ(made.size(), 2u);  // a fresh socket, not the failed one
    EXPECT_EQ(made[1]->AdvisedSinks(), 1u);
    EXPECT_NE(Handshake(kernel.Get()), 0);
    EXPECT_EQ(made[1]->SentPackets().size(), 1u);
    kernel->Deinit();
}

class Reentrancy : public KernelTest {
protected:
    // The hooks see the test's locals: they go before the fixture's Deinit raises anything.
    void TearDown() override {
        hooks_.clear();
        KernelTest::TearDown();
    }

    // Connects a handler that runs hook for every event, after the recorder.
    void Hook(std::function<void(DISPID)> hook) {
        hooks_.push_back(std::make_unique<EventRecorder>(std::move(hook)));
        ASSERT_EQ(hooks_.back()->Attach(kernel_->GetUnknown()), S_OK);
    }
    // Whether the kernel refuses commands as before Init.
    bool Uninitialised() {
        MessageBoxRecorder boxes;
        return Handshake(kernel_.Get()) == 0 && boxes.Count() == 1;
    }

    std::vector<std::unique_ptr<EventRecorder>> hooks_;
};

TEST_F(Reentrancy, DeinitInsideAGiveUpOnTheRetransmissionThread) {
    std::promise<void> returned;
    Hook([&](DISPID id) {
        if (id == OV_DISPID_ON_COMMAND_SEND_ERROR) {
            kernel_->Deinit();
            returned.set_value();
        }
    });
    Handshake(kernel_.Get());
    Advance(34);
    clock_->Advance(1000);  // the give-up: its handler ends the threads, so no settling
    ASSERT_EQ(returned.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(Uninitialised());
}

TEST_F(Reentrancy, DeinitInsideAReceivedMessageAndInsideTheSendReport) {
    LogIn();
    bool lockWasFree = false;
    Hook([&](DISPID id) {
        if (id == OV_DISPID_ON_USER_MESSAGE_RECEIVED) {
            // The receive path raises its events with no lock held.
            lockWasFree = EndsInTime([&] {
                LONG ok = 0;
                kernel_->CancelAllCommands(&ok);
            });
            kernel_->Deinit();
        }
    });
    // Delivered on a thread of its own, as the socket's receive-watch thread would.
    ASSERT_TRUE(EndsInTime(
        [&] { socket_->Deliver(ServerPacket(OV_SCMD_MESSAGE, 90, 0, Message("bye"))); }));
    EXPECT_TRUE(lockWasFree);
    EXPECT_TRUE(Uninitialised());

    // A new session starts clean; its send report is raised under the kernel lock.
    LONG ok = 0;
    kernel_->Init(nullptr, 0, &ok);
    ASSERT_EQ(ok, 1);
    ASSERT_TRUE(clock_->Settle(kWorkerThreads));
    Hook([&](DISPID id) {
        if (id == OV_DISPID_ON_SOCKET_DATA_SENT)
            kernel_->Deinit();
    });
    ASSERT_NE(Handshake(kernel_.Get()), 0);
    const LONG packet = socket_->SentPackets().back().packetId;
    ASSERT_TRUE(EndsInTime([&] { socket_->Complete(packet); }));
    EXPECT_TRUE(Uninitialised());
}

TEST_F(Reentrancy, HandlersOfCancelEventsMayCancelAgainAndLogOut) {
    LogIn();
    socket_->ClearSent();
    recorder_->Clear();
    LONG first = 0, second = 0;
    kernel_->RequestBuddyTree(&first);
    kernel_->RequestBlackList(&second);
    std::vector<LONG> nested;
    Hook([&](DISPID id) {
        if (id != OV_DISPID_ON_COMMAND_SEND_ERROR || !nested.empty())
            return;
        // Raised by CancelAllCommands on this thread: every cancelled command has left.
        LONG ok = -1;
        kernel_->CancelAllCommands(&ok);
        nested.push_back(ok);
        kernel_->CancelCommand(second, &ok);
        nested.push_back(ok);
        LONG logout = 0;
        kernel_->Logout(&logout);
        nested.push_back(logout);
    });
    LONG ok = 0;
    kernel_->CancelAllCommands(&ok);
    EXPECT_EQ(ok, 1);
    ASSERT_EQ(nested.size(), 3u);
    EXPECT_EQ(nested[0], 0);
    EXPECT_EQ(nested[1], 0);
    EXPECT_NE(nested[2], 0);  // a new command, sent at once
    auto errors = recorder_->Named(OV_DISPID_ON_COMMAND_SEND_ERROR);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].numbers[0], first);
    EXPECT_EQ(errors[1].numbers[0], second);
    EXPECT_EQ(wire::LoadU16(socket_->SentPackets().back().bytes.data() + 2), OV_CCMD_USR_LOGOUT);
}

}  // namespace
}  // namespace ov::kernel::testing
