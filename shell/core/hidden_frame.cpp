// CHiddenFrame: creation and close, commands, and the kernel events other than the login's.
#include "shell/core/hidden_frame.h"

#include <QMetaObject>
#include <cstring>

#include "common/text_escape.h"
#include "shell/core/commands.h"
#include "shell/core/cp936_text.h"
#include "shell/core/message_archive.h"
#include "shell/core/message_text.h"
#include "shell/core/protocol_records.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

namespace {

constexpr int kSecondMs = 1000;

}  // namespace

CHiddenFrame::CHiddenFrame(OVShellApp& app) : app_(app) {
    Timers& timers = *app_.Desktop().timers;
    trayClickTimer_ = timers.Create([this] { OnTrayClickTimer(); });
    secondTimer_ = timers.Create([this] {
        app_.Pending().Tick();
        app_.UserData().Tick();
    });
    gatewayTimer_ = timers.Create([this] { OnGatewayTimer(); });

    if (IOVService* kernel = app_.Kernel())
        Ok(events_.Connect(kernel), "Advise", __LINE__);
    QObject::connect(&app_.Pending(), &PendingItemQueue::Changed, this,
                     [this](int, int) { OnPendingChanged(); });
    secondTimer_->Start(kSecondMs);

    Tray& tray = *app_.Desktop().tray;
    tray.SetGestures(Tray::Gestures{[this] { OnTrayLeftRelease(); },
                                    [this] { OnTrayDoubleClick(); },
                                    [this] { OnTrayRightRelease(); }});
    ShowNotLoggedIn();
}

CHiddenFrame::~CHiddenFrame() {
    events_.Disconnect();
}

void CHiddenFrame::PostCommand(int id) {
    QMetaObject::invokeMethod(
        this, [this, id] { Command(id); }, Qt::QueuedConnection);
}

void CHiddenFrame::Command(int id) {
    ShellWindows& windows = *app_.Desktop().windows;
    switch (id) {
        case ID_FUNCTION_DO_LOGIN:
            DoLogin();
            break;
        case ID_FUNCTION_RELOGIN:
            windows.OpenLoginDialog();
            break;
        case ID_FUNCTION_REGISTER:
            windows.OpenRegistrationWizard();
            break;
        case ID_FUNCTION_REGISTER_FINISHED:
            // The wizard left the new name in the credentials; the dialog offers it.
            windows.OpenLoginDialog();
            break;
        case ID_APP_EXIT:
            if (app_.Desktop().quit)
                app_.Desktop().quit();
            break;
        case ID_FUNCTION_LOGOUT:
            Logout();
            break;
        case ID_STATUS_ONLINE:
            ChangeStatus(OV_ONLINE_STATUS_ONLINE);
            break;
        case ID_STATUS_AWAY:
            ChangeStatus(OV_ONLINE_STATUS_AWAY);
            break;
        case ID_STATUS_DND:
            ChangeStatus(OV_ONLINE_STATUS_DND);
            break;
        case ID_STATUS_INVISIBLE:
            ChangeStatus(OV_ONLINE_STATUS_INVISIBLE);
            break;
        case ID_STATUS_OFFLINE:
            GoOffline();
            break;
        case ID_FUNCTION_ACTIVE_ORVANE:
        case ID_FUNCTION_SHOW_ORVANE:
            windows.ActivateMainWindow();
            break;
        case ID_FUNCTION_VISIT_WEBSITE:
            app_.Desktop().launcher->OpenUrl(QString::fromLatin1(kHomePage));
            break;
        case ID_FUNCTION_PAGEROOM_BROWSER:
            if (PageroomControl* pageroom = app_.Desktop().pageroom)
                pageroom->StartBrowser();
            break;
        case ID_FUNCTION_SYSTEM_CONFIG:
        case ID_FUNCTION_SEARCH_USER:
        case ID_FUNCTION_SEARCH_USER_BY_STRING:
        case ID_FUNCTION_CHANGE_PASSWORD:
        case ID_FUNCTION_CHANGE_USER_INFO:
        case ID_FUNCTION_MESSAGE_MANAGER:
        case ID_APP_ABOUT:
            windows.OpenWindow(id);
            break;
        default:
            // The ends of dialogs and wizards: their windows have done what they do.
            break;
    }
}

