// ANSI text: byte strings in code page 936 (GBK). Lengths and positions count
// bytes; a Chinese character is two bytes (a lead byte 0x81..0xFE and a trail byte).
// Conversions go through ICU's "windows-936" converter (on Windows, the system's
// code page 936); a character without a code page 936 form becomes the code
// page's default character "?".
#pragma once

#include <string>
#include <string_view>

namespace vq {

using AnsiString = std::string; // always code page 936 bytes

AnsiString utf16ToAnsi(std::u16string_view text);
std::u16string ansiToUtf16(std::string_view ansi);
AnsiString utf8ToAnsi(std::string_view utf8);
std::string ansiToUtf8(std::string_view ansi);

// True when every character of the UTF-8 text has a code page 936 form.
bool representableInAnsi(std::string_view utf8);

// What bytes of unknown encoding are: plain ASCII, well-formed UTF-8 with at
// least one non-ASCII character, or neither (code page 936, say).
enum class ByteText { Ascii, Utf8, NotUtf8 };
ByteText classifyBytes(std::string_view bytes);

// Lead byte of a double-byte character in code page 936.
constexpr bool isLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

} // namespace vq
