#include "search/host_lookup.h"

namespace vq {

std::string chooseLocalAddress(const std::vector<InterfaceAddress>& addresses)
{
    const InterfaceAddress* lastV4 = nullptr;
    const InterfaceAddress* lastV6 = nullptr;
    for (const auto& a : addresses) {
        if (a.loopback)
            continue;
        if (a.family == InterfaceAddress::Family::IPv4)
            lastV4 = &a;
        else
            lastV6 = &a;
    }
    if (lastV4)
        return lastV4->address;
    if (lastV6)
        return lastV6->address;
    return addresses.empty() ? std::string() : std::string("127.0.0.1");
}

std::string InterfaceHostLookup::localAddress()
{
    return chooseLocalAddress(interfaceAddresses());
}

} // namespace vq