void CHiddenFrame::Close() {
    if (IOVService* kernel = app_.Kernel())
        Ok(kernel->UnadviseAllConnections(), "UnadviseAllConnections", __LINE__);
    events_.Disconnect();
    Logout();
    app_.Desktop().windows->HideStarshelf();
    BrowserMonitor(false);
    trayClickTimer_->Stop();
    secondTimer_->Stop();
    gatewayTimer_->Stop();
    app_.Desktop().tray->Remove();
}

bool CHiddenFrame::Ok(HRESULT hr, const char* call, int line) {
    if (SUCCEEDED(hr))
        return true;
    app_.ReportComponentError(hr, call, __FILE__, line);
    return false;
}

void CHiddenFrame::PlaySound(int id) {
    // Only for a loaded user who wants sounds.
    if (!app_.UserData().Loaded() || !app_.Settings().Loaded() || !app_.Settings().bNotifySound)
        return;
    const QString file = SoundFile(id);
    if (!file.isEmpty())
        app_.Desktop().sounds->Play(id, app_.ProgramDirectory() + "sound/" + file);
}

void CHiddenFrame::BrowserMonitor(bool run) {
    if (PageroomControl* pageroom = app_.Desktop().pageroom)
        pageroom->Run(run);
}

void CHiddenFrame::OnRequestUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                          std::string_view varUserInfo) {
    if (nCmdSeqNum == pendingOwnInfo_)
        pendingOwnInfo_ = 0;
    // Every window's answer lands in the cache, whoever asked.
    if (eError == OV_ERR_NONE)
        app_.UserData().UpdateUser(RecordOf<OV_USER_INFO>(varUserInfo));
}

void CHiddenFrame::OnRequestBuddyTreeReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nCount,
                                           std::string_view varBuddiesInfo) {
    if (nCmdSeqNum == pendingBuddyTree_)
        TreeDownloaded();
    if (eError != OV_ERR_NONE) {
        app_.Desktop().prompts->Message(QStringLiteral("刷新好友失败!"),
                                        QStringLiteral("Orvane提示"), Prompts::Icon::Warning);
        return;  // the old tree stays
    }
    app_.UserData().ReplaceBuddyTree(RecordsOf<OV_BUDDY_TREE_NODE>(varBuddiesInfo, nCount));
}

void CHiddenFrame::OnRequestBuddyTreeReply2(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG,
                                            OVListFlagEnum eListFlag, LONG nCount,
                                            std::string_view varBuddiesInfo) {
    if (eError != OV_ERR_NONE) {
        // Nothing more comes for this request: the wait ends and the old tree stays.
        if (nCmdSeqNum == pendingBuddyTree_) {
            TreeDownloaded();
            app_.Desktop().prompts->Message(QStringLiteral("刷新好友失败!"),
                                            QStringLiteral("Orvane提示"), Prompts::Icon::Warning);
        }
        return;
    }
    const bool complete = app_.UserData().CollectBuddyTree(
        eListFlag, RecordsOf<OV_BUDDY_TREE_NODE>(varBuddiesInfo, nCount));
    if (complete && nCmdSeqNum == pendingBuddyTree_)
        TreeDownloaded();
}

void CHiddenFrame::TreeDownloaded() {
    pendingBuddyTree_ = 0;
    app_.Desktop().windows->ShowTreeProgress(false);
}

void CHiddenFrame::OnRequestBlackListReply(LONG, OVErrorCodeEnum eError, LONG nCount,
                                           std::string_view varUsersInfo) {
    if (eError == OV_ERR_NONE)
        app_.UserData().ReplaceBlackList(RecordsOf<OV_USER_INFO>(varUsersInfo, nCount));
}

void CHiddenFrame::OnRequestBlackListReply2(LONG, OVErrorCodeEnum eError, LONG,
                                            OVListFlagEnum eListFlag, LONG nCount,
                                            std::string_view varUsersInfo) {
    if (eError == OV_ERR_NONE)
        app_.UserData().CollectBlackList(eListFlag, RecordsOf<OV_USER_INFO>(varUsersInfo, nCount));
}

