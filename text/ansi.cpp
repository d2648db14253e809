#include "text/ansi.h"

#include "text/ansi_platform.h"

#include <cstdint>

namespace vq {
namespace {

bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

} // namespace

AnsiString utf8ToAnsi(std::string_view utf8)
{
    if (isAscii(utf8))
        return AnsiString(utf8);
    std::u16string wide;
    utf8ToUtf16(utf8, wide);
    return utf16ToAnsi(wide);
}

std::string ansiToUtf8(std::string_view ansi)
{
    if (isAscii(ansi))
        return std::string(ansi);
    return utf16ToUtf8(ansiToUtf16(ansi));
}

bool representableInAnsi(std::string_view utf8)
{
    if (isAscii(utf8))
        return true;
    std::u16string wide;
    if (!utf8ToUtf16(utf8, wide))
        return false;
    return utf16RepresentableInAnsi(wide);
}

ByteText classifyBytes(std::string_view bytes)
{
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t size = bytes.size();
    bool ascii = true;
    for (size_t i = 0; i < size;) {
        const uint8_t b = data[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        ascii = false;
        // Well-formed UTF-8 only: no overlong forms, no surrogates, nothing
        // above U+10FFFF, no sequence cut off.
        size_t n;
        uint8_t lo = 0x80, hi = 0xBF; // allowed range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            n = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            n = 3;
            if (b == 0xE0)
                lo = 0xA0;
            else if (b == 0xED)
                hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            n = 4;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F;
        } else {
            return ByteText::NotUtf8;
        }
        if (i + n > size || data[i + 1] < lo || data[i + 1] > hi)
            return ByteText::NotUtf8;
        for (size_t k = 2; k < n; ++k) {
            if (data[i + k] < 0x80 || data[i + k] > 0xBF)
                return ByteText::NotUtf8;
        }
        i += n;
    }
    return ascii ? ByteText::Ascii : ByteText::Utf8;
}

} // namespace vq
