// Password checks off the loop: a login or a password change is checked on the hashing pool
// and answered when the check completes, with the limits on guessing applied before and after.
#include <algorithm>
#include <string>

#include "common/protocol/vocabulary.h"
#include "server/core.h"
#include "server/replies.h"

namespace ov::server {

ServerCore::Request ServerCore::Detached(const Request& r) {
    // The body points into a receive buffer that is gone by the time the answer goes out.
    Request copy = r;
    copy.body = wire::Reader(nullptr, 0);
    copy.session = nullptr;
    return copy;
}

std::string ServerCore::AccountKey(const std::optional<UserRecord>& user, uint32_t pin,
                                   const std::string& name) const {
    if (user)
        return "#" + std::to_string(user->pin);
    return pin != 0 ? "#" + std::to_string(pin) : "@" + name;
}

void ServerCore::ReplyCheckFailed(const Request& r, uint16_t error) {
    if (r.header.nCommand == OV_CCMD_USR_LOGIN)
        Reply(r, reply::Login(error, 0, 0, 0, 0));
    else
        Reply(r, reply::ErrorAndId(error, 0));
}

void ServerCore::StartPasswordCheck(const Request& r, std::shared_ptr<PasswordJob> job) {
    uint32_t ip = r.from.ip;
    // A locked account (or address) is refused at once: a late answer would only make the
    // client time out and try its other servers.
    if (limits_.Locked(job->account, ip))
        return ReplyCheckFailed(r, OV_ERR_BAD_USR_OR_PASSWD);
    FlightKey key{job->command, job->account, ip};
    auto it = flights_.find(key);
    if (it != flights_.end()) {
        Flight& f = it->second;
        bool same =
            job->password == f.running->password && job->newPassword == f.running->newPassword;
        if (same) {
            f.replyTo.push_back(Detached(r));
            f.next.reset();
            f.nextReplyTo.clear();
        } else {
            if (!f.next || job->password != f.next->password ||
                job->newPassword != f.next->newPassword) {
                f.nextReplyTo.clear();
            }
            f.next = std::move(job);
            f.nextReplyTo.push_back(Detached(r));
        }
        // A client keeps one command in flight; more than a few waiting are not its own.
        constexpr size_t kMaxWaiting = 4;
        if (f.replyTo.size() > kMaxWaiting)
            f.replyTo.erase(f.replyTo.begin());
        if (f.nextReplyTo.size() > kMaxWaiting)
            f.nextReplyTo.erase(f.nextReplyTo.begin());
        return;
    }
    size_t& checks = checksPerIp_[ip];
    if (checks >= config_.checksPerAddress) {
        if (checks == 0)
            checksPerIp_.erase(ip);
        return ReplyCheckFailed(r, OV_ERR_UNKNOWN);
    }
    ++checks;
    Flight& f = flights_[key];
    f.replyTo.push_back(Detached(r));
    f.running = std::move(job);
    LaunchFlight(key);
}

void ServerCore::LaunchFlight(const FlightKey& key) {
    Flight& f = flights_.at(key);
    PasswordJob& job = *f.running;
    job.hash = job.pin != 0 ? store_.PasswordHash(job.pin) : dummyHash_;
    std::shared_ptr<PasswordJob> shared = f.running;
    std::shared_ptr<PasswordHasher> hasher = hasher_;
    bool queued = pool_->Submit(
        [shared, hasher] {
            PasswordJob& j = *shared;
            j.verified = hasher->Verify(j.hash, j.password) && j.pin != 0;
            if (j.verified && j.command == OV_CCMD_USR_PASSWORD && !j.newPassword.empty())
                j.newHash = hasher->Hash(j.newPassword);
        },
        [this, key] { FinishPasswordCheck(key); });
    if (queued)
        return;
    // The pool is full: say so at once rather than queue more.
    auto it = flights_.find(key);
    std::vector<Request> waiting = std::move(it->second.replyTo);
    for (Request& r : it->second.nextReplyTo)
        waiting.push_back(std::move(r));
    flights_.erase(it);
    uint32_t ip = std::get<2>(key);
    if (--checksPerIp_[ip] == 0)
        checksPerIp_.erase(ip);
    for (const Request& r : waiting)
        ReplyCheckFailed(r, OV_ERR_UNKNOWN);
}

void ServerCore::FinishPasswordCheck(const FlightKey& key) {
    auto it = flights_.find(key);
    if (it == flights_.end())
        return;
    Flight f = std::move(it->second);
    flights_.erase(it);
    uint32_t ip = std::get<2>(key);
    if (--checksPerIp_[ip] == 0)
        checksPerIp_.erase(ip);
    const PasswordJob& job = *f.running;
    if (f.next) {
        // The client tried another password meanwhile: this answer is no longer awaited.
        if (!job.verified)
            CountFailure(job, ip);
        for (const Request& r : f.nextReplyTo)
            StartPasswordCheck(r, std::make_shared<PasswordJob>(*f.next));
        return;
    }
    auto answer = [&](const Request& r) {
        if (job.command == OV_CCMD_USR_LOGIN)
            AnswerLogin(r, job);
        else
            AnswerChangePassword(r, job);
    };
    if (job.verified)
        return answer(f.replyTo.back());  // one session, one change: for the newest request
    // Every request that waited is refused; the failure counts once.
    CountFailure(job, ip);
    for (const Request& r : f.replyTo)
        ReplyCheckFailed(r, OV_ERR_BAD_USR_OR_PASSWD);
}

void ServerCore::CountFailure(const PasswordJob& job, uint32_t ip) {
    std::optional<LoginLimits::Lock> lock = limits_.Failed(job.account, ip);
    if (!lock)
        return;
    Endpoint from{ip, 0};
    if (lock->wholeAddress) {
        log_.Printf("address %s locked for %lld s: too many failed passwords",
                    from.Address().c_str(), static_cast<long long>(lock->durationMs / 1000));
    } else {
        log_.Printf("account %s locked for %s for %lld s: too many failed passwords",
                    job.account.c_str(), from.Address().c_str(),
                    static_cast<long long>(lock->durationMs / 1000));
    }
}

// Answers a verified login.
void ServerCore::AnswerLogin(const Request& r, const PasswordJob& job) {
    // The account may have changed while the password was checked: read it again.
    std::optional<UserRecord> user = store_.FindUser(job.pin);
    if (!user || store_.PasswordHash(job.pin) != job.hash)
        return ReplyCheckFailed(r, OV_ERR_BAD_USR_OR_PASSWD);
    limits_.Succeeded(job.account, r.from.ip);
    FinishLogin(r, *user, job.login);
}

// Answers a password change whose old password is verified.
void ServerCore::AnswerChangePassword(const Request& r, const PasswordJob& job) {
    // Changed by someone else meanwhile: the old password checked is no longer the one.
    if (!store_.FindUser(job.pin) || store_.PasswordHash(job.pin) != job.hash)
        return ReplyCheckFailed(r, OV_ERR_BAD_USR_OR_PASSWD);
    limits_.Succeeded(job.account, r.from.ip);
    if (job.newPassword.empty())
        return Reply(r, reply::ErrorAndId(OV_ERR_BAD_FIELD, job.pin));
    uint16_t error = !job.newHash.empty() && store_.SetPasswordHash(job.pin, job.newHash)
                         ? uint16_t{OV_ERR_NONE}
                         : uint16_t{OV_ERR_UNKNOWN};
    if (error == OV_ERR_NONE)
        log_.Printf("password of PIN %u changed", job.pin);
    Reply(r, reply::ErrorAndId(error, job.pin));
}

}  // namespace ov::server
