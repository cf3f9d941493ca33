// orvane-server: the reference server of the Orvane protocol.
//
//   orvane-server [--listen 127.0.0.1:9999] [--db PATH | :memory: | postgresql://...]
//                 [--server HOST:PORT]...
//                 [--group-capacity N] [--max-waiting N] [--max-stored-per-day N]
//                 [--password-cost interactive|minimal]
//
// Stops cleanly on SIGINT and SIGTERM.
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "server/server.h"

namespace {

using ov::server::ServerConfig;

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: orvane-server [options]\n"
                 "  --listen ADDR:PORT        where to listen (default 127.0.0.1:%u)\n"
                 "  --db PATH                 SQLite database, or :memory: (default\n"
                 "                            $XDG_DATA_HOME/orvane/orvane-server.db)\n"
                 "  --db postgresql://USER@HOST:PORT/DB\n"
                 "                            a PostgreSQL database, which several servers\n"
                 "                            may share (password: PGPASSWORD or ~/.pgpass)\n"
                 "  --server HOST:PORT        a server the handshake lists (repeatable;\n"
                 "                            default: this server)\n"
                 "  --group-capacity N        most users in one group (default 500)\n"
                 "  --max-waiting N           most messages waiting for one user (default 1000)\n"
                 "  --max-stored-per-day N    most messages one sender has stored in 24 hours\n"
                 "                            (default 10000)\n"
                 "  --password-cost COST      interactive (default) or minimal (tests)\n",
                 ov::server::kDefaultPort);
}

// $XDG_DATA_HOME/orvane/orvane-server.db, making the directories; ":memory:" when there is
// no home to put it in.
std::string DefaultDatabase() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.local/share";
    } else {
        return ":memory:";
    }
    std::string dir = base + "/orvane";
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos == dir.size() || dir[pos] == '/')
            mkdir(dir.substr(0, pos).c_str(), 0700);
    }
    return dir + "/orvane-server.db";
}

bool ParseCount(std::string_view text, size_t* out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return ec == std::errc() && end == text.data() + text.size() && *out > 0;
}

}  // namespace

int main(int argc, char** argv) {
    ServerConfig config;
    bool haveDb = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "orvane-server: %s needs a value\n", argv[i]);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--listen") {
            const char* text = value();
            if (!ov::server::ParseEndpoint(text, &config.listen)) {
                std::fprintf(stderr, "orvane-server: --listen wants ADDR:PORT, not %s\n", text);
                return 2;
            }
        } else if (arg == "--db") {
            config.databasePath = value();
            haveDb = true;
        } else if (arg == "--server") {
            std::string text = value();
            size_t colon = text.rfind(':');
            size_t port = 0;
            if (colon == std::string::npos || colon == 0 ||
                !ParseCount(std::string_view(text).substr(colon + 1), &port) || port > 65535) {
                std::fprintf(stderr, "orvane-server: --server wants HOST:PORT, not %s\n",
                             text.c_str());
                return 2;
            }
            config.servers.push_back({text.substr(0, colon), static_cast<uint16_t>(port)});
        } else if (arg == "--group-capacity") {
            const char* text = value();
            if (!ParseCount(text, &config.groupCapacity)) {
                std::fprintf(stderr, "orvane-server: --group-capacity wants a number\n");
                return 2;
            }
        } else if (arg == "--max-waiting" || arg == "--max-stored-per-day") {
            size_t* limit = arg == "--max-waiting" ? &config.maxWaitingPerRecipient
                                                   : &config.maxStoredPerSenderPerDay;
            if (!ParseCount(value(), limit)) {
                std::fprintf(stderr, "orvane-server: %s wants a number\n", argv[i - 1]);
                return 2;
            }
        } else if (arg == "--password-cost") {
            std::string_view cost = value();
            if (cost == "interactive") {
                config.passwordCost = ov::server::PasswordCost::kInteractive;
            } else if (cost == "minimal") {
                config.passwordCost = ov::server::PasswordCost::kMinimal;
            } else {
                std::fprintf(stderr, "orvane-server: --password-cost is interactive or minimal\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "orvane-server: unknown option %s\n", argv[i]);
            Usage(stderr);
            return 2;
        }
    }
    if (!haveDb)
        config.databasePath = DefaultDatabase();

    // The signals are taken by sigwait below, on this thread only.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    ov::server::Server server(config);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "orvane-server: %s\n", error.c_str());
        return 1;
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::fprintf(stderr, "orvane-server: %s, stopping\n", strsignal(signal));
    server.Stop();
    server.Join();
    return 0;
}
