// The Pageroom groups of the logged-in user: one OVGroupInfo per (type, name), shared by every
// window watching that site or page, found by type and exact (case-sensitive) name. Groups
// stay until the registry ends with the user's session; leaving one keeps its object.
//
//   GroupRegistry groups(kernel);
//   OVGroupInfo& site = groups.Acquire(OV_GT_SITE, "example.com", &watcher);
//   ...
//   if (OVGroupInfo* g = groups.Release(OV_GT_SITE, "example.com", &watcher))
//       g->LeaveIfIdle(0);
#pragma once

#include <QMutex>
#include <QString>
#include <memory>
#include <vector>

#include "shell/pageroom/group_info.h"

namespace ov::shell {

class GroupRegistry {
public:
    explicit GroupRegistry(IOVService* kernel) : kernel_(kernel) {}

    // The group, made when there is none, with the observer added.
    OVGroupInfo& Acquire(OVGroupTypeEnum type, const QString& name, OVGroupObserver* observer);
    // The group without the observer; null when there is none.
    OVGroupInfo* Release(OVGroupTypeEnum type, const QString& name, OVGroupObserver* observer);
    OVGroupInfo* Find(OVGroupTypeEnum type, const QString& name) const;
    int Size() const;

private:
    IOVService* const kernel_;
    mutable QMutex lock_;  // guards groups_
    std::vector<std::unique_ptr<OVGroupInfo>> groups_;
};

}  // namespace ov::shell
