// orvane-console: drives the kernel line by line. Reads one call per line on standard input
// and writes one line per result and per event on standard output.
//
//   orvane-console [--server HOST:PORT] [--register NAME:PASSWORD] [--login NAME:PASSWORD]
//                  [--decode]
//
// --server issues HandshakeServer at start; --register then registers the account (a name
// that exists already just gets its error event); --login logs in by name (status online).
// Results: "= <value>" ("=" alone for members without one); events: "event <Name> <args>";
// mistakes: "error <text>". "sleep MS" waits, "quit" (or the end of input) ends.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "common/events/event_sink.h"
#include "common/interfaces/ovcache.h"
#include "common/interfaces/ovkernel.h"
#include "common/interfaces/ovsock.h"
#include "platform/text/cp936.h"
#include "tools/console/console_line.h"
#include "tools/console/event_printer.h"

using namespace ov::console;

namespace {

// Creates the kernel from the component libraries beside this program: a registration left
// by another build tree or installation is replaced by ours first.
HRESULT CreateKernel(ComPtr<IOVService>* kernel) {
    const std::string dir = GetProgramDirectory();
    EnsureRegisteredFrom(CLSID_OVSocket, dir + "OVSock.so");
    EnsureRegisteredFrom(CLSID_OVCache, dir + "OVCache.so");
    EnsureRegisteredFrom(CLSID_OVService, dir + "OVKernel.so");
    return CoCreateInstance(CLSID_OVService, kernel);
}

// A registration record for "NAME:PASSWORD": name, password and nick name set.
std::string AccountRecord(const std::string& account) {
    size_t colon = account.find(':');
    std::string name = ov::Utf8ToCp936(account.substr(0, colon));
    std::string password =
        colon == std::string::npos ? "" : ov::Utf8ToCp936(account.substr(colon + 1));
    OV_USER_INFO u;
    std::memset(&u, 0, sizeof u);
    u.nMask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD | OV_UFLD_NICKNAME;
    std::strncpy(u.sUserName, name.c_str(), sizeof u.sUserName - 1);
    std::strncpy(u.sNickName, name.c_str(), sizeof u.sNickName - 1);
    std::strncpy(u.sPassword, password.c_str(), sizeof u.sPassword - 1);
    u.nOnlineStatus = OV_ONLINE_STATUS_ONLINE;
    return std::string(reinterpret_cast<const char*>(&u), sizeof u);
}

// Runs one parsed call; returns the result line.
std::string Call(IDispatch* kernel, const Line& line) {
    const DispEntry<IOVService>* entry = OVServiceDispatch().FindByName(line.name);
    if (entry == nullptr)
        return "error unknown member " + line.name;
    if (line.args.size() != entry->params.size())
        return "error " + std::string(entry->name) + " takes " +
               std::to_string(entry->params.size()) + " arguments";
    std::vector<Variant> argv(line.args.size());
    for (size_t i = 0; i < line.args.size(); ++i) {
        std::string error;
        if (!ToArgument(entry->params[i], line.args[i], &argv[argv.size() - 1 - i], &error))
            return "error argument " + std::to_string(i + 1) + ": " + error;
    }
    DISPPARAMS dp{argv.empty() ? nullptr : static_cast<VARIANT*>(argv.data()), nullptr,
                  static_cast<UINT>(argv.size()), 0};
    Variant result;
    UINT argErr = 0;
    HRESULT hr =
        kernel->Invoke(entry->id, IID_NULL, LOCALE_USER_DEFAULT,
                       DISPATCH_METHOD | DISPATCH_PROPERTYGET, &dp, &result, nullptr, &argErr);
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        return std::string("error call failed ") + code;
    }
    return entry->hasRetval ? "= " + FormatValue(result) : "=";
}

}  // namespace

int main(int argc, char** argv) {
    std::string server, registration, login;
    bool decode = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--server" && i + 1 < argc) {
            server = argv[++i];
        } else if (a == "--register" && i + 1 < argc) {
            registration = argv[++i];
        } else if (a == "--login" && i + 1 < argc) {
            login = argv[++i];
        } else if (a == "--decode") {
            decode = true;
        } else {
            std::fprintf(stderr,
                         "usage: orvane-console [--server HOST:PORT] [--register NAME:PASSWORD] "
                         "[--login NAME:PASSWORD] [--decode]\n");
            return 2;
        }
    }

    LineWriter out([](const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });

    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int status = 0;
    {
        ComPtr<IOVService> kernel;
        if (FAILED(CreateKernel(&kernel))) {
            out.Write(
                "error cannot create OVService: are OVKernel.so and OVSock.so beside this "
                "program?");
            CoUninitialize();
            return 1;
        }
        EventPrinter printer(&out, decode);
        OVServiceEventConnection events(&printer);
        LONG ok = 0;
        Bstr anyHost = Bstr::Empty();
        kernel->Init(anyHost, 0, &ok);
        if (!ok) {
            out.Write("error Init failed");
            status = 1;
        }
        events.Connect(kernel.Get(), true);
        ComPtr<IDispatch> dispatch = kernel.As<IDispatch>();

        if (ok && !server.empty()) {
            size_t colon = server.rfind(':');
            Line handshake;
            handshake.name = "HandshakeServer";
            Token host{Token::Kind::Text, 0, server.substr(0, colon), {}};
            Token port{Token::Kind::Number,
                       colon == std::string::npos ? 0 : std::atoll(server.c_str() + colon + 1),
                       {},
                       {}};
            handshake.args = {host, port};
            out.Write(Call(dispatch.Get(), handshake));
        }
        if (ok && !registration.empty()) {
            Line call;
            call.name = "RegisterUser";
            call.args = {Token{Token::Kind::Hex, 0, {}, AccountRecord(registration)}};
            out.Write(Call(dispatch.Get(), call));
        }
        if (ok && !login.empty()) {
            size_t colon = login.find(':');
            Line call;
            call.name = "Login";
            call.args = {Token{Token::Kind::Number, 0, {}, {}},
                         Token{Token::Kind::Text, 0, login.substr(0, colon), {}},
                         Token{Token::Kind::Text,
                               0,
                               colon == std::string::npos ? "" : login.substr(colon + 1),
                               {}},
                         Token{Token::Kind::Number, OV_ONLINE_STATUS_ONLINE, {}, {}},
                         Token{Token::Kind::Number, 0, {}, {}}};
            out.Write(Call(dispatch.Get(), call));
        }

        std::string text;
        while (ok && std::getline(std::cin, text)) {
            Line line;
            std::string error;
            if (!ParseLine(text, &line, &error)) {
                out.Write("error " + error);
                continue;
            }
            if (line.name.empty())
                continue;
            if (line.name == "quit")
                break;
            if (line.name == "sleep") {
                if (line.args.size() != 1 || line.args[0].kind != Token::Kind::Number ||
                    line.args[0].number < 0) {
                    out.Write("error sleep takes milliseconds");
                    continue;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(line.args[0].number));
                continue;
            }
            out.Write(Call(dispatch.Get(), line));
        }
        kernel->Deinit();
        events.Disconnect();
    }
    CoUninitialize();
    return status;
}
