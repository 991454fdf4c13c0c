// Where a connection to a host will really go, and whether that is this machine.
//
// A host name says nothing reliable about where it leads ("localhost." is looked up in the
// DNS, for one), so whether a server is "this machine" is decided from the addresses the name
// resolves to, and the connection is then made to exactly those addresses (for libcurl:
// CURLOPT_RESOLVE with CurlResolveEntry), while certificate checks still use the name.
//
//   const ResolveOutcome found = ResolveHost(host, port, deadline, stop);
//   if (found.status != ResolveStatus::Resolved) ... fail ...
//   curl_slist_append(list, CurlResolveEntry(host, port, found.addresses).c_str());
//   found.loopback  // every address is this machine: no other machine can be reached
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace qubopost::mail {

enum class ResolveStatus {
    Resolved,
    UnknownHost,  // the name service has no address for the name, or could not be asked
    TimedOut,     // the deadline came before the name service answered
    Stopped,      // the stop flag was set before it answered
    OutOfMemory,
};

struct ResolveOutcome {
    ResolveStatus status = ResolveStatus::UnknownHost;
    // Numeric addresses ("192.0.2.25", "::1": IPv6 without brackets), no two alike, in the order
    // the system prefers them. Not empty when Resolved.
    std::vector<std::string> addresses{};
    // Every one of `addresses` is this machine (IsLoopbackAddress): a connection to any of them
    // cannot leave it. False when one of them could be another machine.
    bool loopback = false;
    // The host was an address already: nothing was looked up.
    bool literal = false;
};

// The addresses of `host` (a name, or an IPv4 or IPv6 address without brackets) for TCP.
// An address is taken as it is, without any look-up. A name goes to the system's resolver
// (getaddrinfo, so /etc/hosts and the DNS as /etc/nsswitch.conf says) on a helper thread, and
// the call gives up at `deadline` (TimedOut) or, within about 50 ms, once *stop is non-zero
// (Stopped; `stop` may be null, and is read atomically). A look-up given up on finishes on its
// own thread and its answer is dropped. Thread-safe.
ResolveOutcome ResolveHost(std::string_view host, int port,
                           std::chrono::steady_clock::time_point deadline, const int* stop);

// Whether a numeric address is this machine: 127.0.0.0/8, ::1 and ::ffff:127.x.y.z. Anything
// else, names included, is not. (0.0.0.0 and :: are not counted, although Linux connects them
// locally: they are never what a server's name stands for.)
bool IsLoopbackAddress(std::string_view address);

// Whether `address` (as a connection is about to use it) is one of `addresses` (numeric, as
// ResolveHost gives them). Ports are not compared.
bool IsOneOfAddresses(const sockaddr* address, socklen_t length,
                      const std::vector<std::string>& addresses);

// libcurl's CURLOPT_RESOLVE entry that sends connections for host:port to these addresses and
// nowhere else: "host:port:192.0.2.25,[2001:db8::25]".
std::string CurlResolveEntry(std::string_view host, int port,
                             const std::vector<std::string>& addresses);

}  // namespace qubopost::mail
