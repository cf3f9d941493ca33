// Buddy tree nodes as the server's replies carry them, for the tests of what reads them.
#pragma once

#include "common/protocol/vocabulary.h"
#include "shell/core/protocol_records.h"

namespace ov::shell::testing {

// A group node with its display name.
inline OV_BUDDY_TREE_NODE GroupNode(quint32 id, const char* name) {
    OV_BUDDY_TREE_NODE n{};
    n.bIsBuddyGroup = 1;
    n.nBuddyNodeID = id;
    SetText(n.sDisplayName, QString::fromUtf8(name));
    return n;
}

}  // namespace ov::shell::testing
