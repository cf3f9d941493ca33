#include "shell/app/canberra_sounds.h"

#include <canberra.h>

namespace ov::shell {

CanberraSounds::CanberraSounds(QString soundDirectory) : directory_(std::move(soundDirectory)) {}

CanberraSounds::~CanberraSounds() {
    if (context_)
        ca_context_destroy(context_);
}

bool CanberraSounds::Open() {
    if (context_ || failed_)
        return context_ != nullptr;
    if (ca_context_create(&context_) != CA_SUCCESS) {
        context_ = nullptr;
        failed_ = true;
        return false;
    }
    // Only the sound server: the raw ALSA fallback prints device errors on machines without
    // sound hardware, and a desktop without a sound server wants silence.
    ca_context_set_driver(context_, "pulse");
    ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Orvane", CA_PROP_APPLICATION_ID,
                            "orvane", nullptr);
    if (ca_context_open(context_) != CA_SUCCESS) {
        ca_context_destroy(context_);
        context_ = nullptr;
        failed_ = true;
        return false;
    }
    return true;
}

void CanberraSounds::Play(int id, const QString& file) {
    if (file.isEmpty() || !Open())
        return;
    const QByteArray path = (directory_ + file).toLocal8Bit();
    ca_context_play(context_, static_cast<uint32_t>(id), CA_PROP_MEDIA_FILENAME, path.constData(),
                    CA_PROP_MEDIA_ROLE, "event", nullptr);
}

}  // namespace ov::shell
