// What servers sharing a PostgreSQL database keep there about each other: which of them are
// alive, and group IDs they all use.
#include "server/store.h"

namespace ov::server {

bool Store::RegisterProcess(uint64_t process) {
    if (db_->Engine() != Database::Kind::kPostgres)
        return true;
    Statement& s = db_->Prepare(
        "INSERT INTO processes(id, backend) VALUES(?1, pg_backend_pid()) "
        "ON CONFLICT(id) DO UPDATE SET backend = excluded.backend");
    s.Bind(1, static_cast<int64_t>(process));
    return s.Run();
}

std::vector<uint64_t> Store::TakeDeadProcesses(uint64_t self) {
    std::vector<uint64_t> dead;
    if (db_->Engine() != Database::Kind::kPostgres)
        return dead;
    // A process's connection ends with it (the database sees the socket close), so one whose
    // backend is gone is gone. Several servers may look at once: the one whose DELETE takes
    // the row cleans up after it.
    Transaction tx(*db_);
    Statement& take = db_->Prepare(
        "DELETE FROM processes p WHERE id <> ?1 AND NOT EXISTS "
        "(SELECT 1 FROM pg_stat_activity a WHERE a.pid = p.backend) RETURNING id");
    take.Bind(1, static_cast<int64_t>(self));
    while (take.Step())
        dead.push_back(static_cast<uint64_t>(take.Int(0)));
    bool ok = !take.Failed();
    take.Reset();
    for (uint64_t process : dead) {
        Statement& groups = db_->Prepare("DELETE FROM group_members WHERE process = ?1");
        groups.Bind(1, static_cast<int64_t>(process));
        ok = ok && groups.Run();
        Statement& taken = db_->Prepare(
            "DELETE FROM taken WHERE pin IN (SELECT pin FROM sessions WHERE process = ?1)");
        taken.Bind(1, static_cast<int64_t>(process));
        Statement& sessions = db_->Prepare("DELETE FROM sessions WHERE process = ?1");
        sessions.Bind(1, static_cast<int64_t>(process));
        ok = ok && taken.Run() && sessions.Run();
    }
    if (!ok || !tx.Commit())
        dead.clear();
    return dead;
}

uint32_t Store::GroupId(uint16_t type, const std::string& name) {
    Statement& add = db_->Prepare(
        "INSERT INTO group_names(type, name) VALUES(?1, ?2) ON CONFLICT(type, name) DO NOTHING");
    add.Bind(1, type).Bind(2, name);
    if (!add.Run())
        return 0;
    Statement& find = db_->Prepare("SELECT id FROM group_names WHERE type = ?1 AND name = ?2");
    find.Bind(1, type).Bind(2, name);
    int64_t id = find.Step() ? find.Int(0) : 0;
    find.Reset();
    return id > 0 && id <= UINT32_MAX ? static_cast<uint32_t>(id) : 0;
}

bool Store::AddGroupMember(uint64_t process, const GroupMembership& m) {
    Statement& s = db_->Prepare(
        "INSERT INTO group_members(group_id, pin, unseen, process) VALUES(?1, ?2, ?3, ?4) "
        "ON CONFLICT(group_id, pin) DO UPDATE SET unseen = excluded.unseen, "
        "process = excluded.process");
    s.Bind(1, m.group)
        .Bind(2, m.pin)
        .Bind(3, int64_t{m.unseen})
        .Bind(4, static_cast<int64_t>(process));
    return s.Run();
}

bool Store::RemoveGroupMember(uint64_t process, uint32_t group, uint32_t pin) {
    // Only the process's own row: the user may be in the group again at another server.
    Statement& s =
        db_->Prepare("DELETE FROM group_members WHERE group_id = ?1 AND pin = ?2 AND process = ?3");
    s.Bind(1, group).Bind(2, pin).Bind(3, static_cast<int64_t>(process));
    return s.Run();
}

std::vector<GroupMembership> Store::GroupMembers() {
    std::vector<GroupMembership> out;
    if (db_->Engine() != Database::Kind::kPostgres)
        return out;
    Statement& s = db_->Prepare(
        "SELECT m.group_id, g.type, g.name, m.pin, m.unseen, m.process FROM group_members m "
        "JOIN group_names g ON g.id = m.group_id ORDER BY m.rowid");
    while (s.Step()) {
        GroupMembership m;
        m.group = static_cast<uint32_t>(s.Int(0));
        m.type = static_cast<uint16_t>(s.Int(1));
        m.name = s.Bytes(2);
        m.pin = static_cast<uint32_t>(s.Int(3));
        m.unseen = s.Int(4) != 0;
        m.process = static_cast<uint64_t>(s.Int(5));
        out.push_back(std::move(m));
    }
    s.Reset();
    return out;
}

}  // namespace ov::server
