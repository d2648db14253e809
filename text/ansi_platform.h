// The platform's part of the code page 936 layer (ansi_posix.cpp with ICU,
// ansi_win.cpp with the Windows code page API). Besides utf16ToAnsi and
// ansiToUtf16 of ansi.h, each provides these.
#pragma once

#include <string>
#include <string_view>

namespace vq {

// UTF-8 to UTF-16; malformed sequences become U+FFFD. Returns false when the
// input was malformed.
bool utf8ToUtf16(std::string_view utf8, std::u16string& out);
std::string utf16ToUtf8(std::u16string_view text);

// True when every character has a code page 936 form (no substitution at all).
bool utf16RepresentableInAnsi(std::u16string_view text);

} // namespace vq
