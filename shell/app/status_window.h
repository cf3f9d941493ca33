// The tray's stand-in where the desktop has no notification area (Xvfb, GNOME without the
// extension): a small window that shows the tray's icon and tip - the tip is also its
// accessible description - and offers what the icon's clicks offer.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace ov::shell {

class StatusWindow final : public QWidget {
    Q_OBJECT
public:
    explicit StatusWindow(QWidget* parent = nullptr);

    void SetIcon(const QIcon& icon);
    void SetTip(const QString& tip);
    QString Tip() const;
    // Where a menu asked for by the window's buttons opens (global coordinates).
    QPoint MenuPosition() const;

Q_SIGNALS:
    void StatusMenuRequested();  // the icon's single click
    void MenuRequested();        // the icon's right click
    void OpenNextRequested();    // the icon's double click

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* icon_;
    QLabel* tip_;
    QPushButton* status_;
    QPushButton* menu_;
    QPushButton* next_;
};

}  // namespace ov::shell
