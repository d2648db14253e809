// The interface addresses on Windows (GetAdaptersAddresses).
#include "search/host_lookup.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <memory>

namespace vq {

std::vector<InterfaceAddress> interfaceAddresses()
{
    std::vector<InterfaceAddress> out;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    // The list's size can change between the calls; a few tries with the size
    // the system asks for.
    ULONG size = 16 * 1024;
    std::unique_ptr<unsigned char[]> buffer;
    ULONG rc = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && rc == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer = std::make_unique<unsigned char[]>(size);
        rc = ::GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                    reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
    }
    if (rc != NO_ERROR)
        return out;
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.get()); adapter;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp)
            continue;
        const bool loopbackAdapter = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
        for (auto* a = adapter->FirstUnicastAddress; a; a = a->Next) {
            const sockaddr* sa = a->Address.lpSockaddr;
            if (!sa)
                continue;
            char text[INET6_ADDRSTRLEN] = {};
            InterfaceAddress entry;
            entry.loopback = loopbackAdapter;
            if (sa->sa_family == AF_INET) {
                const auto* sin = reinterpret_cast<const sockaddr_in*>(sa);
                if (!::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text))
                    continue;
                entry.family = InterfaceAddress::Family::IPv4;
                // 127.0.0.0/8 is loopback whichever interface carries it.
                if ((ntohl(sin->sin_addr.s_addr) >> 24) == 127)
                    entry.loopback = true;
            } else if (sa->sa_family == AF_INET6) {
                const auto* sin6 = reinterpret_cast<const sockaddr_in6*>(sa);
                if (!::inet_ntop(AF_INET6, &sin6->sin6_addr, text, sizeof text))
                    continue;
                entry.family = InterfaceAddress::Family::IPv6;
                if (IN6_IS_ADDR_LOOPBACK(&sin6->sin6_addr))
                    entry.loopback = true;
            } else {
                continue;
            }
            entry.address = text;
            out.push_back(std::move(entry));
        }
    }
    return out;
}

} // namespace vq
