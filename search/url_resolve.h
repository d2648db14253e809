// Resolving a link of a page read without the browser, to the text the
// browser's a.href gives. Only the plain cases are taken: where the browser
// would have to percent-encode, map a host name or otherwise rewrite the
// link, nothing is returned and the page is left to the browser.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vq {

// `href` (UTF-8, as written in the page) against the http or https address
// `base`. A link of another scheme (mailto:, javascript:, ...) comes back as
// written, its surrounding white space dropped: only http and https links are
// ever kept. Nothing when the link or the base is not one of the plain cases.
std::optional<std::string> resolveLink(std::string_view base, std::string_view href);

// An http or https address as the browser writes it (scheme and host in lower
// case, default port dropped, "." and ".." resolved, empty path made "/"), or
// nothing when it is not one of the plain cases.
std::optional<std::string> canonicalAddress(std::string_view address);

} // namespace vq
