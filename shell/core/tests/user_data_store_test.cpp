// The user's data: the buddy tree and black list as the server's replies build them, kept in
// list.dat and read back, user records in the cache, statuses and counts, names, faces.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <cstring>

#include "platform/com/apartment.h"
#include "platform/com/registration.h"
#include "shell/core/face_catalogue.h"
#include "shell/core/protocol_records.h"
#include "shell/core/tests/tree_nodes.h"
#include "shell/core/user_data_store.h"
#include "shell/testing/temp_home.h"

namespace ov::shell {
namespace {

OV_BUDDY_TREE_NODE Group(quint32 id, const char* name) {
    return testing::GroupNode(id, name);
}

OV_BUDDY_TREE_NODE User(quint32 pin, quint32 group, const char* name, quint32 status = 0,
                        quint32 icon = 0) {
    OV_BUDDY_TREE_NODE n{};
    n.nBuddyNodeID = pin;
    n.nParentBuddyGroupID = group;
    SetText(n.sUserName, QString::fromUtf8(name));
    n.nOnlineStatus = status;
    n.nIcon = icon;
    return n;
}

OV_USER_INFO Info(quint32 pin, const char* name, const char* nick = "", quint32 icon = 0) {
    OV_USER_INFO u{};
    u.nPin = pin;
    SetText(u.sUserName, QString::fromUtf8(name));
    SetText(u.sNickName, QString::fromUtf8(nick));
    u.nIcon = icon;
    return u;
}

QList<quint32> Ids(const QList<BuddyNodeRecord>& records) {
    QList<quint32> ids;
    for (const BuddyNodeRecord& r : records)
        ids << r.node.nBuddyNodeID;
    return ids;
}

class UserDataStoreTest : public ov::testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_EQ(RegisterServerLibrary(GetProgramDirectory() + "OVCache.so"), S_OK);
        dir_ = QString::fromStdString(Home().DataHome()) + "/userdata/alice";
        ASSERT_TRUE(QDir().mkpath(dir_));
        Watch(store_);
        ASSERT_TRUE(store_.Load("alice", dir_, 2));
    }
    void TearDown() override {
        store_.Unload();
        CoUninitialize();
        TempHomeTest::TearDown();
    }
    void Watch(UserDataStore& store) {
        QObject::connect(&store, &UserDataStore::Notified, [this](int code, qint64 value) {
            told_.push_back({code, value});
        });
    }
    QList<int> Codes() const {
        QList<int> codes;
        for (const auto& t : told_)
            codes << t.first;
        return codes;
    }

    QString dir_;
    UserDataStore store_;
    QList<std::pair<int, qint64>> told_;
};

TEST_F(UserDataStoreTest, ATreeInPartsIsTheTreeOfOneReplyAndOnlyAWholeCollectionCounts) {
    const QList<OV_BUDDY_TREE_NODE> all = {Group(2, "同学"), User(10002, 1, "bob"),
                                           User(10003, 2, "carol"), User(10004, 2, "dave")};
    store_.ReplaceBuddyTree(all);
    const QList<quint32> whole = Ids(store_.Buddies());
    ASSERT_EQ(whole, (QList<quint32>{2, 10002, 10003, 10004}));
    store_.ReplaceBuddyTree({});

    told_.clear();
    EXPECT_FALSE(store_.CollectBuddyTree(OV_LISTFLAG_HEAD, {all[0]}));
    EXPECT_FALSE(store_.CollectBuddyTree(OV_LISTFLAG_BODY, {all[1], all[2]}));
    // A damaged part adds nothing and does not end the collection.
    EXPECT_FALSE(store_.CollectBuddyTree(OV_LISTFLAG_BAD, {User(10099, 1, "ghost")}));
    EXPECT_TRUE(store_.Buddies().isEmpty());
    EXPECT_TRUE(store_.CollectBuddyTree(OV_LISTFLAG_TAIL, {all[3]}));
    EXPECT_EQ(Ids(store_.Buddies()), whole);
    EXPECT_TRUE(Codes().contains(kUserDataBuddyTree));
    EXPECT_TRUE(Codes().contains(kUserDataTreeReceived));
    // Nodes arrive with the display words 0 ... 0, -1.
    EXPECT_EQ(store_.Buddies()[1].display[0], 0);
    EXPECT_EQ(store_.Buddies()[1].display[11], -1);

    // A new head discards what was collected; parts without a head make no tree.
    EXPECT_FALSE(store_.CollectBuddyTree(OV_LISTFLAG_HEAD, {User(10050, 1, "old")}));
    EXPECT_FALSE(store_.CollectBuddyTree(OV_LISTFLAG_HEAD, {all[0]}));
    EXPECT_TRUE(store_.CollectBuddyTree(OV_LISTFLAG_TAIL, {all[1]}));
    EXPECT_EQ(Ids(store_.Buddies()), (QList<quint32>{2, 10002}));
    EXPECT_FALSE(store_.CollectBuddyTree(OV_LISTFLAG_TAIL, {all[2]}));
    EXPECT_EQ(Ids(store_.Buddies()), (QList<quint32>{2, 10002}));
    // One ALL reply is whole by itself.
    EXPECT_TRUE(store_.CollectBuddyTree(OV_LISTFLAG_ALL, all));
    EXPECT_EQ(Ids(store_.Buddies()), whole);
}

