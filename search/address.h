// What the search needs to know of an address before it visits it.
#pragma once

#include "text/ansi.h"

#include <optional>

namespace vq {

// What an address of the list is to the search. It is taken without the
// ASCII white space around it; an empty one is a web address (the browser
// shows a blank page).
enum class AddressKind {
    // http and https addresses, and addresses without a scheme (the browser
    // puts "http://" in front): navigated.
    Web,
    // file:, javascript:, data:, about:, mailto: ...: not navigated.
    OtherScheme,
    // No address at all: control bytes (below 0x20, or 0x7F) anywhere, or no
    // scheme and a host no browser could look up (see address.cpp): not navigated.
    NotAnAddress,
};
AddressKind addressKind(const AnsiString& address);
// Whether the search navigates to an address: addressKind() is Web.
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
