// Sessions and what they have had executed, so that a restarted server goes on serving the
// clients that were logged in; and the delivery state of messages.
#include "server/store.h"

namespace ov::server {

bool Store::SaveSession(const SessionRecord& s) {
    Statement& st = db_->Prepare(
        "INSERT INTO sessions(pin, login_id, ip, port, status, terminal, process) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7) ON CONFLICT(pin) DO UPDATE SET "
        "login_id = excluded.login_id, ip = excluded.ip, port = excluded.port, "
        "status = excluded.status, terminal = excluded.terminal, process = excluded.process");
    st.Bind(1, s.pin)
        .Bind(2, s.loginId)
        .Bind(3, s.endpoint.ip)
        .Bind(4, s.endpoint.port)
        .Bind(5, s.status)
        .Bind(6, s.terminal)
        .Bind(7, static_cast<int64_t>(s.process));
    return st.Run();
}

bool Store::SetSessionStatus(uint32_t pin, uint32_t status) {
    Statement& st = db_->Prepare("UPDATE sessions SET status = ?2 WHERE pin = ?1");
    st.Bind(1, pin).Bind(2, status);
    return st.Run();
}

bool Store::DeleteSession(uint32_t pin) {
    Transaction tx(*db_);
    Statement& session = db_->Prepare("DELETE FROM sessions WHERE pin = ?1");
    session.Bind(1, pin);
    Statement& taken = db_->Prepare("DELETE FROM taken WHERE pin = ?1");
    taken.Bind(1, pin);
    return session.Run() && taken.Run() && tx.Commit();
}

std::vector<SessionRecord> Store::Sessions() {
    Statement& st = db_->Prepare(
        "SELECT pin, login_id, ip, port, status, terminal, process FROM sessions "
        "ORDER BY pin");
    std::vector<SessionRecord> out;
    while (st.Step()) {
        SessionRecord s;
        s.pin = static_cast<uint32_t>(st.Int(0));
        s.loginId = static_cast<uint32_t>(st.Int(1));
        s.endpoint.ip = static_cast<uint32_t>(st.Int(2));
        s.endpoint.port = static_cast<uint16_t>(st.Int(3));
        s.status = static_cast<uint32_t>(st.Int(4));
        s.terminal = static_cast<uint32_t>(st.Int(5));
        s.process = static_cast<uint64_t>(st.Int(6));
        out.push_back(s);
    }
    st.Reset();
    return out;
}

bool Store::SaveTakenCommand(uint32_t pin, const TakenCommand& c) {
    Statement& st =
        db_->Prepare("INSERT INTO taken(pin, packet_seq, fingerprint) VALUES(?1, ?2, ?3)");
    st.Bind(1, pin).Bind(2, c.packetSeq).Bind(3, c.fingerprint);
    return st.Run();
}

std::vector<TakenCommand> Store::TakenCommands(uint32_t pin, size_t limit) {
    Statement& st = db_->Prepare(
        "SELECT packet_seq, fingerprint FROM taken WHERE pin = ?1 ORDER BY rowid DESC LIMIT ?2");
    st.Bind(1, pin).Bind(2, static_cast<int64_t>(limit));
    std::vector<TakenCommand> out;
    while (st.Step()) {
        out.push_back(
            TakenCommand{static_cast<uint32_t>(st.Int(0)), static_cast<uint32_t>(st.Int(1))});
    }
    st.Reset();
    return out;
}

bool Store::SetDeliveryPacket(int64_t messageId, uint32_t packetSeq) {
    Statement& st = db_->Prepare("UPDATE messages SET packet_seq = ?2 WHERE id = ?1");
    st.Bind(1, messageId).Bind(2, packetSeq);
    return st.Run();
}

}  // namespace ov::server
