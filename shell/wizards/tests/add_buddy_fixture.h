// Clients logged in to the reference server for the add-buddy wizard and the request window:
// accounts with an authorisation mode and an icon, and the wait for the lists of a login.
#pragma once

#include <QComboBox>
#include <QPlainTextEdit>
#include <cstring>

#include "shell/core/protocol_records.h"
#include "shell/wizards/tests/wizard_fixture.h"
#include "shell/wizards/widgets/add_buddy_wizard.h"
#include "shell/wizards/widgets/buddy_request_window.h"

namespace ov::shell::testing {

class AddBuddyTest : public WizardWindowTest<AddBuddyWizard> {
protected:
    using Model = AddBuddyModel;

    // Registers an account with the mode bits of OV_UMODE_*; its number, 0 on failure.
    qint32 RegisterUser(const QString& name, uint32_t mode = 0, uint32_t icon = 0x0103) {
        ComPtr<IOVService> kernel;
        if (FAILED(CoCreateInstance(CLSID_OVService, &kernel)))
            return 0;
        KernelWatch watch(kernel.Get());
        LONG ok = 0;
        kernel->Init(Bstr::Empty(), 0, &ok);
        time_->SetWaiters(3 * (kernels_ + 1));
        LONG seq = 0;
        kernel->HandshakeServer(Bstr::FromUtf8("127.0.0.1"), serverPort_, &seq);
        OV_USER_INFO u;
        std::memset(&u, 0, sizeof u);
        u.nMask =
            OV_UFLD_USERNAME | OV_UFLD_PASSWORD | OV_UFLD_NICKNAME | OV_UFLD_MODE | OV_UFLD_ICON;
        std::strncpy(u.sUserName, name.toStdString().c_str(), sizeof u.sUserName - 1);
        std::strncpy(u.sNickName, ("n-" + name).toStdString().c_str(), sizeof u.sNickName - 1);
        std::strncpy(u.sPassword, "pw", sizeof u.sPassword - 1);
        u.nMode = mode;
        u.nIcon = icon;
        CByteArrayVariant record(&u, sizeof u);
        kernel->RegisterUser(record.Variant(), &seq);
        qint32 pin = 0;
        time_->RunUntil([&] {
            auto replies = watch.Named(OV_DISPID_ON_REGISTER_USER_REPLY);
            if (replies.empty())
                return false;
            if (replies[0].args[1].value == OV_ERR_NONE)
                pin = static_cast<qint32>(replies[0].args[2].value);
            return true;
        });
        kernel->Deinit();
        time_->SetWaiters(3 * kernels_);
        return pin;
    }

    // The display state of the user's node, -1 without a node.
    int NodeState(ShellClient& c, qint32 pin) {
        const auto node = c.App().UserData().FindBuddy(pin);
        return node ? node->display[0] : -1;
    }

    // The wizard of the client for a user, on its choose-group page.
    AddBuddyWizard& OpenFor(ShellClient& c, qint32 pin, const QString& name = QString()) {
        client_ = &c;
        wizard_ = AddBuddyWizard::Open(c.App(), pin, name, 0);
        EXPECT_EQ(Page(), Model::kChooseGroup);
        return *wizard_;
    }

    void TypeVerification(const QString& text) {
        Named<QPlainTextEdit>("验证信息")->setPlainText(text);
    }
};

// An add-buddy request as the frame keeps it.
inline PendingItem RequestFrom(qint32 pin, const QString& name, const QString& text) {
    return PendingItem::BuddyRequest(pin, text, name, 0x0102);
}

}  // namespace ov::shell::testing
