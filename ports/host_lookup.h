// The connectivity test's address look-up.
#pragma once

#include <string>

namespace vq {

class HostLookup {
public:
    virtual ~HostLookup() = default;
    // Dotted-decimal text of the host's address; "127.0.0.1" means not connected.
    virtual std::string localAddress() = 0;
};

} // namespace vq
