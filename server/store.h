// What the server keeps across restarts, in SQLite or PostgreSQL: accounts (with salted
// password hashes),
// buddy trees, black lists, messages waiting for offline users, and add-buddy requests and
// answers waiting for delivery. Texts are the protocol's bytes, stored and compared as such.
// Used from the server's one thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/endpoint.h"
#include "server/sql.h"

namespace ov::server {

struct UserRecord {
    uint32_t pin = 0;
    std::string userName, nickName, firstName, lastName, email;
    uint16_t language = 0;
    uint32_t location = 0;
    uint8_t ageRange = 0, sex = 0, career = 0;
    uint32_t icon = 0;
    uint32_t mode = 0;
    uint16_t age = 0, language1 = 0, language2 = 0, language3 = 0;
    std::string email1, email2, phone, mobile, homepage, about;
    uint32_t terminal = 0;  // terminal ID of the latest login
};

struct BuddyNode {
    uint32_t id = 0;  // below 1000 a buddy group, else a user's PIN
    uint32_t parent = 0;
    uint32_t mode = 0;
    std::string displayName;
    bool IsGroup() const;
};

struct StoredMessage {
    int64_t id = 0;
    uint32_t toPin = 0;
    uint32_t fromPin = 0;
    uint16_t groupType = 0;
    uint32_t toId = 0;
    uint32_t componentId = 0;
    uint32_t componentCode = 0;
    std::string text;
    uint32_t sentTime = 0;
    // The server packet number its delivery went out with (0: not sent yet): a delivery
    // after a restart uses it again, so that a client that had it drops the copy.
    uint32_t packetSeq = 0;
    // Where it stands: waiting in the recipient's mailbox (counted by the quotas), or on its
    // way to a logged-in recipient and then gone, or kept when undelivered.
    static constexpr uint8_t kWhileOnItsWay = 0;
    static constexpr uint8_t kInMailbox = 1;
    static constexpr uint8_t kUntilDelivered = 2;
    uint8_t keep = kInMailbox;
};

// A logged-in session as it outlives a restart of the server.
struct SessionRecord {
    uint32_t pin = 0;
    uint32_t loginId = 0;
    Endpoint endpoint;
    uint32_t status = 0;
    uint32_t terminal = 0;
    // The server serving it, among several on one database (0: a server alone).
    uint64_t process = 0;
};

// A user in a group, as servers sharing a database keep it for each other.
struct GroupMembership {
    uint32_t group = 0;
    uint16_t type = 0;
    std::string name;
    uint32_t pin = 0;
    bool unseen = false;  // entered invisible: the others were not told
    uint64_t process = 0;
};

// A command a session has had executed, kept so that its retransmission after a restart is
// still recognised: its packet number and the fingerprint of its bytes.
struct TakenCommand {
    uint32_t packetSeq = 0;
    uint32_t fingerprint = 0;
};

struct BuddyRequest {
    uint32_t fromPin = 0;  // who asks
    uint32_t toPin = 0;    // whose authorisation is asked
    std::string message;
    // How the requester wants the node once accepted.
    std::string displayName;
    uint32_t parent = 0;
    uint32_t mode = 0;
};

struct BuddyAnswer {
    int64_t id = 0;
    uint32_t requesterPin = 0;
    uint32_t answererPin = 0;
    bool accepted = false;
};

// Criteria of a user search; a text or number counts only with its bit in mask.
struct SearchQuery {
    uint32_t viewer = 0;  // who searches: hidden details match only for the user's buddies
    uint32_t mask = 0;
    uint32_t pin = 0;
    std::string userName, nickName, firstName, lastName, email;
    uint16_t language = 0;
    uint32_t location = 0;
    uint8_t ageRange = 0, sex = 0, career = 0;
};

class Store {
public:
    static constexpr uint32_t kFirstPin = 10001;
    static constexpr uint32_t kDefaultBuddyGroup = 1;

    // A SQLite file, ":memory:" for a database that lives as long as the object, or a
    // PostgreSQL URL ("postgresql://..."), where several servers may share the database.
    static std::unique_ptr<Store> Open(const std::string& path, std::string* error);

    // Accounts. CreateUser assigns the next PIN and, when the record has no user name, the
    // PIN in decimal as the name; 0 when the name is taken or the database fails.
    uint32_t CreateUser(UserRecord* user, const std::string& passwordHash);
    std::optional<UserRecord> FindUser(uint32_t pin);
    std::optional<UserRecord> FindUserByName(const std::string& userName);
    bool UserNameExists(const std::string& userName);
    std::string PasswordHash(uint32_t pin);
    bool SetPasswordHash(uint32_t pin, const std::string& hash);
    // Replaces the profile fields (not the name, password or terminal).
    bool UpdateProfile(const UserRecord& user);
    bool SetTerminal(uint32_t pin, uint32_t terminal);
    // PINs matching every criterion, in PIN order, from offset on, at most limit of them;
    // *more tells whether further matches exist.
    std::vector<uint32_t> Search(const SearchQuery& query, size_t offset, size_t limit, bool* more);

