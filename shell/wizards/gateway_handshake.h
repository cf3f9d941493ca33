// The wizards that talk to the server before anyone has logged in (registration, a password
// change from the login screen) first point the kernel at a gateway, as a login would.
#pragma once

#include "common/interfaces/ovkernel.h"

namespace ov::shell {

class OVShellApp;

// Handshakes the attempt-th active gateway (in turn, so that each retry after a failure asks
// the next one) unless the frame is logged in or logging in: then the kernel has its server.
// Counts the attempt up when it handshakes.
void HandshakeGatewayWhenOffline(OVShellApp& app, IOVService* kernel, int* attempt);

}  // namespace ov::shell
