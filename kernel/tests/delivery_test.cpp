// Reliable delivery in virtual time: sequence numbers, the single in-flight slot,
// retransmission and give-up, keep-alives, reply time-outs and cancelling.
#include "kernel/tests/kernel_fixture.h"

namespace ov::kernel::testing {
namespace {

LONG Handshake(COVService* kernel) {
    LONG seq = 0;
    Bstr host = Bstr::FromUtf8("127.0.0.1");
    kernel->HandshakeServer(host, 9999, &seq);
    return seq;
}

using Delivery = KernelTest;

TEST_F(Delivery, CommandNumbersRunTo30001ThenWrapTo100) {
    // The fixture's handshake took 1001; commands queue behind the first, unacknowledged one.
    LONG last = 0;
    for (int i = 2; i <= 29001; ++i)
        last = Handshake(kernel_.Get());
    EXPECT_EQ(last, 30001);
    EXPECT_EQ(Handshake(kernel_.Get()), 100);
    EXPECT_EQ(Handshake(kernel_.Get()), 101);
    EXPECT_EQ(socket_->SentPackets().size(), 1u);  // one in flight, the rest wait
    LONG ok = 0;
    kernel_->CancelAllCommands(&ok);
    EXPECT_EQ(ok, 1);
}

TEST_F(Delivery, OneCommandInFlightAndAnUrgentKeepAliveOvertakesTheQueue) {
    LogIn();
    socket_->ClearSent();
    recorder_->Clear();
    Advance(40);
    LONG first = Handshake(kernel_.Get());
    LONG second = Handshake(kernel_.Get());
    ASSERT_EQ(socket_->SentPackets().size(), 1u);
    Advance(1);  // not yet due for a resend
    Advance(4);  // 45 s after the login: the keep-alive is due, and queued first
    auto sent = socket_->SentPackets();
    ASSERT_GE(sent.size(), 1u);
    for (auto& s : sent)
        EXPECT_EQ(wire::LoadU16(s.bytes.data() + 16), first);  // only resends of the first

    const uint32_t firstSeq = LastPacketSeq();
    socket_->ClearSent();
    socket_->Deliver(wire::ServerAck(firstSeq));
    sent = socket_->SentPackets();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(wire::LoadU16(sent[0].bytes.data() + 2), OV_CCMD_KEEP_ALIVE);
    AckLast();
    sent = socket_->SentPackets();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(wire::LoadU16(sent[1].bytes.data() + 16), second);
    // The acknowledged keep-alive raised only the acknowledgement time.
    EXPECT_EQ(recorder_->Sequence(),
              (std::vector<std::string>{"OnCommandSend", "OnCommandSent", "OnServerAckTime",
                                        "OnServerAckTime"}));
}

TEST_F(Delivery, ACommandSubmittedAsTheSlotEmptiesWaitsBehindTheQueue) {
    // A handler submits a command from inside the first command's acknowledgement, when the
    // slot is empty for a moment and the second still waits: it must go after the second, or
    // the server would see the commands in another order than they were given.
    LONG third = 0;
    EventRecorder submitter([&](DISPID id) {
        if (id == OV_DISPID_ON_COMMAND_SENT && third == 0)
            third = Handshake(kernel_.Get());
    });
    ASSERT_EQ(submitter.Attach(kernel_->GetUnknown()), S_OK);
    socket_->ClearSent();
    const LONG first = Handshake(kernel_.Get());
    const LONG second = Handshake(kernel_.Get());
    AckLast();
    AckLast();
    AckLast();
    submitter.Detach();
    std::vector<LONG> order;
    for (const auto& s : socket_->SentPackets())
        order.push_back(wire::LoadU16(s.bytes.data() + 16));
    EXPECT_EQ(order, (std::vector<LONG>{first, second, third}));
}

TEST_F(Delivery, UnacknowledgedCommandIsSentSevenTimesThenGivenUp) {
    LONG seq = Handshake(kernel_.Get());
    Advance(34);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_COMMAND_SEND_ERROR), 0u);
    Advance(1);
    auto sent = socket_->SentPackets();
    ASSERT_EQ(sent.size(), 7u);
    const uint32_t expected[] = {0, 2, 5, 9, 14, 20, 27};
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].time - start_, expected[i]) << "transmission " << i;
        EXPECT_EQ(sent[i].bytes, sent[0].bytes);  // byte for byte the same datagram
    }
    auto events = recorder_->Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].dispid, OV_DISPID_ON_COMMAND_SEND);
    EXPECT_EQ(events[0].numbers,
              (std::vector<int64_t>{seq, OV_CCMD_HANDSHACK_SERVER, OV_ERR_TIME_OUT}));
    EXPECT_EQ(events[1].dispid, OV_DISPID_ON_COMMAND_SEND_ERROR);
    EXPECT_EQ(events[1].numbers, (std::vector<int64_t>{seq, OV_ERR_TIME_OUT}));
}