TEST_F(UserDataStoreTest, TheListsSurviveARestartFromListDat) {
    store_.ReplaceBuddyTree({Group(2, "同事"), User(10002, 2, "bob", OV_ONLINE_STATUS_ONLINE)});
    store_.UpdateUser(Info(10009, "mallory", "坏人", 0x0102));
    store_.ReplaceBlackList({Info(10009, "mallory"), Info(10010, "eve")});
    store_.AddStranger(10020, "路人", 5);
    store_.Unload();
    ASSERT_TRUE(QFile::exists(dir_ + "/list.dat"));
    ASSERT_TRUE(QFile::exists(dir_ + "/cache.dat"));

    UserDataStore again;
    told_.clear();
    Watch(again);
    ASSERT_TRUE(again.Load("alice", dir_, 2));
    EXPECT_EQ(Codes(),
              (QList<int>{kUserDataBuddiesLoaded, kUserDataOthersLoaded, kUserDataCacheReady}));
    EXPECT_EQ(Ids(again.Buddies()), (QList<quint32>{2, 10002}));
    EXPECT_EQ(RecordText(again.FindGroup(2)->node.sDisplayName), "同事");
    // The black list shows the cached nickname where one is known, and carries the icon.
    const QList<OtherUserEntry> black = again.BlackList();
    ASSERT_EQ(black.size(), 2);
    EXPECT_EQ(black[0].displayName, "坏人");
    EXPECT_EQ(black[1].displayName, "eve");
    EXPECT_TRUE(again.IsBlackListed(10010));
    EXPECT_FALSE(again.IsBlackListed(10020));
    EXPECT_EQ(again.Others().size(), 3);
    EXPECT_EQ(again.FindUser(10009)->nIcon, 0x0102u);
    again.Unload();

    // A damaged file leaves the lists empty rather than half read.
    QFile f(dir_ + "/list.dat");
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.resize(f.size() - 3);
    f.close();
    UserDataStore damaged;
    ASSERT_TRUE(damaged.Load("alice", dir_, 2));
    EXPECT_TRUE(damaged.Buddies().isEmpty());
    EXPECT_TRUE(damaged.Others().isEmpty());
}

