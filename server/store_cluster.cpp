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

}  // namespace ov::server
