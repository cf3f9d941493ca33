// What waits for a user who is offline: messages, add-buddy requests and their answers.
#include "server/store.h"

namespace ov::server {

namespace {
// The id an INSERT ... RETURNING id gave its row; 0 when it failed.
int64_t InsertedId(Statement& s) {
    int64_t id = s.Step() ? s.Int(0) : 0;
    s.Reset();
    return id;
}
}  // namespace

int64_t Store::SaveMessage(const StoredMessage& m) {
    Statement& s = db_->Prepare(
        "INSERT INTO messages(to_pin, from_pin, group_type, to_id, component, code, text, sent, "
        "packet_seq, keep) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10) RETURNING id");
    s.Bind(1, m.toPin)
        .Bind(2, m.fromPin)
        .Bind(3, m.groupType)
        .Bind(4, m.toId)
        .Bind(5, m.componentId)
        .Bind(6, m.componentCode)
        .Bind(7, m.text)
        .Bind(8, m.sentTime)
        .Bind(9, m.packetSeq)
        .Bind(10, int64_t{m.keep});
    return InsertedId(s);
}

namespace {
constexpr const char* kMessageColumns =
    "id, to_pin, from_pin, group_type, to_id, component, code, text, sent, packet_seq, keep";

StoredMessage ReadMessage(const Statement& s) {
    StoredMessage m;
    m.id = s.Int(0);
    m.toPin = static_cast<uint32_t>(s.Int(1));
    m.fromPin = static_cast<uint32_t>(s.Int(2));
    m.groupType = static_cast<uint16_t>(s.Int(3));
    m.toId = static_cast<uint32_t>(s.Int(4));
    m.componentId = static_cast<uint32_t>(s.Int(5));
    m.componentCode = static_cast<uint32_t>(s.Int(6));
    m.text = s.Bytes(7);
    m.sentTime = static_cast<uint32_t>(s.Int(8));
    m.packetSeq = static_cast<uint32_t>(s.Int(9));
    m.keep = static_cast<uint8_t>(s.Int(10));
    return m;
}

const std::string kMessagesFor =
    std::string("SELECT ") + kMessageColumns +
    " FROM messages WHERE to_pin = ?1 AND id > ?2 ORDER BY id LIMIT ?3";
const std::string kMessageById =
    std::string("SELECT ") + kMessageColumns + " FROM messages WHERE id = ?1";
}  // namespace

std::vector<StoredMessage> Store::MessagesFor(uint32_t toPin, int64_t afterId, size_t limit) {
    Statement& s = db_->Prepare(kMessagesFor.c_str());
    s.Bind(1, toPin).Bind(2, afterId);
    s.Bind(3, limit >= size_t{INT64_MAX} ? INT64_MAX : static_cast<int64_t>(limit));
    std::vector<StoredMessage> out;
    while (s.Step())
        out.push_back(ReadMessage(s));
    s.Reset();
    return out;
}

std::optional<StoredMessage> Store::FindMessage(int64_t id) {
    Statement& s = db_->Prepare(kMessageById.c_str());
    s.Bind(1, id);
    std::optional<StoredMessage> m;
    if (s.Step())
        m = ReadMessage(s);
    s.Reset();
    return m;
}

bool Store::KeepMessage(int64_t id) {
    Statement& s = db_->Prepare("UPDATE messages SET keep = ?2 WHERE id = ?1");
    s.Bind(1, id).Bind(2, int64_t{StoredMessage::kInMailbox});
    return s.Run();
}

bool Store::DeleteMessage(int64_t id) {
    Statement& s = db_->Prepare("DELETE FROM messages WHERE id = ?1");
    s.Bind(1, id);
    return s.Run();
}

size_t Store::WaitingCount(uint32_t toPin) {
    Statement& s = db_->Prepare("SELECT waiting FROM mailboxes WHERE to_pin = ?1");
    s.Bind(1, toPin);
    int64_t n = s.Step() ? s.Int(0) : 0;
    s.Reset();
    return n > 0 ? static_cast<size_t>(n) : 0;
}

size_t Store::StoredSince(uint32_t fromPin, uint32_t sinceSeconds) {
    // The slots are the ten minutes of the message's time stamp (see the schema).
    Statement& s = db_->Prepare(
        "SELECT CAST(COALESCE(SUM(stored), 0) AS BIGINT) FROM stored_by_sender WHERE from_pin = ?1 "
        "AND slot >= ?2");
    s.Bind(1, fromPin).Bind(2, sinceSeconds / 600);
    int64_t n = s.Step() ? s.Int(0) : 0;
    s.Reset();
    return n > 0 ? static_cast<size_t>(n) : 0;
}

bool Store::PutRequest(const BuddyRequest& r) {
    Statement& s = db_->Prepare(
        "INSERT INTO requests(from_pin, to_pin, message, display, parent, mode, delivered) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, 0) ON CONFLICT(from_pin, to_pin) DO UPDATE SET "
        "message = excluded.message, display = excluded.display, parent = excluded.parent, "
        "mode = excluded.mode, delivered = 0");
    s.Bind(1, r.fromPin)
        .Bind(2, r.toPin)
        .Bind(3, r.message)
        .Bind(4, r.displayName)
        .Bind(5, r.parent)
        .Bind(6, r.mode);
    return s.Run();
}

namespace {
BuddyRequest ReadRequest(const Statement& s) {
    BuddyRequest r;
    r.fromPin = static_cast<uint32_t>(s.Int(0));
    r.toPin = static_cast<uint32_t>(s.Int(1));
    r.message = s.Bytes(2);
    r.displayName = s.Bytes(3);
    r.parent = static_cast<uint32_t>(s.Int(4));
    r.mode = static_cast<uint32_t>(s.Int(5));
    return r;
}
}  // namespace

std::optional<BuddyRequest> Store::FindRequest(uint32_t fromPin, uint32_t toPin) {
    Statement& s = db_->Prepare(
        "SELECT from_pin, to_pin, message, display, parent, mode FROM requests "
        "WHERE from_pin = ?1 AND to_pin = ?2");
    s.Bind(1, fromPin).Bind(2, toPin);
    std::optional<BuddyRequest> r;
    if (s.Step())
        r = ReadRequest(s);
    s.Reset();
    return r;
}

std::vector<BuddyRequest> Store::UndeliveredRequestsFor(uint32_t toPin) {
    Statement& s = db_->Prepare(
        "SELECT from_pin, to_pin, message, display, parent, mode FROM requests "
        "WHERE to_pin = ?1 AND delivered = 0 ORDER BY rowid");
    s.Bind(1, toPin);
    std::vector<BuddyRequest> out;
    while (s.Step())
        out.push_back(ReadRequest(s));
    s.Reset();
    return out;
}

bool Store::MarkRequestDelivered(uint32_t fromPin, uint32_t toPin) {
    Statement& s =
        db_->Prepare("UPDATE requests SET delivered = 1 WHERE from_pin = ?1 AND to_pin = ?2");
    s.Bind(1, fromPin).Bind(2, toPin);
    return s.Run();
}

bool Store::DeleteRequest(uint32_t fromPin, uint32_t toPin) {
    Statement& s = db_->Prepare("DELETE FROM requests WHERE from_pin = ?1 AND to_pin = ?2");
    s.Bind(1, fromPin).Bind(2, toPin);
    return s.Run();
}

int64_t Store::SaveAnswer(const BuddyAnswer& a) {
    Statement& s = db_->Prepare(
        "INSERT INTO answers(requester, answerer, accepted) VALUES(?1, ?2, ?3) RETURNING id");
    s.Bind(1, a.requesterPin).Bind(2, a.answererPin).Bind(3, int64_t{a.accepted});
    return InsertedId(s);
}

std::vector<BuddyAnswer> Store::AnswersFor(uint32_t requesterPin) {
    Statement& s = db_->Prepare(
        "SELECT id, requester, answerer, accepted FROM answers WHERE requester = ?1 ORDER BY id");
    s.Bind(1, requesterPin);
    std::vector<BuddyAnswer> out;
    while (s.Step()) {
        out.push_back(BuddyAnswer{s.Int(0), static_cast<uint32_t>(s.Int(1)),
                                  static_cast<uint32_t>(s.Int(2)), s.Int(3) != 0});
    }
    s.Reset();
    return out;
}

bool Store::DeleteAnswer(int64_t id) {
    Statement& s = db_->Prepare("DELETE FROM answers WHERE id = ?1");
    s.Bind(1, id);
    return s.Run();
}

}  // namespace ov::server
