// Whole clients of the shell's logic in one process, in virtual time, against the reference
// server on loopback (or against gateways that never answer), with the GUI thread's
// apartment pumped by the Qt event loop as in the program.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "common/events/event_sink.h"
#include "platform/qt/qt_apartment_pump.h"
#include "server/server.h"
#include "shell/core/cp936_text.h"
#include "shell/testing/shell_client.h"
#include "shell/testing/temp_home.h"

namespace ov::shell::testing {

// A UDP socket on loopback that hears everything sent to it and never answers: a gateway
// where no server runs.
class DeadGateway {
public:
    DeadGateway() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~DeadGateway() { ::close(fd_); }
    int Port() const { return port_; }
    GatewayInfo Info() const { return GatewayInfo{QStringLiteral("127.0.0.1"), port_}; }
    // The packet numbers of the command datagrams that came since the last call.
    std::vector<uint32_t> Heard() {
        std::vector<uint32_t> seqs;
        char buf[2048];
        for (;;) {
            ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n < 0)
                break;
            if (n >= 18) {
                uint32_t seq;
                std::memcpy(&seq, buf + 4, 4);
                seqs.push_back(seq);
            }
        }
        return seqs;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

// Records a kernel's events on its own threads (connected agile), for what the shell does
// not show: registration replies, messages.
class KernelWatch final : public OVServiceEventForwarder {
public:
    explicit KernelWatch(IOVService* kernel) { connection_.Connect(kernel, true); }
    ~KernelWatch() { connection_.Disconnect(); }
    void OnServiceEvent(const KernelEvent& e) override {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(e);
    }
    std::vector<KernelEvent> Named(DISPID id) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<KernelEvent> out;
        for (const auto& e : events_)
            if (e.dispid == id)
                out.push_back(e);
        return out;
    }

private:
    std::mutex mutex_;  // guards events_
    std::vector<KernelEvent> events_;
    OVServiceEventConnection connection_{this};
};

class ShellFlowTest : public ov::testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        pump_ = std::make_unique<QtApartmentPump>(Apartment::Current());
        time_ = std::make_unique<VirtualTime>();
        home_ = QString::fromStdString(Home().DataHome());
        for (const char* lib : {"OVSock.so", "OVKernel.so"})
            ASSERT_EQ(RegisterServerLibrary(GetProgramDirectory() + lib), S_OK) << lib;
    }
    void TearDown() override {
        for (auto& c : clients_)
            c.reset();
        StopServer();
        time_.reset();
        pump_.reset();
        Apartment::Current()->PumpPending();
        CoUninitialize();
        TempHomeTest::TearDown();
    }

    // A client with a data home of its own; its kernel's threads count from its Start.
    ShellClient& NewClient(const QString& name) {
        clients_.push_back(std::make_unique<ShellClient>(home_ + "/" + name, *time_));
        return *clients_.back();
    }
    bool Start(ShellClient& c) {
        if (!c.Start())
            return false;
        kernels_ += 1;
        time_->SetWaiters(3 * kernels_);
        return true;
    }
    void Close(ShellClient& c) {
        c.Close([&] {
            kernels_ -= 1;
            time_->SetWaiters(3 * kernels_);
        });
    }

    // The reference server on loopback, keeping its accounts in a file so that a restart on
    // the same port finds them again, or in memory (each stored message costs no disk write).
    void StartServer(int port = 0, bool inMemory = false) {
        ov::server::ServerConfig config;
        config.listen.port = static_cast<uint16_t>(port);
        config.databasePath = inMemory ? std::string(":memory:") : (home_ + "/server.db").toStdString();
        config.passwordCost = ov::server::PasswordCost::kMinimal;
        server_ = std::make_unique<ov::server::Server>(config, nullptr, &serverLog_);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
        serverPort_ = server_->Port();
    }
    void StopServer() {
        if (!server_)
            return;
        server_->Stop();
        server_->Join();
        server_.reset();
    }
    GatewayInfo Server() const { return GatewayInfo{QStringLiteral("127.0.0.1"), serverPort_}; }

    // Registers an account through a kernel of its own; an empty name lets the server choose
    // one. The login name, or empty on failure.
    QString Register(const QString& name, const QString& password,
                     const QString& nickName = QStringLiteral("nick")) {
        ComPtr<IOVService> kernel;
        if (FAILED(CoCreateInstance(CLSID_OVService, &kernel)))
            return {};
        KernelWatch watch(kernel.Get());
        LONG ok = 0;
        kernel->Init(Bstr::Empty(), 0, &ok);
        time_->SetWaiters(3 * (kernels_ + 1));
        LONG seq = 0;
        kernel->HandshakeServer(Bstr::FromUtf8("127.0.0.1"), serverPort_, &seq);
        OV_USER_INFO u;
        std::memset(&u, 0, sizeof u);
        u.nMask = OV_UFLD_PASSWORD | OV_UFLD_NICKNAME;
        if (!name.isEmpty())
            u.nMask |= OV_UFLD_USERNAME;
        std::strncpy(u.sUserName, name.toStdString().c_str(), sizeof u.sUserName - 1);
        std::strncpy(u.sNickName, ToCp936(nickName).c_str(), sizeof u.sNickName - 1);
        std::strncpy(u.sPassword, password.toStdString().c_str(), sizeof u.sPassword - 1);
        CByteArrayVariant record(&u, sizeof u);
        kernel->RegisterUser(record.Variant(), &seq);
        QString login;
        time_->RunUntil([&] {
            auto replies = watch.Named(OV_DISPID_ON_REGISTER_USER_REPLY);
            if (replies.empty())
                return false;
            if (replies[0].args[1].value == OV_ERR_NONE)
                login = QString::fromStdString(replies[0].args[3].bytes);
            return true;
        });
        kernel->Deinit();
        time_->SetWaiters(3 * kernels_);
        return login;
    }

    std::unique_ptr<QtApartmentPump> pump_;
    std::unique_ptr<VirtualTime> time_;
    QString home_;
    std::vector<std::unique_ptr<ShellClient>> clients_;
    size_t kernels_ = 0;
    ov::server::Log serverLog_{[](std::string_view) {}};
    std::unique_ptr<ov::server::Server> server_;
    int serverPort_ = 0;
};

}  // namespace ov::shell::testing
