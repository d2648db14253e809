// The registrable domain of a host name, from the public suffix list (libpsl,
// registrable_domain_psl.cpp). A build without libpsl (the Windows check under
// Wine) has registrable_domain_none.cpp, which knows none: the site key is then
// the whole host name.
#pragma once

#include <optional>
#include <string>

namespace vq {

// `name` is a lower-case UTF-8 host name. The registrable domain (e.g.
// "example.com.cn" of "www.example.com.cn"), or nothing when the list knows no
// registrable part: the name is a public suffix itself, or its top-level label
// is not in the list at all.
std::optional<std::string> registrableDomain(const std::string& name);

} // namespace vq
