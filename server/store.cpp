// Opening the database, its schema, and the accounts.
#include "server/store.h"

#include "server/postgres.h"
#include "server/sqlite.h"
#include "server/store_schema.h"

#include <string>

namespace ov::server {

namespace {

const char kUserColumns[] =
    "pin, name, nick, first, last, email, language, location, age_range, sex, career, icon, "
    "mode, age, language1, language2, language3, email1, email2, phone, mobile, homepage, "
    "about, terminal";

UserRecord ReadUser(const Statement& s) {
    UserRecord u;
    u.pin = static_cast<uint32_t>(s.Int(0));
    u.userName = s.Bytes(1);
    u.nickName = s.Bytes(2);
    u.firstName = s.Bytes(3);
    u.lastName = s.Bytes(4);
    u.email = s.Bytes(5);
    u.language = static_cast<uint16_t>(s.Int(6));
    u.location = static_cast<uint32_t>(s.Int(7));
    u.ageRange = static_cast<uint8_t>(s.Int(8));
    u.sex = static_cast<uint8_t>(s.Int(9));
    u.career = static_cast<uint8_t>(s.Int(10));
    u.icon = static_cast<uint32_t>(s.Int(11));
    u.mode = static_cast<uint32_t>(s.Int(12));
    u.age = static_cast<uint16_t>(s.Int(13));
    u.language1 = static_cast<uint16_t>(s.Int(14));
    u.language2 = static_cast<uint16_t>(s.Int(15));
    u.language3 = static_cast<uint16_t>(s.Int(16));
    u.email1 = s.Bytes(17);
    u.email2 = s.Bytes(18);
    u.phone = s.Bytes(19);
    u.mobile = s.Bytes(20);
    u.homepage = s.Bytes(21);
    u.about = s.Bytes(22);
    u.terminal = static_cast<uint32_t>(s.Int(23));
    return u;
}

const std::string kSelectByPin =
    std::string("SELECT ") + kUserColumns + " FROM users WHERE pin = ?1";
const std::string kSelectByName =
    std::string("SELECT ") + kUserColumns + " FROM users WHERE name = ?1";

// Users who hide their details (mode 8) are found by first and last name and e-mail only by
// themselves (?25) and those in their buddy tree: otherwise substring probes spell the names
// out. A hidden e-mail address (mode 16) finds nobody: it would tell whose address it is.
const std::string kDetailsOpen =
    "((mode & 8) = 0 OR pin = ?25 OR "
    "EXISTS(SELECT 1 FROM buddies WHERE owner = users.pin AND node = ?25))";
const std::string kSearch =
    "SELECT pin FROM users WHERE "
    "(?1 = 0 OR pin = ?2) AND (?3 = 0 OR name = ?4) AND (?5 = 0 OR instr(nick, ?6) > 0) "
    "AND (?7 = 0 OR (instr(first, ?8) > 0 AND " +
    kDetailsOpen +
    ")) "
    "AND (?9 = 0 OR (instr(last, ?10) > 0 AND " +
    kDetailsOpen +
    ")) "
    "AND (?11 = 0 OR (email = ?12 AND (mode & 16) = 0 AND " +
    kDetailsOpen +
    ")) "
    "AND (?13 = 0 OR language = ?14) AND (?15 = 0 OR location = ?16) "
    "AND (?17 = 0 OR age_range = ?18) AND (?19 = 0 OR sex = ?20) AND (?21 = 0 OR career = ?22) "
    "ORDER BY pin LIMIT ?23 OFFSET ?24";

}  // namespace

bool BuddyNode::IsGroup() const {
    return id < 1000;
}

std::unique_ptr<Store> Store::Open(const std::string& path, std::string* error) {
    std::unique_ptr<Database> db;
    if (IsPostgresUrl(path))
        db = PostgresDatabase::Open(path, error);
    else
        db = SqliteDatabase::Open(path, error);
    if (!db)
        return nullptr;
    bool ready = db->Engine() == Database::Kind::kPostgres ? CreatePostgresSchema(*db, error)
                                                           : CreateSqliteSchema(*db, error);
    if (!ready)
        return nullptr;
    return std::unique_ptr<Store>(new Store(std::move(db)));
}

uint32_t Store::CreateUser(UserRecord* user, const std::string& passwordHash) {
    Transaction tx(*db_);
    if (db_->Engine() == Database::Kind::kPostgres) {
        // Servers sharing the database take the next PIN one at a time (a registration that
        // lost the race would lose it again and again to a busy neighbour).
        Statement& turn = db_->Prepare("SELECT pg_advisory_xact_lock(7360290319)");
        if (!turn.Run())
            return 0;
    }
    Statement& next = db_->Prepare("SELECT COALESCE(MAX(pin), ?1) + 1 FROM users");
    next.Bind(1, int64_t{kFirstPin} - 1);
    if (!next.Step())
        return 0;
    int64_t pin = next.Int(0);
    next.Reset();
    if (pin > UINT32_MAX)
        return 0;
    if (user->userName.empty())
        user->userName = std::to_string(pin);
    Statement& insert = db_->Prepare(
        "INSERT INTO users(pin, name, pwhash, nick, first, last, email, language, location, "
        "age_range, sex, career, icon, mode) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)");
    insert.Bind(1, pin)
        .Bind(2, user->userName)
        .BindText(3, passwordHash)
        .Bind(4, user->nickName)
        .Bind(5, user->firstName)
        .Bind(6, user->lastName)
        .Bind(7, user->email)
        .Bind(8, user->language)
        .Bind(9, user->location)
        .Bind(10, user->ageRange)
        .Bind(11, user->sex)
        .Bind(12, user->career)
        .Bind(13, user->icon)
        .Bind(14, user->mode);
    if (!insert.Run())
        return 0;
    if (!tx.Commit())
        return 0;
    user->pin = static_cast<uint32_t>(pin);
    return user->pin;
}

std::optional<UserRecord> Store::FindUser(uint32_t pin) {
    Statement& s = db_->Prepare(kSelectByPin.c_str());
    s.Bind(1, pin);
    if (!s.Step())
        return std::nullopt;
    UserRecord u = ReadUser(s);
    s.Reset();
    return u;
}

std::optional<UserRecord> Store::FindUserByName(const std::string& userName) {
    Statement& s = db_->Prepare(kSelectByName.c_str());
    s.Bind(1, userName);
    if (!s.Step())
        return std::nullopt;
    UserRecord u = ReadUser(s);
    s.Reset();
    return u;
}

bool Store::UserNameExists(const std::string& userName) {
    Statement& s = db_->Prepare("SELECT 1 FROM users WHERE name = ?1");
    s.Bind(1, userName);
    bool found = s.Step();
    s.Reset();
    return found;
}

std::string Store::PasswordHash(uint32_t pin) {
    Statement& s = db_->Prepare("SELECT pwhash FROM users WHERE pin = ?1");
    s.Bind(1, pin);
    std::string hash = s.Step() ? s.Bytes(0) : std::string();
    s.Reset();
    return hash;
}

bool Store::SetPasswordHash(uint32_t pin, const std::string& hash) {
    Statement& s = db_->Prepare("UPDATE users SET pwhash = ?2 WHERE pin = ?1");
    s.Bind(1, pin).BindText(2, hash);
    return s.Run() && db_->Changes() == 1;
}

bool Store::UpdateProfile(const UserRecord& u) {
    Statement& s = db_->Prepare(
        "UPDATE users SET nick = ?2, first = ?3, last = ?4, email = ?5, language = ?6, "
        "location = ?7, age_range = ?8, sex = ?9, career = ?10, icon = ?11, mode = ?12, "
        "age = ?13, language1 = ?14, language2 = ?15, language3 = ?16, email1 = ?17, "
        "email2 = ?18, phone = ?19, mobile = ?20, homepage = ?21, about = ?22 WHERE pin = ?1");
    s.Bind(1, u.pin)
        .Bind(2, u.nickName)
        .Bind(3, u.firstName)
        .Bind(4, u.lastName)
        .Bind(5, u.email)
        .Bind(6, u.language)
        .Bind(7, u.location)
        .Bind(8, u.ageRange)
        .Bind(9, u.sex)
        .Bind(10, u.career)
        .Bind(11, u.icon)
        .Bind(12, u.mode)
        .Bind(13, u.age)
        .Bind(14, u.language1)
        .Bind(15, u.language2)
        .Bind(16, u.language3)
        .Bind(17, u.email1)
        .Bind(18, u.email2)
        .Bind(19, u.phone)
        .Bind(20, u.mobile)
        .Bind(21, u.homepage)
        .Bind(22, u.about);
    return s.Run() && db_->Changes() == 1;
}

bool Store::SetTerminal(uint32_t pin, uint32_t terminal) {
    Statement& s = db_->Prepare("UPDATE users SET terminal = ?2 WHERE pin = ?1");
    s.Bind(1, pin).Bind(2, terminal);
    return s.Run();
}

std::vector<uint32_t> Store::Search(const SearchQuery& q, size_t offset, size_t limit, bool* more) {
    // One statement for every combination: a criterion without its bit is switched off.
    Statement& s = db_->Prepare(kSearch.c_str());
    auto on = [&](uint32_t bit) { return int64_t{(q.mask & bit) != 0}; };
    s.Bind(1, on(0x1)).Bind(2, q.pin);
    s.Bind(3, on(0x2)).Bind(4, q.userName);
    s.Bind(5, on(0x8)).Bind(6, q.nickName);
    s.Bind(7, on(0x10)).Bind(8, q.firstName);
    s.Bind(9, on(0x20)).Bind(10, q.lastName);
    s.Bind(11, on(0x40)).Bind(12, q.email);
    s.Bind(13, on(0x80)).Bind(14, q.language);
    s.Bind(15, on(0x100)).Bind(16, q.location);
    s.Bind(17, on(0x200)).Bind(18, q.ageRange);
    s.Bind(19, on(0x400)).Bind(20, q.sex);
    s.Bind(21, on(0x800)).Bind(22, q.career);
    s.Bind(23, static_cast<int64_t>(limit) + 1).Bind(24, static_cast<int64_t>(offset));
    s.Bind(25, q.viewer);
    std::vector<uint32_t> pins;
    while (s.Step())
        pins.push_back(static_cast<uint32_t>(s.Int(0)));
    s.Reset();
    *more = pins.size() > limit;
    if (*more)
        pins.resize(limit);
    return pins;
}

}  // namespace ov::server