TEST_F(Delivery, TwoLostKeepAlivesInARowReportTheConnectionLostOnce) {
    LogIn();
    socket_->ClearSent();
    recorder_->Clear();
    Advance(600);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_CONNECTION_LOST), 1u);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_COMMAND_SEND), 0u);
    // Keep-alives stopped: nothing more goes out.
    socket_->ClearSent();
    Advance(200);
    EXPECT_TRUE(socket_->SentPackets().empty());
    // Commands are still accepted and sent after the loss.
    LONG seq = 0;
    kernel_->RequestBuddyTree(&seq);
    EXPECT_NE(seq, 0);
}

TEST_F(Delivery, AnAcknowledgedKeepAliveResetsTheFailureCount) {
    LogIn();
    auto keepAlives = [&] {
        size_t n = 0;
        for (auto& s : socket_->SentPackets())
            if (wire::LoadU16(s.bytes.data() + 2) == OV_CCMD_KEEP_ALIVE)
                ++n;
        return n;
    };
    socket_->ClearSent();
    Advance(45 + 77);  // the first keep-alive is given up
    ASSERT_GT(keepAlives(), 0u);
    // The second one is acknowledged as soon as it appears.
    socket_->ClearSent();
    while (keepAlives() == 0)
        Advance(1);
    AckLast();
    Advance(45 + 77);  // the third is lost: one failure after a success
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_CONNECTION_LOST), 0u);
}

TEST_F(Delivery, AReplyThatNeverComesTimesOutAfterSixtySeconds) {
    LONG seq = Handshake(kernel_.Get());
    AckAndComplete();
    Advance(60);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY), 0u);
    Advance(10);
    auto replies = recorder_->Named(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].numbers, (std::vector<int64_t>{seq, OV_ERR_TIME_OUT, 0}));
    EXPECT_EQ(replies[0].blobs, (std::vector<std::string>{""}));
    Advance(100);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY), 1u);
}

TEST_F(Delivery, TheReplyIsAwaitedWhicheverOfAcknowledgementAndSendReportComesFirst) {
    // The server's acknowledgement overtakes the socket's report that the datagram went out.
    LONG early = Handshake(kernel_.Get());
    const LONG packet = socket_->SentPackets().back().packetId;
    AckLast();
    socket_->Complete(packet);
    Advance(70);
    auto replies = recorder_->Named(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].numbers, (std::vector<int64_t>{early, OV_ERR_TIME_OUT, 0}));

    // The reply itself comes before both: once answered, it is not awaited again.
    recorder_->Clear();
    LONG answered = Handshake(kernel_.Get());
    const ScriptedSocket::Sent command = socket_->SentPackets().back();
    wire::Writer none;
    none.U16(OV_ERR_NONE), none.U16(0);
    socket_->Deliver(
        ServerPacket(OV_CCMD_HANDSHACK_SERVER, 1, static_cast<uint16_t>(answered), none.Bytes()));
    socket_->Deliver(wire::ServerAck(wire::LoadU32(command.bytes.data() + 4)));
    socket_->Complete(command.packetId);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_COMMAND_SENT), 1u);
    Advance(70);
    replies = recorder_->Named(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].numbers, (std::vector<int64_t>{answered, OV_ERR_NONE, 0}));
}

TEST_F(Delivery, CancelWorksInFlightQueuedAndWhileAwaitingTheReply) {
    LONG awaiting = Handshake(kernel_.Get());
    AckAndComplete();  // its reply is now awaited
    LONG inFlight = Handshake(kernel_.Get());
    LONG queued = Handshake(kernel_.Get());
    LONG ok = -1;

    kernel_->CancelCommand(queued, &ok);
    EXPECT_EQ(ok, 1);
    kernel_->CancelCommand(inFlight, &ok);
    EXPECT_EQ(ok, 1);
    kernel_->CancelCommand(awaiting, &ok);
    EXPECT_EQ(ok, 1);
    kernel_->CancelCommand(awaiting, &ok);  // already done
    EXPECT_EQ(ok, 0);

    auto errors = recorder_->Named(OV_DISPID_ON_COMMAND_SEND_ERROR);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].numbers, (std::vector<int64_t>{queued, OV_ERR_USER_CANCELED}));
    EXPECT_EQ(errors[1].numbers, (std::vector<int64_t>{inFlight, OV_ERR_USER_CANCELED}));
    auto replies = recorder_->Named(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].numbers[0], awaiting);
    EXPECT_EQ(replies[0].numbers[1], OV_ERR_USER_CANCELED);

    kernel_->CancelAllCommands(&ok);
    EXPECT_EQ(ok, 0);
    Handshake(kernel_.Get());
    Handshake(kernel_.Get());
    kernel_->CancelAllCommands(&ok);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(recorder_->Count(OV_DISPID_ON_COMMAND_SEND_ERROR), 4u);
}

TEST_F(Delivery, ARefusedFirstTransmissionReturnsZeroAndRaisesNothing) {
    socket_->RefuseSends(true);
    EXPECT_EQ(Handshake(kernel_.Get()), 0);
    EXPECT_TRUE(recorder_->Events().empty());
    socket_->RefuseSends(false);
    EXPECT_NE(Handshake(kernel_.Get()), 0);
}

}  // namespace
}  // namespace ov::kernel::testing
