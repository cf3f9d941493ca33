#include "shell/skin/skin_keys.h"

namespace ov::skin {

namespace {

using K = KeyKind;

std::vector<SkinKey> FormKeys() {
    return {
        {"sFormBitmap", K::Bitmap},
        {"szFormMaxSize", K::Size},
        {"szFormMinSize", K::Size},
        {"clrFormBackground", K::Color},
        {"bFormBkUseBitmap", K::Bool},
        {"mgFormMidBlock", K::Margin},
        {"bFormTransparent", K::Bool},
        {"clrFormColorKey", K::Color},
        {"posCaption", K::Position},
        {"posLeftTop", K::Position},
        {"posTop", K::Position},
        {"posRightTop", K::Position},
        {"posLeft", K::Position},
        {"posRight", K::Position},
        {"posLeftBottom", K::Position},
        {"posBottom", K::Position},
        {"posRightBottom", K::Position},
        {"mgFormClient", K::Margin},
        {"posCaptionButtons", K::Position},
        {"nCaptionButtonsMargin", K::Int},
        {"sCaptionButtonsBitmap", K::Bitmap},
        {"posCaptionText", K::Position},
        {"clrCaptionText", K::Color},
        {"fontCaptionText", K::Font},
    };
}

std::vector<SkinKey> EditKeys() {
    return {
        {"posWindow", K::Position},
        {"fontText", K::Font},
        {"clrEnabledText", K::Color},
        {"clrEnabledBackground", K::Color},
        {"clrHighlightText", K::Color},
        {"clrHighlightBackground", K::Color},
        {"clrDisabledText", K::Color},
        {"clrDisabledBackground", K::Color},
        {"bHasBorder", K::Bool},
        {"clrEnabledBorderHighlight", K::Color},
        {"clrEnabledBorderDark", K::Color},
        {"clrDisabledBorderHighlight", K::Color},
        {"clrDisabledBorderDark", K::Color},
    };
}

std::vector<SkinKey> ListBoxKeys() {
    std::vector<SkinKey> keys = EditKeys();
    keys.insert(
        keys.end(),
        {{"sScrollArrow", K::Bitmap}, {"sScrollBar", K::Bitmap}, {"sScrollLine", K::Bitmap}});
    return keys;
}

std::vector<SkinKey> ButtonKeys() {
    return {{"posWindow", K::Position},
            {"bBitmapTransparent", K::Bool},
            {"clrBitmapColorKey", K::Color},
            {"sBitmap", K::Bitmap}};
}

std::vector<SkinKey> ChatViewKeys() {
    std::vector<SkinKey> keys{
        {"posWindow", K::Position},   {"fontText", K::Font},        {"clrBackground", K::Color},
        {"clrBackground1", K::Color}, {"clrBackground2", K::Color}, {"sScrollArrow", K::Bitmap},
        {"sScrollBar", K::Bitmap},    {"sScrollLine", K::Bitmap},
    };
    for (const char* key :
         {"clrText", "clrTextAction", "clrTextHighlight", "clrTextInfo", "clrTextErr",
          "clrTextOwnSending", "clrTextOwnSent", "clrTextOwnSendErr", "clrTextOwnActionSending",
          "clrTextOwnActionSent", "clrTextOwnActionSendErr", "clrTextJoin", "clrTextPart"})
        keys.push_back({key, K::Color});
    return keys;
}

std::vector<SkinKey> MenuKeys() {
    std::vector<SkinKey> keys{{"sLeftBitmap", K::Bitmap}, {"sBkBitmap", K::Bitmap}};
    for (const char* key :
         {"clrLeftBack",    "clrMenuText",   "clrMenuTextSel", "clrGrayText1",   "clrGrayText2",
          "clrGrayTextSel", "clrMenuBk",     "clrSelBk1",      "clrSelBk2",      "clrSelBk3",
          "clrGraySelBk1",  "clrGraySelBk2", "clrSelBk",       "clrBorder1",     "clrBorder2",
          "clrBorder3",     "clrBorder4",    "clrIconBorder1", "clrIconBorder2", "clrSeparator1",
          "clrSeparator2",  "clrBtnShadow",  "clrBtnFace",     "clrBtnHilight"})
        keys.push_back({key, K::Color});
    return keys;
}

}  // namespace

const std::vector<SkinItemKeys>& KnownItems() {
    static const std::vector<SkinItemKeys> items = [] {
        std::vector<SkinItemKeys> v;
        v.push_back({"Form", "", "", FormKeys()});
        // The Pageroom logo and its controls.
        std::vector<SkinKey> logo = FormKeys();
        logo.insert(logo.end(), {{"ptLogoAniOffset", K::Point},
                                 {"nLogoAniCount", K::Int},
                                 {"nLogoAniSpeed", K::Int},
                                 {"sLogoAniName", K::BitmapAnimation, "nLogoAniCount"}});
        v.push_back({"Form", "Pageroom", "", logo});
        for (const char* name : {"SameSite", "SameURL"})
            v.push_back(
                {"Label", "Pageroom", name, {{"posWindow", K::Position}, {"clrText", K::Color}}});
        for (const char* name : {"SameSiteUserNum", "SameURLUserNum"})
            v.push_back({"Digit",
                         "Pageroom",
                         name,
                         {{"posWindow", K::Position},
                          {"sBitmap", K::Bitmap},
                          {"nPrecision", K::Int},
                          {"bZeroPadding", K::Bool}}});
        // The Pageroom window and its controls.
        v.push_back({"Form", "PageroomWnd", "", FormKeys()});
        for (const char* name : {"System", "Lock", "Site", "URL", "SendMessage"})
            v.push_back({"BitmapButton", "PageroomWnd", name, ButtonKeys()});
        v.push_back({"Edit", "PageroomWnd", "MessageEdit", EditKeys()});
        for (const char* name : {"SiteUserList", "URLUserList"})
            v.push_back({"ListBox", "PageroomWnd", name, ListBoxKeys()});
        for (const char* name : {"SiteChat", "URLChat"})
            v.push_back({"ChatView", "PageroomWnd", name, ChatViewKeys()});
        // Chat views of the private chat window, and pop-up menus.
        v.push_back({"ChatView", "", "", ChatViewKeys()});
        v.push_back({"Menu", "", "", MenuKeys()});
        return v;
    }();
    return items;
}

const std::vector<SkinSectionKeys>& KnownSections() {
    static const std::vector<SkinSectionKeys> sections = [] {
        std::vector<SkinSectionKeys> v;
        SkinSectionKeys tray{"Icons.Tray", {}};
        for (const char* key : {"sStatusOnline", "sStatusDND", "sStatusAway", "sStatusInvis",
                                "sStatusOffline", "sStatusAutoAway"})
            tray.keys.push_back({key, K::Icon});
        static const char* const kAnimations[][3] = {
            {"sLoginName", "nLoginCount", "nLoginSpeed"},
            {"sUserMessageName", "nUserMessageCount", "nUserMessageSpeed"},
            {"sSysMessageName", "nSysMessageCount", "nSysMessageSpeed"},
            {"sChatRequestName", "nChatRequestCount", "nChatRequestSpeed"},
            {"sBuddyValidatName", "nBuddyValidatCount", "nBuddyValidatSpeed"},
            {"sFileTransName", "nFileTransCount", "nFileTransSpeed"},
        };
        for (const auto& a : kAnimations) {
            tray.keys.push_back({a[0], K::IconAnimation, a[1]});
            tray.keys.push_back({a[1], K::Int});
            tray.keys.push_back({a[2], K::Int});
        }
        v.push_back(tray);

        SkinSectionKeys userList{"Icons.UserList", {}};
        for (const char* key : {"sBuddyOpened", "sBuddyClosed", "sStatusNA", "sBlackListOpened",
                                "sBlackListClosed", "sStrangerOpened", "sStrangerClosed"})
            userList.keys.push_back({key, K::Icon});
        v.push_back(userList);

        // The online-status menu: one icon per entry, named as the tray's status icons.
        SkinSectionKeys menu{"Icons.Menu", {}};
        for (const char* key :
             {"sStatusOnline", "sStatusAway", "sStatusDND", "sStatusInvis", "sStatusOffline"})
            menu.keys.push_back({key, K::Icon});
        v.push_back(menu);

        static const char* const kBitmaps[] = {
            "sRegister1",       "sRegister2",       "sRegister3",       "sRegister4",
            "sRegister5",       "sRegister6",       "sRegister7",       "sRegister8",
            "sSearchUser1",     "sSearchUser2",     "sSearchUser3",     "sSearchUser4",
            "sSearchUser5",     "sAddBuddy1",       "sAddBuddy2",       "sAddBuddy3",
            "sAddBuddy4",       "sAddBuddy5",       "sAddBuddy6",       "sAddBuddy7",
            "sAddBuddy8",       "sChangePassword1", "sChangePassword2", "sChangePassword3",
            "sChangePassword4",
        };
        SkinSectionKeys bitmaps{"Bitmaps", {}};
        for (const char* key : kBitmaps)
            bitmaps.keys.push_back({key, K::Bitmap});
        v.push_back(bitmaps);

        v.push_back({"AVIs", {{"sRegisterAVI", K::Movie}, {"sSearchUserAVI", K::Movie}}});
        return v;
    }();
    return sections;
}

const std::vector<const char*>& FixedSkinFiles() {
    static const std::vector<const char*> files{"pageroom.logo0.bmp"};
    return files;
}

}  // namespace ov::skin
