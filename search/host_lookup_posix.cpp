// The interface addresses on POSIX systems (getifaddrs).
#include "search/host_lookup.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace vq {

std::vector<InterfaceAddress> interfaceAddresses()
{
    std::vector<InterfaceAddress> out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return out;
    for (const ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_addr || !(ifa->ifa_flags & IFF_UP))
            continue;
        char text[INET6_ADDRSTRLEN] = {};
        InterfaceAddress entry;
        entry.loopback = (ifa->ifa_flags & IFF_LOOPBACK) != 0;
        if (ifa->ifa_addr->sa_family == AF_INET) {
            const auto* sin = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr);
            if (!inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text))
                continue;
            entry.family = InterfaceAddress::Family::IPv4;
            // 127.0.0.0/8 is loopback whichever interface carries it.
            if ((ntohl(sin->sin_addr.s_addr) >> 24) == 127)
                entry.loopback = true;
        } else if (ifa->ifa_addr->sa_family == AF_INET6) {
            const auto* sin6 = reinterpret_cast<const sockaddr_in6*>(ifa->ifa_addr);
            if (!inet_ntop(AF_INET6, &sin6->sin6_addr, text, sizeof text))
                continue;
            entry.family = InterfaceAddress::Family::IPv6;
            if (IN6_IS_ADDR_LOOPBACK(&sin6->sin6_addr))
                entry.loopback = true;
        } else {
            continue; // link-layer and other families
        }
        entry.address = text;
        out.push_back(std::move(entry));
    }
    freeifaddrs(list);
    return out;
}

} // namespace vq
