// What the browser's DevTools endpoint sends, from any bytes: read as nothing or as an event
// that holds together, and the addresses of tabs turned into keys that hold together too.
#include <cstdint>
#include <cstdlib>

#include "shell/pageroom/devtools_messages.h"
#include "shell/pageroom/page_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ov::shell;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const DevToolsMessage m = ParseDevToolsMessage(bytes);
    if ((m.kind == DevToolsMessage::Kind::TabChanged ||
         m.kind == DevToolsMessage::Kind::TabClosed) &&
        m.tab.isEmpty())
        std::abort();
    if (m.kind == DevToolsMessage::Kind::Reply) {
        if (const auto window = WindowOf(m.result);
            window && !window->bounds.isNull() && window->bounds.isEmpty())
            std::abort();
    }
    // Any text may be an address: a qualifying one gives a site with a dot and a page that
    // starts with it and is the address without its scheme.
    const QString address = m.kind == DevToolsMessage::Kind::TabChanged
                                ? m.address
                                : QString::fromUtf8(bytes.toByteArray());
    if (const auto keys = PageKeysOf(address)) {
        if (!keys->site.contains(QLatin1Char('.')) || !keys->page.startsWith(keys->site) ||
            !address.endsWith(keys->page) || keys->page.size() + 7 > address.size())
            std::abort();
    }
    for (const QString& id : PageTabsOf(bytes))
        if (id.isEmpty())
            std::abort();
    return 0;
}
