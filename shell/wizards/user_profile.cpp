#include "shell/wizards/user_profile.h"

#include <cstddef>
#include <cstring>

#include "shell/core/protocol_records.h"

namespace ov::shell {

namespace {

struct TextField {
    quint32 bit;
    QString UserProfile::*text;
    size_t offset;
    size_t size;
};

constexpr TextField kTextFields[] = {
    {OV_UFLD_USERNAME, &UserProfile::userName, offsetof(OV_USER_INFO, sUserName), OV_USERNAME_SIZE},
    {OV_UFLD_NICKNAME, &UserProfile::nickName, offsetof(OV_USER_INFO, sNickName), OV_NICKNAME_SIZE},
    {OV_UFLD_FIRSTNAME, &UserProfile::firstName, offsetof(OV_USER_INFO, sFirstName),
     OV_FIRSTNAME_SIZE},
    {OV_UFLD_LASTNAME, &UserProfile::lastName, offsetof(OV_USER_INFO, sLastName), OV_LASTNAME_SIZE},
    {OV_UFLD_EMAIL, &UserProfile::eMail, offsetof(OV_USER_INFO, sEMail), OV_EMAIL_SIZE},
    {OV_UFLD_EMAIL1, &UserProfile::eMail1, offsetof(OV_USER_INFO, sEMail1), OV_EMAIL_SIZE},
    {OV_UFLD_EMAIL2, &UserProfile::eMail2, offsetof(OV_USER_INFO, sEMail2), OV_EMAIL_SIZE},
    {OV_UFLD_PHONE, &UserProfile::phone, offsetof(OV_USER_INFO, sPhone), OV_PHONE_SIZE},
    {OV_UFLD_MOBILE, &UserProfile::mobile, offsetof(OV_USER_INFO, sMobile), OV_MOBILE_SIZE},
    {OV_UFLD_HOMEPAGE, &UserProfile::homepage, offsetof(OV_USER_INFO, sHomepage), OV_HOMEPAGE_SIZE},
    {OV_UFLD_ABOUT, &UserProfile::about, offsetof(OV_USER_INFO, sAbout), OV_ABOUT_SIZE},
};

// The numbers a person edits, with their bits.
constexpr struct {
    quint32 bit;
    quint32 UserProfile::*value;
} kEditedNumbers[] = {
    {OV_UFLD_LANGUAGE, &UserProfile::language},
    {OV_UFLD_LOCATION, &UserProfile::location},
    {OV_UFLD_AGERANGE, &UserProfile::ageRange},
    {OV_UFLD_SEX, &UserProfile::sex},
    {OV_UFLD_CAREER, &UserProfile::career},
    {OV_UFLD_ICON, &UserProfile::icon},
    {OV_UFLD_AGE, &UserProfile::age},
    {OV_UFLD_LANGUAGE1, &UserProfile::language1},
    {OV_UFLD_LANGUAGE2, &UserProfile::language2},
    {OV_UFLD_LANGUAGE3, &UserProfile::language3},
};

}  // namespace

UserProfile UserProfile::FromRecord(std::string_view bytes) {
    const OV_USER_INFO u = RecordOf<OV_USER_INFO>(bytes);
    UserProfile p;
    p.mask = u.nMask;
    p.pin = u.nPin;
    const auto* base = reinterpret_cast<const char*>(&u);
    for (const TextField& f : kTextFields)
        if (p.Has(f.bit))
            p.*f.text = RecordText(base + f.offset, f.size);
    p.language = u.nLanguage;
    p.location = u.nLocation;
    p.ageRange = u.nAgeRange;
    p.sex = u.nSex;
    p.career = u.nCareer;
    p.icon = u.nIcon;
    p.mode = u.nMode;
    p.age = u.nAge;
    p.language1 = u.nLanguage1;
    p.language2 = u.nLanguage2;
    p.language3 = u.nLanguage3;
    p.onlineStatus = u.nOnlineStatus;
    return p;
}

OV_USER_INFO UserProfile::ToRecord() const {
    OV_USER_INFO u;
    std::memset(&u, 0, sizeof u);
    u.nMask = mask;
    u.nPin = pin;
    auto* base = reinterpret_cast<char*>(&u);
    for (const TextField& f : kTextFields)
        if (Has(f.bit))
            SetRecordText(base + f.offset, f.size, this->*f.text);
    u.nLanguage = static_cast<uint16_t>(language);
    u.nLocation = location;
    u.nAgeRange = static_cast<uint8_t>(ageRange);
    u.nSex = static_cast<uint8_t>(sex);
    u.nCareer = static_cast<uint8_t>(career);
    u.nIcon = icon;
    u.nMode = mode;
    u.nAge = static_cast<uint16_t>(age);
    u.nLanguage1 = static_cast<uint16_t>(language1);
    u.nLanguage2 = static_cast<uint16_t>(language2);
    u.nLanguage3 = static_cast<uint16_t>(language3);
    u.nOnlineStatus = onlineStatus;
    return u;
}

quint32 UserProfile::ChangedFields(const UserProfile& before, const UserProfile& after) {
    quint32 bits = 0;
    for (const TextField& f : kTextFields)
        if (f.bit != OV_UFLD_USERNAME && before.*f.text != after.*f.text)
            bits |= f.bit;
    for (const auto& n : kEditedNumbers)
        if (before.*n.value != after.*n.value)
            bits |= n.bit;
    return bits;
}

Privacy Privacy::OfMode(quint32 mode) {
    Privacy p;
    if (mode & OV_UMODE_BUDDY_DENY)
        p.addBuddy = AddBuddyRule::Nobody;
    else if (mode & OV_UMODE_BUDDY_AUTH)
        p.addBuddy = AddBuddyRule::NeedsConsent;
    if (mode & OV_UMODE_NO_GROUP_USER_MSG)
        p.messages = MessageRule::BuddiesOnly;
    else if (mode & OV_UMODE_NO_STRONGER_MSG)
        p.messages = MessageRule::BuddiesAndSameSite;
    p.hideDetails = (mode & OV_UMODE_HIDE_USR_INFO) != 0;
    p.hideEMail = (mode & OV_UMODE_HIDE_EMAIL) != 0;
    return p;
}

quint32 RewriteMode(quint32 referenceMode, const Privacy& chosen, bool* changed) {
    const Privacy shown = Privacy::OfMode(referenceMode);
    quint32 mode = referenceMode;
    bool differs = false;
    // Sets the bits of `set` and clears the others of `group`.
    auto rewrite = [&mode](quint32 group, quint32 set) { mode = (mode & ~group) | set; };
    if (chosen.addBuddy != shown.addBuddy) {
        differs = true;
        const quint32 group = OV_UMODE_BUDDY_AUTH | OV_UMODE_BUDDY_DENY;
        switch (chosen.addBuddy) {
            case AddBuddyRule::Anyone:
                rewrite(group, 0);
                break;
            case AddBuddyRule::NeedsConsent:
                rewrite(group, OV_UMODE_BUDDY_AUTH);
                break;
            case AddBuddyRule::Nobody:
                rewrite(group, OV_UMODE_BUDDY_DENY);
                break;
        }
    }
    if (chosen.messages != shown.messages) {
        differs = true;
        const quint32 group = OV_UMODE_NO_STRONGER_MSG | OV_UMODE_NO_GROUP_USER_MSG;
        switch (chosen.messages) {
            case MessageRule::Everybody:
                rewrite(group, 0);
                break;
            case MessageRule::BuddiesAndSameSite:
                rewrite(group, OV_UMODE_NO_STRONGER_MSG);
                break;
            case MessageRule::BuddiesOnly:
                rewrite(group, group);
                break;
        }
    }
    if (chosen.hideDetails != shown.hideDetails) {
        differs = true;
        rewrite(OV_UMODE_HIDE_USR_INFO, chosen.hideDetails ? quint32{OV_UMODE_HIDE_USR_INFO} : 0u);
    }
    if (chosen.hideEMail != shown.hideEMail) {
        differs = true;
        rewrite(OV_UMODE_HIDE_EMAIL, chosen.hideEMail ? quint32{OV_UMODE_HIDE_EMAIL} : 0u);
    }
    if (changed != nullptr)
        *changed = differs;
    return mode;
}

}  // namespace ov::shell