    // Buddy trees: groups first, then users, each in the order they were added.
    std::vector<BuddyNode> BuddyTree(uint32_t owner);
    std::optional<BuddyNode> FindBuddyNode(uint32_t owner, uint32_t id);
    size_t BuddyNodeCount(uint32_t owner);
    // Adds the node, or changes it in place when the owner has it already.
    bool PutBuddyNode(uint32_t owner, const BuddyNode& node);
    // Removes nodes; users of a removed group move to the default group 1.
    bool RemoveBuddyNodes(uint32_t owner, const std::vector<uint32_t>& ids);
    bool InBuddyTree(uint32_t owner, uint32_t pin);
    // Owners whose tree holds this user.
    std::vector<uint32_t> Watchers(uint32_t pin);

    // Black lists.
    std::vector<uint32_t> BlackList(uint32_t owner);
    bool IsBlackListed(uint32_t owner, uint32_t pin);
    size_t BlackListCount(uint32_t owner);
    bool AddToBlackList(uint32_t owner, uint32_t pin);
    bool RemoveFromBlackList(uint32_t owner, uint32_t pin);

    // Messages waiting for their recipient, oldest first: those after the message afterId, at
    // most limit of them.
    int64_t SaveMessage(const StoredMessage& message);
    std::vector<StoredMessage> MessagesFor(uint32_t toPin, int64_t afterId = 0,
                                           size_t limit = SIZE_MAX);
    std::optional<StoredMessage> FindMessage(int64_t id);
    bool DeleteMessage(int64_t id);
    // Quotas, from counts kept as messages come and go (no scan of the messages): how many
    // wait for a user, and how many a sender has had stored since a wall-clock second (to
    // ten minutes before it; counts older than a day are not kept).
    size_t WaitingCount(uint32_t toPin);
    size_t StoredSince(uint32_t fromPin, uint32_t sinceSeconds);

    // Add-buddy requests: one per (requester, target), kept until answered. Delivered marks
    // those the target's client has acknowledged.
    bool PutRequest(const BuddyRequest& request);
    std::optional<BuddyRequest> FindRequest(uint32_t fromPin, uint32_t toPin);
    std::vector<BuddyRequest> UndeliveredRequestsFor(uint32_t toPin);
    bool MarkRequestDelivered(uint32_t fromPin, uint32_t toPin);
    bool DeleteRequest(uint32_t fromPin, uint32_t toPin);
    // Answers waiting for the requester.
    int64_t SaveAnswer(const BuddyAnswer& answer);
    std::vector<BuddyAnswer> AnswersFor(uint32_t requesterPin);
    bool DeleteAnswer(int64_t id);

    // Sessions and the commands they have had executed (store_sessions.cpp).
    bool SaveSession(const SessionRecord& session);
    bool SetSessionStatus(uint32_t pin, uint32_t status);
    // Removes the session and its taken commands.
    bool DeleteSession(uint32_t pin);
    std::vector<SessionRecord> Sessions();
    bool SaveTakenCommand(uint32_t pin, const TakenCommand& command);
    // The latest `limit` of them, newest first.
    std::vector<TakenCommand> TakenCommands(uint32_t pin, size_t limit);
    bool SetDeliveryPacket(int64_t messageId, uint32_t packetSeq);
    // An undelivered message on its way joins its recipient's mailbox.
    bool KeepMessage(int64_t messageId);

    // Servers sharing the database (store_cluster.cpp; PostgreSQL only).
    // Shows this process alive, by its connection, for as long as the connection lasts.
    bool RegisterProcess(uint64_t process);
    // Processes whose connection is gone, forgotten along with their sessions.
    std::vector<uint64_t> TakeDeadProcesses(uint64_t self);
    // The ID of a group name, the same for every server; 0 when the database fails.
    uint32_t GroupId(uint16_t type, const std::string& name);
    // Members of groups, written by the server of their session.
    bool AddGroupMember(uint64_t process, const GroupMembership& m);
    bool RemoveGroupMember(uint64_t process, uint32_t group, uint32_t pin);
    // Of every server, in the order they entered.
    std::vector<GroupMembership> GroupMembers();

    Database& Db() { return *db_; }

private:
    explicit Store(std::unique_ptr<Database> db) : db_(std::move(db)) {}
    std::unique_ptr<Database> db_;
};

}  // namespace ov::server
