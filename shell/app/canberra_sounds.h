// Sounds through libcanberra and the desktop's sound server. Where no sound server runs the
// program stays silent and says nothing: sounds are a courtesy, never an error.
#pragma once

#include <QString>

#include "shell/core/desktop/sounds.h"

struct ca_context;

namespace ov::shell {

class CanberraSounds final : public Sounds {
public:
    // soundDirectory ends with '/'.
    explicit CanberraSounds(QString soundDirectory);
    ~CanberraSounds() override;
    CanberraSounds(const CanberraSounds&) = delete;
    CanberraSounds& operator=(const CanberraSounds&) = delete;

    void Play(int id, const QString& file) override;
    // False once the sound server was found missing.
    bool Available() const { return !failed_; }

private:
    bool Open();

    QString directory_;
    ca_context* context_ = nullptr;
    bool failed_ = false;
};

}  // namespace ov::shell