void CHiddenFrame::OnAddUserToBuddyTreeReply(LONG, OVErrorCodeEnum eError, LONG) {
    if (eError == OV_ERR_NONE)
        RefreshBuddyTree();
}

// A new buddy's node carries no status of its own: the server's tree has it.
void CHiddenFrame::RefreshBuddyTree() {
    IOVService* kernel = app_.Kernel();
    LONG seq = 0;
    if (kernel && loggedInServer_)
        Ok(kernel->RequestBuddyTree2(&seq), "RequestBuddyTree2", __LINE__);
}

void CHiddenFrame::OnBuddyStatusChanged(LONG nPin, LONG nNewStatus) {
    app_.UserData().SetBuddyStatus(nPin, nNewStatus);
    PlaySound(nNewStatus == OV_ONLINE_STATUS_OFFLINE ? kSoundBuddyOffline : kSoundBuddyOnline);
}

void CHiddenFrame::OnUserMessageReceived(LONG nFromPin, LONG, LONG nComponentID,
                                         LONG nComponentCode, std::string_view varMessage,
                                         LONG nSentTime) {
    if (nComponentID == OV_COMPONENT_CHAT) {
        ChatRequestReceived(nFromPin, nComponentCode, varMessage);
        return;
    }
    if (nComponentID != OV_COMPONENT_MESSAGER || varMessage.empty())
        return;
    const qint32 from = static_cast<qint32>(nFromPin);
    UserDataStore& data = app_.UserData();
    const bool buddy = data.IsBuddy(from);
    if (!buddy && !data.HasUserRecord(from)) {
        // A stranger: the cache learns the name, so the message is not from a bare number.
        IOVService* kernel = app_.Kernel();
        LONG seq = 0;
        if (kernel && loggedInServer_)
            Ok(kernel->RequestUserInfo(nFromPin, nullptr, &seq), "RequestUserInfo", __LINE__);
    }
    if (!buddy)
        data.AddStranger(from, data.DisplayName(from), data.IconOf(from));
    MessageRecord record = RecordOf(
        ParseMessage(QByteArrayView(varMessage.data(), qsizetype(varMessage.size()))),
        buddy ? kMessageReceived : kMessageReceivedOther, from, static_cast<qint32>(nSentTime));
    record.sPeerName = data.DisplayName(from);
    QueueMessage(record, app_.Settings().bAutoPopUserMsg != 0);
    // Component code 1 marks an automatic answer: two clients never answer each other.
    if (nComponentCode != 1)
        SendLeaveWord(nFromPin);
    PlaySound(kSoundUserMessage);
}

void CHiddenFrame::OnUserSystemMessageReceived(LONG, LONG, LONG, std::string_view varMessage,
                                               LONG nSentTime) {
    if (varMessage.empty())
        return;
    MessageRecord record =
        RecordOf(ParseMessage(QByteArrayView(varMessage.data(), qsizetype(varMessage.size()))),
                 kMessageReceived, kSystemMessagePeer, static_cast<qint32>(nSentTime));
    record.sPeerName = QStringLiteral("系统");
    QueueMessage(record, app_.Settings().bAutoPopSystemMsg != 0);
    PlaySound(kSoundSystemMessage);
}

// The message waits in the queue; the receive window takes it (and archives it) when shown.
void CHiddenFrame::QueueMessage(const MessageRecord& record, bool popUp) {
    PendingItem item = PendingItem::Message(record.nPeerNumber, record);
    item.nTime = record.nTime;
    PendingItemQueue& queue = app_.Pending();
    queue.Add(item);
    ShellWindows& windows = *app_.Desktop().windows;
    if (popUp) {
        if (std::optional<PendingItem> taken =
                queue.Take(kPendingMessage, record.nPeerNumber, true))
            windows.OpenPendingItem(*taken);
        return;
    }
    if (Notifier* notifier = app_.Desktop().notifier) {
        const QString firstLine = record.sText.section(QLatin1Char('\n'), 0, 0);
        notifier->Notify(Announce(item).tip.trimmed(), firstLine);
    }
}

