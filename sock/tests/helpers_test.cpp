// The component's own helpers: the dotted-literal parser, the default-route lookup and the
// worker threads' wake word.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <future>
#include <sstream>
#include <thread>
#include <vector>

#include "sock/local_host.h"
#include "sock/resolve_address.h"
#include "sock/wake_word.h"

namespace ov::sock {
namespace {

in_addr_t Addr(const char* dotted) {
    return inet_addr(dotted);
}

TEST(DottedIPv4, AcceptsThePlatformsFormsAndNothingAroundThem) {
    EXPECT_EQ(ParseDottedIPv4("192.168.1.20"), Addr("192.168.1.20"));
    EXPECT_EQ(ParseDottedIPv4("10.1"), Addr("10.0.0.1"));
    EXPECT_EQ(ParseDottedIPv4("0x7f.1"), Addr("127.0.0.1"));
    EXPECT_EQ(ParseDottedIPv4("0.0.0.0"), Addr("0.0.0.0"));
    for (const char* bad : {"", "255.255.255.255", "localhost", "1.2.3.4 x", " 1.2.3.4",
                            "1.2.3.256", "1..2", "1.2.3.4."}) {
        EXPECT_FALSE(ParseDottedIPv4(bad)) << '"' << bad << '"';
    }
    EXPECT_FALSE(ParseDottedIPv4(std::string_view("1.2.3.4\0junk", 12)));
}

TEST(DottedIPv4, FormatsAsInetNtopDoesAndReadsBackWhatItFormats) {
    std::vector<in_addr_t> addresses{Addr("0.0.0.0"), Addr("127.0.0.1"), Addr("10.20.30.40"),
                                     Addr("199.99.9.100"), Addr("255.255.255.254")};
    uint32_t x = 12345;
    for (int i = 0; i < 2000; ++i) {
        x = x * 1103515245u + 12345u;  // every byte value turns up in every position
        addresses.push_back(x);
    }
    for (in_addr_t a : addresses) {
        in_addr addr{};
        addr.s_addr = a;
        char expected[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &addr, expected, sizeof expected);
        ASSERT_EQ(FormatDottedIPv4(a), expected);
        if (a != INADDR_NONE) {
            ASSERT_EQ(ParseDottedIPv4(expected), a) << expected;
        }
    }
    // Leading zeros make octal parts, as the platform's parser reads them.
    EXPECT_EQ(ParseDottedIPv4("010.0.0.1"), Addr("8.0.0.1"));
    EXPECT_EQ(ParseDottedIPv4("1.2.3.0377"), Addr("1.2.3.255"));
    for (const char* bad : {"1.2.3.4.5", "1.2.3.1234", "1.2.3.", ".1.2.3", "1.2.3.4a", "256.1.1.1"})
        EXPECT_FALSE(ParseDottedIPv4(bad)) << '"' << bad << '"';
}

TEST(DefaultRoute, TheUpDefaultRouteWithTheLowestMetricWins) {
    std::istringstream table(
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
        "tun0\t00000000\t00000000\t0000\t0\t0\t1\t00000000\t0\t0\t0\n"
        "eth1\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n");
    EXPECT_EQ(DefaultRouteInterface(table), "eth1");

    std::istringstream none(
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n"
        "eth0\t0001A8C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\n");
    EXPECT_EQ(DefaultRouteInterface(none), "");
    std::istringstream empty;
    EXPECT_EQ(DefaultRouteInterface(empty), "");
}

TEST(WakeWord, NoRaiseIsLostWhileTwoThreadsPassATurnBackAndForth) {
    // Each side sleeps until the other raises its flag, thousands of times: a raise that
    // slipped between a waiter's check and its sleep would leave both asleep.
    constexpr uint32_t kTurn = 1;
    constexpr uint32_t kQuit = 2;
    constexpr int kRounds = 20000;
    WakeWord ping, pong;
    std::thread other([&] {
        while ((ping.WaitAny(kTurn | kQuit) & kQuit) == 0) {
            ping.Clear(kTurn);
            pong.Raise(kTurn);
        }
    });
    auto rounds = std::async(std::launch::async, [&] {
        int done = 0;
        for (; done < kRounds; ++done) {
            ping.Raise(kTurn);
            if (pong.WaitAny(kTurn | kQuit) & kQuit)
                break;
            pong.Clear(kTurn);
        }
        return done;
    });
    const bool finished = rounds.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    // Frees both sides should they be stuck.
    ping.Raise(kQuit);
    pong.Raise(kQuit);
    other.join();
    EXPECT_TRUE(finished);
    EXPECT_EQ(rounds.get(), kRounds);
    EXPECT_TRUE(ping.IsUp(kQuit));
    ping.Clear(kQuit);
    EXPECT_FALSE(ping.IsUp(kQuit | kTurn));
}

}  // namespace
}  // namespace ov::sock
