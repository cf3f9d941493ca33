// One socket descriptor shared by everyone who uses it, and the blocking calls made on it.
//
// The object, its worker threads and members blocked in accept or recv each hold a reference;
// the descriptor is closed when the last one lets go. So a descriptor is closed exactly once,
// and its number cannot be reused for another file while a thread still waits on it. Close
// of the socket object wakes the blocked users with Shutdown and then drops its reference.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <memory>

namespace ov::sock {

class SocketHandle {
public:
    explicit SocketHandle(int fd) : fd_(fd) {}
    ~SocketHandle();
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    int Fd() const { return fd_; }
    // Ends both directions: blocked accept, recv, send, connect and waits for readiness all
    // return at once. The descriptor stays open until the last reference goes.
    void Shutdown() const;

private:
    const int fd_;
};

using SocketRef = std::shared_ptr<const SocketHandle>;

// Result of a wait for readiness.
enum class Readiness { kReady, kTimedOut, kFailed };

// Waits up to timeoutMs (0: just asks) until the socket is readable / writable in the sense of
// select: data, a pending connection, end of stream or an error count as readable; room to
// write, a hang-up or an error as writable. Interrupted waits are resumed.
Readiness WaitReadable(int fd, int timeoutMs);
Readiness WaitWritable(int fd, int timeoutMs);

// The calls on the socket, resumed after a signal interrupts them; -1 and errno on failure.
// Sends never raise SIGPIPE: a broken connection is an error result like any other.
ssize_t SendStream(int fd, const void* data, size_t size, int flags);
ssize_t SendDatagram(int fd, const void* data, size_t size, const sockaddr_in& to, int flags);
ssize_t Recv(int fd, void* buffer, size_t size, int flags);
ssize_t RecvFrom(int fd, void* buffer, size_t size, int flags, sockaddr_in* from);
int Accept(int fd, sockaddr_in* peer);
int Connect(int fd, const sockaddr_in& to);

}  // namespace ov::sock
