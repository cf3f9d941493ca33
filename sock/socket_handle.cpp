#include "sock/socket_handle.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace ov::sock {

SocketHandle::~SocketHandle() {
    ::close(fd_);
}

void SocketHandle::Shutdown() const {
    // Fails with ENOTCONN on sockets that were never connected, but wakes their waiters all
    // the same, which is all it is asked for here.
    ::shutdown(fd_, SHUT_RDWR);
}

namespace {

// poll instead of select: it has no limit on descriptor numbers.
Readiness WaitFor(int fd, short events, short readyMask, int timeoutMs) {
    pollfd p{fd, events, 0};
    for (;;) {
        int r = ::poll(&p, 1, timeoutMs);
        if (r > 0)
            return (p.revents & readyMask) != 0 ? Readiness::kReady : Readiness::kFailed;
        if (r == 0)
            return Readiness::kTimedOut;
        if (errno != EINTR)
            return Readiness::kFailed;
        // A signal is no failure of the socket; the wait starts over with the full time-out,
        // which only lengthens a wait that nobody measures to the millisecond.
    }
}

template <class Call>
auto Restarting(Call call) {
    for (;;) {
        auto r = call();
        if (r >= 0 || errno != EINTR)
            return r;
    }
}

}  // namespace

Readiness WaitReadable(int fd, int timeoutMs) {
    return WaitFor(fd, POLLIN, POLLIN | POLLHUP | POLLERR, timeoutMs);
}

Readiness WaitWritable(int fd, int timeoutMs) {
    return WaitFor(fd, POLLOUT, POLLOUT | POLLHUP | POLLERR, timeoutMs);
}

ssize_t SendStream(int fd, const void* data, size_t size, int flags) {
    return Restarting([&] { return ::send(fd, data, size, flags | MSG_NOSIGNAL); });
}

ssize_t SendDatagram(int fd, const void* data, size_t size, const sockaddr_in& to, int flags) {
    return Restarting([&] {
        return ::sendto(fd, data, size, flags | MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to);
    });
}

ssize_t Recv(int fd, void* buffer, size_t size, int flags) {
    return Restarting([&] { return ::recv(fd, buffer, size, flags); });
}

ssize_t RecvFrom(int fd, void* buffer, size_t size, int flags, sockaddr_in* from) {
    return Restarting([&] {
        socklen_t len = sizeof *from;
        return ::recvfrom(fd, buffer, size, flags, reinterpret_cast<sockaddr*>(from), &len);
    });
}

int Accept(int fd, sockaddr_in* peer) {
    return Restarting([&] {
        socklen_t len = sizeof *peer;
        return ::accept4(fd, reinterpret_cast<sockaddr*>(peer), &len, SOCK_CLOEXEC);
    });
}

int Connect(int fd, const sockaddr_in& to) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0)
        return 0;
    if (errno != EINTR)
        return -1;
    // An interrupted connect goes on in the background: wait for it and take its outcome.
    if (WaitWritable(fd, -1) != Readiness::kReady)
        return -1;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        return -1;
    if (err != 0) {
        errno = err;
        return -1;
    }
    return 0;
}

}  // namespace ov::sock
