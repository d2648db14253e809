// What the search needs to know of an address before it visits it.
#pragma once

#include "text/ansi.h"

namespace vq {

// Whether the search navigates to an address: http and https addresses, and
// addresses without a scheme (the browser puts "http://" in front). Anything
// else (file:, javascript:, data:, about:, mailto: ...) is not navigated.
bool isWebAddress(const AnsiString& address);
// The host of an address, ASCII letters in lower case, without user part and
// port; the address itself when it has no recognisable host.
AnsiString hostOf(const AnsiString& address);

} // namespace vq
