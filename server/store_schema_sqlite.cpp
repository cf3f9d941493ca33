// The tables in SQLite, and bringing an older server's database up to date.
#include "server/sql.h"
#include "server/store_schema.h"

namespace ov::server {

namespace {

const char kSchema[] = R"sql(
CREATE TABLE IF NOT EXISTS users(
  pin INTEGER PRIMARY KEY,
  name BLOB NOT NULL UNIQUE,
  pwhash TEXT NOT NULL,
  nick BLOB NOT NULL DEFAULT x'', first BLOB NOT NULL DEFAULT x'',
  last BLOB NOT NULL DEFAULT x'', email BLOB NOT NULL DEFAULT x'',
  language INTEGER NOT NULL DEFAULT 0, location INTEGER NOT NULL DEFAULT 0,
  age_range INTEGER NOT NULL DEFAULT 0, sex INTEGER NOT NULL DEFAULT 0,
  career INTEGER NOT NULL DEFAULT 0, icon INTEGER NOT NULL DEFAULT 0,
  mode INTEGER NOT NULL DEFAULT 0, age INTEGER NOT NULL DEFAULT 0,
  language1 INTEGER NOT NULL DEFAULT 0, language2 INTEGER NOT NULL DEFAULT 0,
  language3 INTEGER NOT NULL DEFAULT 0,
  email1 BLOB NOT NULL DEFAULT x'', email2 BLOB NOT NULL DEFAULT x'',
  phone BLOB NOT NULL DEFAULT x'', mobile BLOB NOT NULL DEFAULT x'',
  homepage BLOB NOT NULL DEFAULT x'', about BLOB NOT NULL DEFAULT x'',
  terminal INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS buddies(
  owner INTEGER NOT NULL, node INTEGER NOT NULL, parent INTEGER NOT NULL,
  mode INTEGER NOT NULL, display BLOB NOT NULL, UNIQUE(owner, node));
CREATE INDEX IF NOT EXISTS buddies_by_node ON buddies(node);
CREATE TABLE IF NOT EXISTS blacklist(
  owner INTEGER NOT NULL, pin INTEGER NOT NULL, UNIQUE(owner, pin));
CREATE TABLE IF NOT EXISTS messages(
  id INTEGER PRIMARY KEY, to_pin INTEGER NOT NULL, from_pin INTEGER NOT NULL,
  group_type INTEGER NOT NULL, to_id INTEGER NOT NULL, component INTEGER NOT NULL,
  code INTEGER NOT NULL, text BLOB NOT NULL, sent INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS messages_by_recipient ON messages(to_pin);
CREATE TABLE IF NOT EXISTS mailboxes(to_pin INTEGER PRIMARY KEY, waiting INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS stored_by_sender(
  from_pin INTEGER NOT NULL, slot INTEGER NOT NULL, stored INTEGER NOT NULL,
  PRIMARY KEY(from_pin, slot)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS requests(
  from_pin INTEGER NOT NULL, to_pin INTEGER NOT NULL, message BLOB NOT NULL,
  display BLOB NOT NULL, parent INTEGER NOT NULL, mode INTEGER NOT NULL,
  delivered INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(from_pin, to_pin));
CREATE INDEX IF NOT EXISTS requests_by_target ON requests(to_pin);
CREATE TABLE IF NOT EXISTS answers(
  id INTEGER PRIMARY KEY, requester INTEGER NOT NULL, answerer INTEGER NOT NULL,
  accepted INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS answers_by_requester ON answers(requester);
CREATE TABLE IF NOT EXISTS sessions(
  pin INTEGER PRIMARY KEY, login_id INTEGER NOT NULL, ip INTEGER NOT NULL,
  port INTEGER NOT NULL, status INTEGER NOT NULL, terminal INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS taken(
  pin INTEGER NOT NULL, packet_seq INTEGER NOT NULL, fingerprint INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS taken_by_pin ON taken(pin);
)sql";

// Only messages in a mailbox count: not those on their way to a logged-in recipient.
const char kTriggers[] = R"sql(
CREATE TRIGGER IF NOT EXISTS message_kept AFTER INSERT ON messages WHEN new.keep = 1 BEGIN
  INSERT INTO mailboxes(to_pin, waiting) VALUES(new.to_pin, 1)
    ON CONFLICT(to_pin) DO UPDATE SET waiting = waiting + 1;
  INSERT INTO stored_by_sender(from_pin, slot, stored) VALUES(new.from_pin, new.sent / 600, 1)
    ON CONFLICT(from_pin, slot) DO UPDATE SET stored = stored + 1;
  DELETE FROM stored_by_sender WHERE from_pin = new.from_pin AND slot < new.sent / 600 - 144;
END;
CREATE TRIGGER IF NOT EXISTS message_kept_later AFTER UPDATE OF keep ON messages
WHEN old.keep <> 1 AND new.keep = 1 BEGIN
  INSERT INTO mailboxes(to_pin, waiting) VALUES(new.to_pin, 1)
    ON CONFLICT(to_pin) DO UPDATE SET waiting = waiting + 1;
  INSERT INTO stored_by_sender(from_pin, slot, stored) VALUES(new.from_pin, new.sent / 600, 1)
    ON CONFLICT(from_pin, slot) DO UPDATE SET stored = stored + 1;
END;
CREATE TRIGGER IF NOT EXISTS message_gone AFTER DELETE ON messages WHEN old.keep = 1 BEGIN
  UPDATE mailboxes SET waiting = waiting - 1 WHERE to_pin = old.to_pin;
  DELETE FROM mailboxes WHERE to_pin = old.to_pin AND waiting <= 0;
END;
)sql";

// Columns added after the first schema, for databases that lack them.
struct AddedColumn {
    const char* table;
    const char* name;
    const char* definition;
};
const AddedColumn kAddedColumns[] = {
    {"messages", "packet_seq", "INTEGER NOT NULL DEFAULT 0"},
    {"messages", "keep", "INTEGER NOT NULL DEFAULT 1"},
    {"sessions", "process", "INTEGER NOT NULL DEFAULT 0"},
};

}  // namespace

bool CreateSqliteSchema(Database& db, std::string* error) {
    db.Exec("PRAGMA journal_mode=WAL");
    db.Exec("PRAGMA synchronous=NORMAL");
    // A newer server's database is left as it is.
    Statement& version = db.Prepare("PRAGMA user_version");
    int64_t found = version.Step() ? version.Int(0) : 0;
    version.Reset();
    if (found > kSchemaVersion) {
        *error =
            "the database was written by a newer server (schema " + std::to_string(found) + ")";
        return false;
    }
    if (!db.Exec(kSchema)) {
        *error = "cannot create the tables: " + db.LastError();
        return false;
    }
    for (const AddedColumn& c : kAddedColumns) {
        Statement& info = db.Prepare(
            "SELECT COUNT(*) FROM pragma_table_info(CAST(?1 AS TEXT)) WHERE name = CAST(?2 AS "
            "TEXT)");
        info.Bind(1, std::string_view(c.table)).Bind(2, std::string_view(c.name));
        bool present = info.Step() && info.Int(0) > 0;
        info.Reset();
        std::string alter =
            std::string("ALTER TABLE ") + c.table + " ADD COLUMN " + c.name + " " + c.definition;
        if (!present && !db.Exec(alter.c_str())) {
            *error = "cannot add to the tables: " + db.LastError();
            return false;
        }
    }
    if (!db.Exec(kTriggers)) {
        *error = "cannot create the tables: " + db.LastError();
        return false;
    }
    if (found < kSchemaVersion) {
        // Version 1 had no mailbox counts: count what waits.
        Transaction tx(db);
        bool ok = db.Exec(
            "INSERT OR REPLACE INTO mailboxes(to_pin, waiting) "
            "SELECT to_pin, COUNT(*) FROM messages WHERE keep = 1 GROUP BY to_pin");
        ok = ok && db.Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
        if (!ok || !tx.Commit()) {
            *error = "cannot update the tables: " + db.LastError();
            return false;
        }
    }
    return true;
}

}  // namespace ov::server
