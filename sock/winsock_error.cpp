#include "sock/winsock_error.h"

#include <netdb.h>

#include <cerrno>

#include "common/interfaces/ovsock.h"
#include "platform/win32/last_error.h"

namespace ov::sock {

namespace {

// Winsock numbers that OVSOCKErrorCodeEnum does not list: the results of a failed host look-up.
constexpr DWORD kHostNotFound = 11001;  // WSAHOST_NOT_FOUND
constexpr DWORD kTryAgain = 11002;      // WSATRY_AGAIN
constexpr DWORD kNoRecovery = 11003;    // WSANO_RECOVERY

}  // namespace

DWORD WinsockErrorFromErrno(int err) {
    switch (err) {
        case EINTR:
            return OVSOCK_ERR_INTR;
        case EBADF:
            return OVSOCK_ERR_BADF;
        case EACCES:
        case EPERM:
            return OVSOCK_ERR_ACCES;
        case EFAULT:
            return OVSOCK_ERR_FAULT;
        case EINVAL:
            return OVSOCK_ERR_INVAL;
        case EMFILE:
        case ENFILE:
            return OVSOCK_ERR_MFILE;
        case EWOULDBLOCK:
            return OVSOCK_ERR_WOULDBLOCK;  // EAGAIN is the same number on Linux
        case EINPROGRESS:
            return OVSOCK_ERR_INPROGRESS;
        case EALREADY:
            return OVSOCK_ERR_ALREADY;
        case ENOTSOCK:
            return OVSOCK_ERR_NOTSOCK;
        case EDESTADDRREQ:
            return OVSOCK_ERR_DESTADDRREQ;
        case EMSGSIZE:
            return OVSOCK_ERR_MSGSIZE;
        case EPROTOTYPE:
            return OVSOCK_ERR_PROTOTYPE;
        case ENOPROTOOPT:
            return OVSOCK_ERR_NOPROTOOPT;
        case EPROTONOSUPPORT:
            return OVSOCK_ERR_PROTONOSUPPORT;
        case ESOCKTNOSUPPORT:
            return OVSOCK_ERR_SOCKTNOSUPPORT;
        case EOPNOTSUPP:
            return OVSOCK_ERR_OPNOTSUPP;
        case EPFNOSUPPORT:
            return OVSOCK_ERR_PFNOSUPPORT;
        case EAFNOSUPPORT:
            return OVSOCK_ERR_AFNOSUPPORT;
        case EADDRINUSE:
            return OVSOCK_ERR_ADDRINUSE;
        case EADDRNOTAVAIL:
            return OVSOCK_ERR_ADDRNOTAVAIL;
        case ENETDOWN:
            return OVSOCK_ERR_NETDOWN;
        case ENETUNREACH:
            return OVSOCK_ERR_NETUNREACH;
        case ENETRESET:
            return OVSOCK_ERR_NETRESET;
        case ECONNABORTED:
            return OVSOCK_ERR_CONNABORTED;
        case ECONNRESET:
            return OVSOCK_ERR_CONNRESET;
        case ENOBUFS:
        case ENOMEM:
            return OVSOCK_ERR_NOBUFS;
        case EISCONN:
            return OVSOCK_ERR_ISCONN;
        case ENOTCONN:
            return OVSOCK_ERR_NOTCONN;
        // Writing after the connection was shut down, by either side.
        case ESHUTDOWN:
        case EPIPE:
            return OVSOCK_ERR_SHUTDOWN;
        case ETOOMANYREFS:
            return OVSOCK_ERR_TOOMANYREFS;
        case ETIMEDOUT:
            return OVSOCK_ERR_TIMEDOUT;
        case ECONNREFUSED:
            return OVSOCK_ERR_CONNREFUSED;
        case ELOOP:
            return OVSOCK_ERR_LOOP;
        case ENAMETOOLONG:
            return OVSOCK_ERR_NAMETOOLONG;
        case EHOSTDOWN:
            return OVSOCK_ERR_HOSTDOWN;
        case EHOSTUNREACH:
            return OVSOCK_ERR_HOSTUNREACH;
        case ENOTEMPTY:
            return OVSOCK_ERR_NOTEMPTY;
        case EUSERS:
            return OVSOCK_ERR_USERS;
        case EDQUOT:
            return OVSOCK_ERR_DQUOT;
        case ESTALE:
            return OVSOCK_ERR_STALE;
        case EREMOTE:
            return OVSOCK_ERR_REMOTE;
        case ECANCELED:
            return OVSOCK_ERR_CANCELLED;
        default:
            return OVSOCK_ERR_SYSCALLFAILURE;
    }
}

DWORD WinsockErrorFromLookup(int eaiCode, int err) {
    switch (eaiCode) {
        case EAI_NONAME:
        case EAI_NODATA:
        case EAI_ADDRFAMILY:
            return kHostNotFound;
        case EAI_AGAIN:
            return kTryAgain;
        case EAI_FAIL:
            return kNoRecovery;
        case EAI_MEMORY:
            return OVSOCK_ERR_NOBUFS;
        case EAI_SYSTEM:
            return WinsockErrorFromErrno(err);
        default:
            return OVSOCK_ERR_INVAL;
    }
}

void SetSocketError(DWORD code) {
    SetLastError(code);
}

void SetSocketErrorFromErrno(int err) {
    SetLastError(WinsockErrorFromErrno(err));
}

}  // namespace ov::sock
