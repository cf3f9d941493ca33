// Runs a single-threaded apartment's queue on a Qt event loop.
//
// The apartment keeps what is posted to it in its own queue under its own lock; this object
// is only its doorbell. A posting thread rings it, the ring becomes one QEvent for this
// object, and its handler pumps the apartment on the object's (GUI) thread. So no event
// payload crosses threads inside Qt, and the order is the apartment's by construction.
//
//   CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);       // on the GUI thread
//   QtApartmentPump pump(Apartment::Current());
//   app.exec();                                              // events arrive as posted
//
// Create and destroy it on the apartment's thread. Destroying it removes the doorbell; a new
// pump (or PumpPending) takes over the queue where this one left it.
#pragma once

#include <QObject>
#include <memory>

#include "platform/com/apartment.h"

class QtApartmentPump final : public QObject {
public:
    explicit QtApartmentPump(std::shared_ptr<Apartment> apartment, QObject* parent = nullptr);
    ~QtApartmentPump() override;

protected:
    bool event(QEvent* e) override;

private:
    std::shared_ptr<Apartment> apartment_;
};