// A chat request for which no chat window is open waits as a pending item; an open window
// answers it itself, and every other chat message belongs to the windows.
void CHiddenFrame::ChatRequestReceived(LONG fromPin, LONG code, std::string_view text) {
    constexpr LONG kChatKindMask = 0xF0000;
    constexpr LONG kChatRequest = 0x20000;
    if ((code & kChatKindMask) != kChatRequest ||
        app_.Desktop().windows->ChatOpenWith(static_cast<qint32>(fromPin)))
        return;
    const PendingItem item = PendingItem::ChatRequest(
        static_cast<qint32>(fromPin),
        UnescapedBody(QByteArrayView(text.data(), qsizetype(text.size()))), code & 0xFFFF);
    app_.Pending().Add(item);
    if (Notifier* notifier = app_.Desktop().notifier)
        notifier->Notify(Announce(item).tip.trimmed(), item.text.section(QLatin1Char('\n'), 0, 0));
    PlaySound(kSoundUserMessage);
}

void CHiddenFrame::SendLeaveWord(LONG toPin) {
    const UserSettings& settings = app_.Settings();
    IOVService* kernel = app_.Kernel();
    if (!kernel || !loggedInServer_ || !settings.bLeaveWordOffline ||
        settings.sLeaveWordOffline.isEmpty() || status_ != OV_ONLINE_STATUS_AWAY)
        return;
    CByteArrayVariant text(EscapeText(ToCp936(settings.sLeaveWordOffline)));
    LONG seq = 0;
    Ok(kernel->SendToUser(toPin, OV_MSGT_SAVE, OV_COMPONENT_MESSAGER, 1, text.Variant(), &seq),
       "SendToUser", __LINE__);
}

void CHiddenFrame::OnAddBuddyRequest(std::string_view varRequestMessage,
                                     std::string_view varUserInfo) {
    const OV_USER_INFO u = RecordOf<OV_USER_INFO>(varUserInfo);
    app_.Pending().Add(
        PendingItem::BuddyRequest(static_cast<qint32>(u.nPin), FromCp936(varRequestMessage),
                                  RecordText(u.sUserName), static_cast<qint32>(u.nIcon)));
    PlaySound(kSoundBuddyRequest);
}

void CHiddenFrame::OnAddBuddyAccept(OVBuddyAcceptEnum eBuddyAccept, std::string_view varUserInfo) {
    const OV_USER_INFO u = RecordOf<OV_USER_INFO>(varUserInfo);
    if (u.nPin != 0) {
        app_.UserData().UpdateUser(u);
        app_.UserData().BuddyAnswered(static_cast<qint32>(u.nPin), eBuddyAccept == OV_BUDDY_ACCEPT);
        if (eBuddyAccept == OV_BUDDY_ACCEPT)
            RefreshBuddyTree();
    }
    PlaySound(eBuddyAccept == OV_BUDDY_ACCEPT ? kSoundBuddyAccept : kSoundBuddyDeny);
}

void CHiddenFrame::OnAddBuddyNotice(std::string_view varUserInfo) {
    const OV_USER_INFO u = RecordOf<OV_USER_INFO>(varUserInfo);
    if (u.nPin != 0)
        app_.UserData().UpdateUser(u);
    PlaySound(kSoundBuddyAccept);
}

void CHiddenFrame::OnPTPConnectionRequest(LONG nFromPin, std::string_view, std::string_view,
                                          LONG nComponentID, LONG, LONG nFromIP, LONG nFromPort,
                                          std::string_view varRequestMessage) {
    const QString text = FromCp936(varRequestMessage);
    if (nComponentID == OV_COMPONENT_FILE) {
        const PendingItem item = PendingItem::FileOffer(nFromPin, text, nFromIP, nFromPort);
        app_.Pending().Add(item);
        if (Notifier* notifier = app_.Desktop().notifier)
            notifier->Notify(Announce(item).tip.trimmed(), text);
    } else {
        app_.Pending().Add(PendingItem::ChatRequest(nFromPin, text, nComponentID));
    }
    PlaySound(kSoundFile);
}

}  // namespace ov::shell
