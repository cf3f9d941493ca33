// The buddy list as a person reads it, for the tests of its model: groups, and users
// indented below them.
#pragma once

#include <QStringList>

#include "shell/core/buddy_list_model.h"

namespace ov::shell::testing {

inline QStringList Outline(const BuddyListModel& m) {
    QStringList out;
    for (qint32 g : m.TopLevel()) {
        out << m.Find(g)->caption;
        for (qint32 u : m.Children(g))
            out << "  " + m.Find(u)->caption;
    }
    return out;
}

}  // namespace ov::shell::testing
