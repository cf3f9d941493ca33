// Host texts to IPv4 socket addresses: dotted literals directly, names through the system's
// resolver when the caller allows a look-up, with optional notice of the look-up's steps.
#pragma once

#include <netinet/in.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/types.h"

namespace ov::sock {

// The address of a dotted IPv4 literal, in network byte order; nothing for any other text.
// Accepts the forms the platform's inet_addr accepts (a.b.c.d, a.b.c, a.b, a; decimal, octal
// or hex parts) but nothing around them, and not 255.255.255.255, which inet_addr cannot tell
// from its failure value.
std::optional<in_addr_t> ParseDottedIPv4(std::string_view text);

// "a.b.c.d" of an address in network byte order.
std::string FormatDottedIPv4(in_addr_t address);

// The name look-up itself: the first IPv4 address of name in *address, and 0; or a
// getaddrinfo error code (errno holding the reason of EAI_SYSTEM).
using NameLookup = int (*)(const char* name, in_addr* address);
// getaddrinfo, the look-up used unless another is set.
int SystemNameLookup(const char* name, in_addr* address);
// Puts lookup (null: the system's) in the place of the look-up; returns the one it replaces.
// For tests that must decide when a look-up ends.
NameLookup SetNameLookup(NameLookup lookup);

enum class LookupStep { kStart, kResolved, kFailed };
// Told of each step of a name look-up; kResolved carries the address as dotted text.
using LookupObserver = std::function<void(LookupStep, const std::string& dotted)>;

// Fills *out (AF_INET, zeroed otherwise) for host and port:
//  - empty host without look-up: any address (0.0.0.0);
//  - a dotted literal: that address;
//  - otherwise without look-up: fails with OVSOCK_ERR_INVAL (10022) as the thread's error;
//  - otherwise the first IPv4 address the resolver gives, the observer (if any) being told
//    of the start and of the result. A failed look-up sets the thread's error.
// host is in code page 936, as host texts travel on this platform.
bool ResolveAddress(std::string_view host, LONG port, bool mayLookUp,
                    const LookupObserver& observer, sockaddr_in* out);

}  // namespace ov::sock
