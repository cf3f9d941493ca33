#include "platform/win32/message_box.h"

#include <cstdio>
#include <utility>

namespace {

struct PresenterSlot {
    std::mutex mutex;               // guards presenter
    MessageBoxPresenter presenter;  // empty: the default presenter
};

PresenterSlot& Slot() {
    static PresenterSlot slot;
    return slot;
}

int PresentOnStderr(const MessageBoxRequest& request) {
    std::string line = "[" + request.caption + "] " + request.text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);  // one write, so boxes do not interleave
    return DefaultMessageBoxAnswer(request.type);
}

}  // namespace

int MessageBox(void* owner, std::string_view text, std::string_view caption, UINT type) {
    MessageBoxRequest request;
    request.owner = owner;
    request.text = std::string(text);
    request.caption = std::string(caption);
    request.type = type;

    // Copied out: a presenter may run a modal loop or show another box, and must not do so
    // while the slot is locked.
    MessageBoxPresenter presenter;
    {
        std::lock_guard lock(Slot().mutex);
        presenter = Slot().presenter;
    }
    return presenter ? presenter(request) : PresentOnStderr(request);
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
    std::lock_guard lock(Slot().mutex);
    std::swap(Slot().presenter, presenter);
    return presenter;
}

int DefaultMessageBoxAnswer(UINT type) {
    switch (type & MB_TYPEMASK) {
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return IDYES;
        default:
            return IDOK;
    }
}

MessageBoxRecorder::MessageBoxRecorder()
    : previous_(SetMessageBoxPresenter(
          [this](const MessageBoxRequest& request) { return Present(request); })) {}

MessageBoxRecorder::~MessageBoxRecorder() {
    SetMessageBoxPresenter(std::move(previous_));
}

void MessageBoxRecorder::ScriptAnswer(int answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

std::vector<MessageBoxRequest> MessageBoxRecorder::Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

size_t MessageBoxRecorder::Count() const {
    std::lock_guard lock(mutex_);
    return boxes_.size();
}

int MessageBoxRecorder::Present(const MessageBoxRequest& request) {
    std::lock_guard lock(mutex_);
    boxes_.push_back(request);
    if (answers_.empty()) {
        return DefaultMessageBoxAnswer(request.type);
    }
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
}
