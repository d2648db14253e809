// The connectivity test's address look-up, taken from the host's interface
// addresses. Looking up the host name instead would answer from /etc/hosts
// with a loopback address even on a connected machine.
#pragma once

#include "ports/host_lookup.h"

#include <string>
#include <vector>

namespace vq {

// One address of an interface that is up.
struct InterfaceAddress {
    enum class Family { IPv4, IPv6 };
    Family family = Family::IPv4;
    std::string address; // numeric text, e.g. "192.0.2.7" or "2001:db8::1"
    bool loopback = false;
};

// The address the connectivity test reports for these interface addresses, in
// the order the system lists them: the last non-loopback IPv4 address; with
// none, the last non-loopback IPv6 address; with loopback addresses only,
// "127.0.0.1" (not connected); with no address at all, "".
std::string chooseLocalAddress(const std::vector<InterfaceAddress>& addresses);

// The addresses of the interfaces that are up (getifaddrs; GetAdaptersAddresses
// on Windows); empty when the system gives no interface information.
std::vector<InterfaceAddress> interfaceAddresses();

class InterfaceHostLookup : public HostLookup {
public:
    std::string localAddress() override;
};

} // namespace vq
