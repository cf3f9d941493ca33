// UserProfile: one OV_USER_INFO record as the information dialogs edit and show it - texts
// as QString, numbers widened - and Privacy, the four privacy choices that the bits of its
// nMode stand for.
//
//   UserProfile p = UserProfile::FromRecord(varUserInfo);   // texts without their bit: empty
//   p.nickName = "新昵称";
//   p.mask = UserProfile::ChangedFields(reference, p);
//   OV_USER_INFO record = p.ToRecord();                     // texts only with their bit
//
//   Privacy shown = Privacy::OfMode(reference.mode);
//   bool changed = false;
//   quint32 mode = RewriteMode(reference.mode, chosen, &changed);
#pragma once

#include <QString>
#include <string_view>

#include "common/protocol/vocabulary.h"

namespace ov::shell {

struct UserProfile {
    quint32 mask = 0;
    quint32 pin = 0;
    QString userName;
    QString nickName;
    QString firstName;
    QString lastName;
    QString eMail;
    quint32 language = 0;
    quint32 location = 0;
    quint32 ageRange = 0;
    quint32 sex = 0;
    quint32 career = 0;
    quint32 icon = 0;
    quint32 mode = 0;
    quint32 age = 0;
    quint32 language1 = 0;
    quint32 language2 = 0;
    quint32 language3 = 0;
    QString eMail1;
    QString eMail2;
    QString phone;
    QString mobile;
    QString homepage;
    QString about;
    quint32 onlineStatus = 0;

    bool Has(quint32 bit) const { return (mask & bit) != 0; }

    // A record's bytes (too few count as zeros). A text whose bit is clear reads as empty.
    static UserProfile FromRecord(std::string_view bytes);
    // The record in code page 936: every number, a text only when its bit is in mask (cut to
    // its field after its last whole character). The password is never written.
    OV_USER_INFO ToRecord() const;
    // The bits of the fields a person edits (texts compared exactly, numbers by value) whose
    // values differ. The PIN, login name, password and mode are not among them.
    static quint32 ChangedFields(const UserProfile& before, const UserProfile& after);

    friend bool operator==(const UserProfile&, const UserProfile&) = default;
};

// Who may add me as a buddy (OV_UMODE_BUDDY_AUTH, OV_UMODE_BUDDY_DENY).
enum class AddBuddyRule { Anyone, NeedsConsent, Nobody };
// Whose messages I receive (OV_UMODE_NO_STRONGER_MSG, OV_UMODE_NO_GROUP_USER_MSG).
enum class MessageRule { Everybody, BuddiesAndSameSite, BuddiesOnly };

struct Privacy {
    AddBuddyRule addBuddy = AddBuddyRule::Anyone;
    MessageRule messages = MessageRule::Everybody;
    bool hideDetails = false;  // OV_UMODE_HIDE_USR_INFO
    bool hideEMail = false;    // OV_UMODE_HIDE_EMAIL

    // What a mode shows. Both add-buddy bits read as "nobody"; bit 64 without 32 reads as
    // "buddies only".
    static Privacy OfMode(quint32 mode);

    friend bool operator==(const Privacy&, const Privacy&) = default;
};

// referenceMode with the bits of each choice that differs from what referenceMode shows
// rewritten; every other bit stays as it was. *changed tells whether any choice differed.
quint32 RewriteMode(quint32 referenceMode, const Privacy& chosen, bool* changed);

}  // namespace ov::shell
