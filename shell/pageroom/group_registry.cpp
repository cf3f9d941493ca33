#include "shell/pageroom/group_registry.h"

#include <QMutexLocker>

namespace ov::shell {

OVGroupInfo* GroupRegistry::Find(OVGroupTypeEnum type, const QString& name) const {
    QMutexLocker lock(&lock_);
    for (const auto& g : groups_)
        if (g->Type() == type && g->Name() == name)
            return g.get();
    return nullptr;
}

OVGroupInfo& GroupRegistry::Acquire(OVGroupTypeEnum type, const QString& name,
                                    OVGroupObserver* observer) {
    OVGroupInfo* group = Find(type, name);
    if (!group) {
        QMutexLocker lock(&lock_);
        groups_.push_back(std::make_unique<OVGroupInfo>(kernel_, type, name));
        group = groups_.back().get();
    }
    if (observer)
        group->AddObserver(observer);
    return *group;
}

OVGroupInfo* GroupRegistry::Release(OVGroupTypeEnum type, const QString& name,
                                    OVGroupObserver* observer) {
    OVGroupInfo* group = Find(type, name);
    if (group && observer)
        group->RemoveObserver(observer);
    return group;
}

int GroupRegistry::Size() const {
    QMutexLocker lock(&lock_);
    return static_cast<int>(groups_.size());
}

}  // namespace ov::shell
