#include "transfer/socket_object.h"

namespace ov::transfer {

ComPtr<IOVSocket> NewSocketObject() {
    ComPtr<IOVSocket> socket;
    if (FAILED(CoCreateInstance(CLSID_OVSocket, &socket)) || !socket)
        return {};
    OVSOCKErrorCodeEnum error = OVSOCK_ERR_NONE;
    if (FAILED(socket->InitializeSocket(&error)) || error != OVSOCK_ERR_NONE)
        return {};
    return socket;
}

}  // namespace ov::transfer