TEST_F(UserDataStoreTest, UserRecordsMergeAndTheFaceFollowsTheLatestWord) {
    store_.ReplaceBuddyTree({User(10002, 1, "bob", 0, 0x0101)});
    OV_USER_INFO full = Info(10002, "bob", "鲍勃", 0x0101);
    SetText(full.sEMail, "bob@example.org");
    SetText(full.sPassword, "secret");
    store_.UpdateUser(full);
    EXPECT_EQ(told_.back(), (std::pair<int, qint64>{kUserDataUserRecord, 10002}));
    // The password is never written to disk.
    EXPECT_EQ(RecordText(store_.FindUser(10002)->sPassword), "");

    // A record naming only its icon keeps the other fields, and the node takes the icon.
    OV_USER_INFO face{};
    face.nPin = 10002;
    face.nMask = OV_UFLD_ICON;
    face.nIcon = 0x0205;
    store_.UpdateUser(face);
    const OV_USER_INFO merged = *store_.FindUser(10002);
    EXPECT_EQ(RecordText(merged.sEMail), "bob@example.org");
    EXPECT_EQ(RecordText(merged.sNickName), "鲍勃");
    EXPECT_EQ(merged.nIcon, 0x0205u);
    EXPECT_EQ(store_.FindBuddy(10002)->node.nIcon, 0x0205u);
    EXPECT_EQ(store_.IconOf(10002), 0x0205);

    // A new tree from the server decides the face: the cache follows it.
    store_.ReplaceBuddyTree({User(10002, 1, "bob", 0, 0x0103)});
    EXPECT_EQ(store_.FindUser(10002)->nIcon, 0x0103u);
    EXPECT_FALSE(store_.FindUser(10077).has_value());
}

TEST_F(UserDataStoreTest, StatusesReachTheWindowsAndTheCountsChangeOnlyWhenTheyDo) {
    store_.ReplaceBuddyTree({Group(2, "g"), User(10002, 2, "bob"), User(10003, 2, "carol")});
    told_.clear();
    store_.SetBuddyStatus(10002, OV_ONLINE_STATUS_ONLINE);
    store_.SetBuddyStatus(10077, OV_ONLINE_STATUS_ONLINE);  // not a buddy: nothing
    ASSERT_EQ(told_.size(), 1);
    EXPECT_EQ(told_[0], (std::pair<int, qint64>{kUserDataBuddyStatus, 10002}));
    EXPECT_EQ(store_.FindBuddy(10002)->node.nOnlineStatus, OV_ONLINE_STATUS_ONLINE);

    told_.clear();
    store_.Tick();
    EXPECT_EQ(told_, (QList<std::pair<int, qint64>>{{kUserDataListedCount, 2},
                                                    {kUserDataOnlineCount, 1}}));
    told_.clear();
    store_.Tick();
    EXPECT_TRUE(told_.isEmpty());
    store_.SetBuddyStatus(10003, OV_ONLINE_STATUS_AWAY);
    store_.SetBuddyStatus(10002, OV_ONLINE_STATUS_INVISIBLE);
    told_.clear();
    store_.Tick();
    EXPECT_TRUE(told_.isEmpty());  // still one of two online
}

TEST_F(UserDataStoreTest, AnswersToAddRequestsShowOrDropTheWaitingNode) {
    BuddyNodeRecord waiting = BuddyNodeRecord::FromKernel(User(10005, 1, "erin"));
    waiting.display[0] = kBuddyAwaitingAnswer;
    store_.PutNode(waiting);
    BuddyNodeRecord other = BuddyNodeRecord::FromKernel(User(10006, 1, "frank"));
    other.display[0] = kBuddyAwaitingAnswer;
    store_.PutNode(other);

    store_.BuddyAnswered(10005, true);
    EXPECT_EQ(store_.FindBuddy(10005)->display[0], kBuddyShown);
    EXPECT_EQ(told_.back(), (std::pair<int, qint64>{kUserDataBuddyAnswer, 10005}));
    store_.BuddyAnswered(10006, false);
    EXPECT_FALSE(store_.IsBuddy(10006));
    EXPECT_EQ(told_.back(), (std::pair<int, qint64>{kUserDataBuddyAnswer, -10006}));
    // An answer never removes a buddy that was not waiting for it.
    store_.BuddyAnswered(10005, false);
    EXPECT_TRUE(store_.IsBuddy(10005));

    // Removing a group takes its buddies along.
    store_.ReplaceBuddyTree({Group(2, "g"), User(10002, 2, "bob"), User(10003, 1, "carol")});
    store_.RemoveGroup(2);
    EXPECT_EQ(Ids(store_.Buddies()), (QList<quint32>{10003}));
}

