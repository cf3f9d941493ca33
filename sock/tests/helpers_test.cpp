// The component's own helpers: the dotted-literal parser and the default-route lookup.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <sstream>

#include "sock/local_host.h"
#include "sock/resolve_address.h"

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

}  // namespace
}  // namespace ov::sock
