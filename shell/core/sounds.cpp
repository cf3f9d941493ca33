#include "shell/core/desktop/sounds.h"

#include <utility>

namespace ov::shell {

QString SoundFile(int id) {
    static const std::pair<int, const char*> kTable[] = {
        {1, "login.wav"},         {2, "logout.wav"},          {3, "lost.wav"},
        {4, "buddydeny.wav"},     {5, "buddyaccept.wav"},     {6, "buddyrequest.wav"},
        {7, "buddyonline.wav"},   {8, "buddyoffline.wav"},    {10, "typechar.wav"},
        {11, "typereturn.wav"},   {12, "typedel.wav"},        {20, "usrmsg.wav"},
        {21, "sysmsg.wav"},       {22, "buddymsg.wav"},       {23, "file.wav"},
        {31, "sendmsg.wav"},      {32, "msgsent.wav"},        {33, "msgsenderr.wav"},
        {40, "pgr_usrmsg.wav"},   {41, "pgr_usrenter.wav"},   {42, "pgr_usrleave.wav"},
        {43, "pgr_buddymsg.wav"}, {44, "pgr_buddyenter.wav"}, {45, "pgr_buddyleave.wav"},
        {47, "pgr_sysmsg.wav"},   {48, "pgr_enter.wav"},      {49, "pgr_leave.wav"},
        {50, "winshow.wav"},      {51, "winhide.wav"},        {52, "winsnap.wav"},
    };
    for (const auto& [n, file] : kTable)
        if (n == id)
            return QString::fromLatin1(file);
    return {};
}

}  // namespace ov::shell