TEST_F(UserDataStoreTest, UsersAreNamedByTheirBestKnownName) {
    EXPECT_EQ(ShortUserName("鲍勃", "bob", 10002), "鲍勃");
    EXPECT_EQ(ShortUserName("", "bob", 10002), "[bob]");
    EXPECT_EQ(ShortUserName("", "", 10002), "[10002]");
    EXPECT_EQ(LongUserName("鲍勃", "bob", 10002, false), "鲍勃/bob");
    EXPECT_EQ(LongUserName("鲍勃", "", 10002, false), "鲍勃/10002");
    EXPECT_EQ(LongUserName("鲍勃", "bob", 10002, true), "陌生人/bob");
    EXPECT_EQ(LongUserName("", "", 10002, true), "陌生人/10002");

    OV_BUDDY_TREE_NODE bob = User(10002, 1, "bob");
    SetText(bob.sDisplayName, "鲍勃");
    store_.ReplaceBuddyTree({bob});
    store_.AddStranger(10020, "", 0);
    EXPECT_EQ(store_.DisplayName(10002), "鲍勃");
    EXPECT_EQ(store_.LongName(10002), "鲍勃/bob");
    EXPECT_EQ(store_.DisplayName(10020), "[10020]");
    EXPECT_EQ(store_.LongName(10020), "陌生人/10020");
    EXPECT_EQ(store_.DisplayName(10077), "");
    // A buddy is never also a stranger.
    store_.AddStranger(10002, "x", 0);
    EXPECT_EQ(store_.Others().size(), 1);
}

TEST(FaceCatalogueTest, IconNumbersNameAGroupAndAnItem) {
    FaceCatalogue faces;
    ASSERT_TRUE(faces.Load(QString::fromStdString(GetProgramDirectory())));
    ASSERT_GE(faces.Groups().size(), 2);
    EXPECT_TRUE(faces.FileOf(0x0103).endsWith("face/face03.ico"));
    EXPECT_EQ(faces.Find(0x0103)->name, "丸子头");
    EXPECT_TRUE(faces.FileOf(0x0100).endsWith("face/face00.ico"));
    EXPECT_TRUE(faces.FileOf(0x0202).endsWith("face/animal02.ico"));
    // Outside the catalogue: the closed face.
    EXPECT_EQ(faces.FileOf(0x0150), faces.ClosedFile());
    EXPECT_EQ(faces.FileOf(-1), faces.ClosedFile());
    EXPECT_TRUE(QFile::exists(faces.ClosedFile()));
    EXPECT_FALSE(FaceCatalogue().Load("/nonexistent/"));
}

TEST_F(UserDataStoreTest, TheArchiveOpensWithTheUserAndTellsItsChanges) {
    MessageRecord r;
    r.nPeerNumber = 10002;
    r.nTime = 77;
    r.sText = QStringLiteral("你好");
    told_.clear();
    ASSERT_TRUE(store_.AddMessage(r));
    EXPECT_EQ(told_, (QList<std::pair<int, qint64>>{{kUserDataArchiveNumbers, 10002},
                                                    {kUserDataArchiveMessages, 10002}}));
    EXPECT_TRUE(QFile::exists(dir_ + "/10002.msg"));

    store_.Unload();
    EXPECT_TRUE(store_.ListNumbers().isEmpty());
    ASSERT_TRUE(store_.Load("alice", dir_, 2));
    EXPECT_EQ(store_.ListNumbers(), QList<qint32>{10002});
    EXPECT_EQ(store_.ArchiveFiles(), QStringList{"10002.msg"});
    QList<MessageRecord> list;
    store_.GetMessages(10002, &list);
    EXPECT_EQ(list, QList<MessageRecord>{r});
    ASSERT_EQ(store_.SearchMessages(QStringLiteral("你")).size(), 1);
    EXPECT_EQ(store_.RemoveMessage(10002, 77), 1);
    EXPECT_TRUE(store_.ListNumbers().isEmpty());
}

}  // namespace
}  // namespace ov::shell
