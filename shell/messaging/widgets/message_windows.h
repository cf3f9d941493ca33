// What the message windows share: the open windows of one application, by the user they are
// about (a second request for the same user brings the open window to the front instead of
// opening another), and their buttons.
#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QPushButton>
#include <QString>

namespace ov::shell {

class OVShellApp;

// A button named for assistive technology; Return in an edit does not press it.
inline QPushButton* MessageButton(const QString& text, const QString& name) {
    auto* button = new QPushButton(text);
    button->setAccessibleName(name);
    button->setAutoDefault(false);
    return button;
}

template <typename Window>
class OpenWindowList {
public:
    static QList<QPointer<Window>>& Of(OVShellApp& app) {
        static QHash<OVShellApp*, QList<QPointer<Window>>> windows;
        QList<QPointer<Window>>& list = windows[&app];
        list.removeAll(nullptr);
        return list;
    }
    static Window* Find(OVShellApp& app, qint32 pin) {
        for (const QPointer<Window>& w : Of(app))
            if (w->Pin() == pin)
                return w;
        return nullptr;
    }
};

}  // namespace ov::shell
