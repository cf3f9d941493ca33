#include "platform/qt/qt_apartment_pump.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

QEvent::Type PumpEventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

QtApartmentPump::QtApartmentPump(std::shared_ptr<Apartment> apartment, QObject* parent)
    : QObject(parent), apartment_(std::move(apartment)) {
    // The ring runs on a posting thread. postEvent is thread-safe, and the apartment does
    // not call a doorbell again once SetDoorbell(nullptr) in our destructor has returned.
    apartment_->SetDoorbell(
        [this] { QCoreApplication::postEvent(this, new QEvent(PumpEventType())); });
}

QtApartmentPump::~QtApartmentPump() {
    apartment_->SetDoorbell(nullptr);
    // Rings already posted to this object are removed with it by QObject.
}

bool QtApartmentPump::event(QEvent* e) {
    if (e->type() != PumpEventType())
        return QObject::event(e);
    apartment_->PumpPending();
    return true;
}
