// What the search needs to know of an address before it visits it.
#pragma once

#include "text/ansi.h"

#include <optional>

namespace vq {

// Whether the search navigates to an address: http and https addresses, and
// addresses without a scheme (the browser puts "http://" in front). Anything
// else (file:, javascript:, data:, about:, mailto: ...) is not navigated.
bool isWebAddress(const AnsiString& address);
// The host of an address, ASCII letters in lower case, without user part and
// port; the address itself when it has no recognisable host.
AnsiString hostOf(const AnsiString& address);
// The form under which a crawl knows an address, so that it visits each page
// once: the scheme and host in lower case, a default port (80, 443) dropped,
// "." and ".." resolved in the path, an empty path made "/", the fragment
// dropped; an address without a scheme taken as http. Nothing for an address
// that is not http or https.
std::optional<AnsiString> normalisedAddress(const AnsiString& address);

} // namespace vq
