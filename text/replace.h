// Byte searches and replacement on ANSI text.
#pragma once

#include "text/ansi.h"

namespace vq {

// Plain byte search; npos when absent. An empty needle is never found.
size_t findBytes(std::string_view haystack, std::string_view needle, size_t from = 0);

// Replace every occurrence of `find` by `with`, comparing ASCII letters without
// regard to case. A match must begin on a character boundary of the double-byte
// text (never on the trail byte of a Chinese character); the scan continues behind
// the inserted text. An empty `find` changes nothing.
void replaceAllIgnoreCase(AnsiString& text, std::string_view find, std::string_view with);

} // namespace vq
