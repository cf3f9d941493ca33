// The public part of an account: what other users see in lists, notices and group rosters.
// Sessions keep it so that rosters and notices need no database read.
#pragma once

#include <cstdint>
#include <string>

#include "server/store.h"

namespace ov::server {

struct PublicProfile {
    uint32_t pin = 0;
    std::string userName;
    std::string nickName;
    uint32_t location = 0;
    uint8_t ageRange = 0;
    uint8_t sex = 0;
    uint32_t icon = 0;
    uint32_t mode = 0;

    static PublicProfile From(const UserRecord& u) {
        return PublicProfile{u.pin,      u.userName, u.nickName, u.location,
                             u.ageRange, u.sex,      u.icon,     u.mode};
    }
};

}  // namespace ov::server
