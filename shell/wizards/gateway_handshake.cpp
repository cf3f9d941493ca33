#include "shell/wizards/gateway_handshake.h"

#include "shell/core/bstr_text.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

void HandshakeGatewayWhenOffline(OVShellApp& app, IOVService* kernel, int* attempt) {
    CHiddenFrame* frame = app.Frame();
    if (frame && (frame->LoggedInToServer() || frame->LoggingIn()))
        return;
    const QList<GatewayInfo> gateways = app.Machine().ActiveGateways();
    if (gateways.isEmpty())
        return;
    const GatewayInfo& gateway = gateways[(*attempt)++ % gateways.size()];
    LONG seq = 0;
    const HRESULT hr = kernel->HandshakeServer(ToBstr(gateway.host), gateway.port, &seq);
    if (FAILED(hr))
        app.ReportComponentError(hr, "HandshakeServer", __FILE__, __LINE__);
}

}  // namespace ov::shell
