#include "search/registrable_domain.h"

namespace vq {

std::optional<std::string> registrableDomain(const std::string&)
{
    // Without the public suffix list no registrable part is known.
    return std::nullopt;
}

} // namespace vq
