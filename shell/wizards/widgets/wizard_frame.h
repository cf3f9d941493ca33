// WizardFrame: what every account wizard's window shares - the skin's picture of the current
// page on the left, the pages in a stack, the rule and the Back, Next, Cancel and Finish row
// below, the waiting page's animation - and the small builders of the pages' controls. A
// wizard derives from it, adds its pages, and answers the four buttons and the close; its
// model decides which page shows and which buttons are enabled.
//
//   class MyWizard : public WizardFrame { ... };
//   MyWizard::MyWizard(app) : WizardFrame(app, "标题", "sPicture") {
//       AddPage(MakeFirstPage());
//       ...
//   }
//   ShowFramePage(model_.CurrentPage());          // the page and its picture "sPicture<n+1>"
//   SetButtons(canBack, canNext, canCancel, canFinish);
//
// Modeless; deletes itself when closed. Escape is the Cancel button while it is enabled; the
// close box always closes and tells the wizard by OnClose.
#pragma once

#include <QDialog>
#include <QHash>
#include <QPointer>

class QFormLayout;
class QLabel;
class QLineEdit;
class QMovie;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace ov::shell {

class OVShellApp;

namespace wizard_ui {

QString Utf8(const char* text);
// A page's heading: bold and somewhat larger.
QLabel* Heading(const char* text);
// A wrapped line of text.
QLabel* Note(const char* text);
// A page: its heading, a little space, then what the caller adds to the returned layout.
QVBoxLayout* PageLayout(QWidget* page, const char* heading);
QLineEdit* Edit(const char* name, int maxLength, bool secret = false);
// A form's label; its text may keep an "(&X)" accelerator for the buddy.
QLabel* FormLabel(const char* text, QWidget* buddy);
// A form of labels right-aligned beside fields at their own width.
QFormLayout* Form();
// A page that waits for the server: its heading and the animation's label, centred.
QWidget* WaitingPage(const char* heading, QLabel** animation);
// A failure page: its heading and a wrapped, selectable line the wizard sets.
QWidget* FailurePage(const char* heading, QLabel** text);

}  // namespace wizard_ui

class WizardFrame : public QDialog {
    Q_OBJECT
public:
    QPushButton* BackButton() const { return back_; }
    QPushButton* NextButton() const { return next_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* FinishButton() const { return finish_; }

    void reject() override;

protected:
    // title is the caption and the window's accessible name; pictureKey names the pictures
    // of section "Bitmaps", one per page, numbered from 1.
    WizardFrame(OVShellApp& app, const QString& title, const char* pictureKey,
                QWidget* parent = nullptr);
    ~WizardFrame() override;

    void AddPage(QWidget* page);
    QStackedWidget* Pages() const { return pages_; }
    void ShowFramePage(int page);
    void SetButtons(bool back, bool next, bool cancel, bool finish);
    // Plays the skin's animation of section "AVIs" in label; Stop ends it.
    void PlayAnimation(QLabel* label, const char* key);
    void StopAnimation();
    // For the model's end: closes the window unless it is closing already.
    void CloseEnded();

    virtual void OnBack() = 0;
    virtual void OnNext() = 0;
    virtual void OnCancel() = 0;
    virtual void OnFinish() = 0;
    virtual bool CancelEnabled() const = 0;
    // The window closes some other way than by its buttons.
    virtual void OnClose() = 0;

    void closeEvent(QCloseEvent* event) override;

    OVShellApp& app_;

private:
    void ShowPicture(int page);

    QByteArray pictureKey_;
    bool closing_ = false;
    QLabel* picture_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* finish_ = nullptr;
    QMovie* movie_ = nullptr;
};

// Shows the application's wizard of type W, creating it when none is open: one per
// application and type.
template <class W>
W* OpenOnePerApp(OVShellApp& app) {
    static QHash<OVShellApp*, QPointer<W>> wizards;
    QPointer<W>& open = wizards[&app];
    if (!open)
        open = new W(app);
    open->show();
    open->raise();
    open->activateWindow();
    return open;
}

}  // namespace ov::shell
