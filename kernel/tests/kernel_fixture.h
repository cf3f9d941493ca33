// A kernel on a scripted socket and a virtual clock, with its three worker threads running.
#pragma once

#include "common/protocol/wire.h"
#include "kernel/service.h"
#include "kernel/tests/kernel_test_support.h"
#include "platform/time/virtual_clock.h"
#include "platform/win32/message_box.h"

namespace ov::kernel::testing {

constexpr size_t kWorkerThreads = 3;

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock_ = std::make_shared<VirtualClock>();
        kernel_ = MakeComObject<COVService>();
        kernel_->SetClock(clock_);
        kernel_->SetSocketFactory([this](ComPtr<IOVSocket>* out) {
            socket_ = MakeComObject<ScriptedSocket>(clock_);
            *out = socket_;
            return S_OK;
        });
        recorder_ = std::make_unique<EventRecorder>();
        ASSERT_EQ(recorder_->Attach(kernel_->GetUnknown()), S_OK);
        LONG ok = 0;
        kernel_->Init(nullptr, 0, &ok);
        ASSERT_EQ(ok, 1);
        ASSERT_TRUE(clock_->Settle(kWorkerThreads));
        LONG seq = 0;
        Bstr host = Bstr::FromUtf8("127.0.0.1");
        kernel_->HandshakeServer(host, 9999, &seq);
        AckLast();
        // The handshake only names the server; no test waits for its reply.
        LONG cancelled = 0;
        kernel_->CancelCommand(seq, &cancelled);
        socket_->ClearSent();
        recorder_->Clear();
        start_ = clock_->Now();
    }
    void TearDown() override { kernel_->Deinit(); }

    // The packet sequence number of the last datagram the kernel sent.
    uint32_t LastPacketSeq() {
        auto sent = socket_->SentPackets();
        EXPECT_FALSE(sent.empty());
        return sent.empty() ? 0 : wire::LoadU32(sent.back().bytes.data() + 4);
    }
    void AckLast() { socket_->Deliver(wire::ServerAck(LastPacketSeq())); }
    // Acknowledges and completes the last datagram (so its reply is awaited).
    void AckAndComplete() {
        socket_->Complete(socket_->SentPackets().back().packetId);
        AckLast();
    }
    void Advance(uint32_t seconds) { ASSERT_TRUE(clock_->AdvanceSeconds(seconds, kWorkerThreads)); }

    // Logs in as pin with the given login ID: request acknowledged, reply delivered.
    void LogIn(uint32_t pin = 10001, uint32_t loginId = 0x5151) {
        LONG seq = 0;
        Bstr name = Bstr::FromUtf8("alice"), password = Bstr::FromUtf8("secret");
        kernel_->Login(0, name, password, OV_ONLINE_STATUS_ONLINE, 0, &seq);
        ASSERT_NE(seq, 0);
        loginSeq_ = seq;
        AckAndComplete();
        wire::Writer body;
        body.U16(OV_ERR_NONE);
        body.U32(7);  // terminal
        body.U32(pin);
        body.U32(loginId);
        body.U32(0x0100007F);
        socket_->Deliver(ServerPacket(OV_CCMD_USR_LOGIN, nextServerSeq_++,
                                      static_cast<uint16_t>(seq), body.Bytes()));
        ASSERT_TRUE(clock_->Settle(kWorkerThreads));
    }

    std::shared_ptr<VirtualClock> clock_;
    ComPtr<COVService> kernel_;
    ComPtr<ScriptedSocket> socket_;
    std::unique_ptr<EventRecorder> recorder_;
    uint32_t start_ = 0;
    uint32_t nextServerSeq_ = 1;
    LONG loginSeq_ = 0;  // of the last LogIn
};

}  // namespace ov::kernel::testing
