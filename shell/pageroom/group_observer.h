// What a Pageroom group tells the windows that watch it, in the order of the group observer
// interface; every operation does nothing unless overridden. An observer that is destroyed
// is dropped by the groups it watched before their next notification.
#pragma once

#include <QString>
#include <memory>

#include "common/protocol/vocabulary.h"
#include "platform/com/types.h"

namespace ov::shell {

class OVGroupInfo;

class OVGroupObserver {
public:
    OVGroupObserver() = default;
    virtual ~OVGroupObserver() = default;
    OVGroupObserver(const OVGroupObserver&) = delete;
    OVGroupObserver& operator=(const OVGroupObserver&) = delete;

    virtual void OnGroupUserEnter(OVGroupInfo&, const OV_USER_INFO&) {}
    // user: null when the PIN was not in the list.
    virtual void OnGroupUserLeave(OVGroupInfo&, const OV_USER_INFO* /*user*/, qint32 /*pin*/) {}
    virtual void OnGroupCountChanged(OVGroupInfo&) {}
    virtual void OnGroupCountReply(OVGroupInfo&, int /*error*/) {}
    virtual void OnGroupListStart(OVGroupInfo&) {}
    virtual void OnGroupListReply(OVGroupInfo&, int /*error*/) {}
    virtual void OnGroupEnterStart(OVGroupInfo&) {}
    virtual void OnGroupEnterReply(OVGroupInfo&, int /*error*/) {}
    virtual void OnGroupLeft(OVGroupInfo&) {}
    virtual void OnGroupUserStatus(OVGroupInfo&, const OV_USER_INFO&) {}
    virtual void OnGroupMessage(OVGroupInfo&, const OV_USER_INFO& /*sender*/, LONG /*componentId*/,
                                LONG /*componentCode*/, const QString& /*text*/,
                                LONG /*sentTime*/) {}
    virtual void OnGroupSending(OVGroupInfo&, LONG /*seq*/, LONG /*componentId*/,
                                LONG /*componentCode*/, const QString& /*text*/) {}
    virtual void OnGroupSendResult(OVGroupInfo&, LONG /*seq*/, LONG /*componentId*/,
                                   LONG /*componentCode*/, const QString& /*text*/, int /*error*/) {
    }

    // Held weakly by the groups: it ends with the observer.
    std::weak_ptr<int> Token() const { return alive_; }

private:
    const std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ov::shell
