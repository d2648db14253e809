#include "text/ansi.h"

#include "text/ansi_platform.h"

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

} // namespace vq
