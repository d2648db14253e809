// Decoding a page read without the browser (see html_reading.h).
#pragma once

#include "search/html_reading.h"

#include <optional>
#include <string>
#include <string_view>

namespace vq {

// The text with its ASCII letters in lower case (names, labels, attribute values).
std::string asciiLowered(std::string_view s);

// The body as UTF-8, or nothing when its bytes are not certainly of `charset`.
std::optional<std::string> decodedToUtf8(std::string_view body, PageCharset charset);

} // namespace vq
