// What the server benchmarks share: a clock, latency figures, and the baseline they are read
// beside - the raw UDP echo of this machine on loopback.
//
//   Figures echo = EchoBaseline(50, 2.0);   // 50 senders, one datagram each in flight, 2 s
//   std::printf("%.1f us\n", echo.p99us);
#pragma once

#include <cstdint>
#include <vector>

namespace ovbench {

int64_t NowNs();

struct Figures {
    double perSecond = 0;
    double p50us = 0, p99us = 0;
    uint64_t resent = 0;
};

// Sorts latencies (ns) and reads their rate over seconds and their median and 99th percentile.
Figures Summarise(std::vector<int64_t>& latencies, double seconds, uint64_t resent);

// Round trips of 64-byte datagrams to an echo thread, each sender keeping one in flight.
Figures EchoBaseline(int senders, double seconds);

}  // namespace ovbench
