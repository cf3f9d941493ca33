// The one message-box function. Components call it; the shell installs a GUI presenter,
// tests install a MessageBoxRecorder, and by default the box is written to stderr and
// answered with its default button.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/types.h"

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_YESNOCANCEL = 0x3;
constexpr UINT MB_YESNO = 0x4;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONERROR = MB_ICONSTOP;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr UINT MB_TYPEMASK = 0xF;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

struct MessageBoxRequest {
    void* owner = nullptr;  // owner window, null for none
    std::string text;       // UTF-8
    std::string caption;    // UTF-8
    UINT type = MB_OK;
};

using MessageBoxPresenter = std::function<int(const MessageBoxRequest&)>;

// Shows a box through the installed presenter and returns the button chosen (IDOK, ...).
int MessageBox(void* owner, std::string_view text, std::string_view caption, UINT type);
// Installs a presenter (an empty one restores the default) and returns the previous one.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);
// The answer of the default presenter: IDOK for MB_OK/MB_OKCANCEL, IDYES for the yes/no kinds.
int DefaultMessageBoxAnswer(UINT type);

// Test presenter: records every box and answers from a script (else the default button).
// Installs itself on construction and restores the previous presenter on destruction.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void ScriptAnswer(int answer);
    std::vector<MessageBoxRequest> Boxes() const;
    size_t Count() const;

private:
    int Present(const MessageBoxRequest& request);

    mutable std::mutex mutex_;  // guards boxes_ and answers_
    std::vector<MessageBoxRequest> boxes_;
    std::deque<int> answers_;
    MessageBoxPresenter previous_;
};
