// Code page 936 and UTF conversions through the Windows code page API.
#include "text/ansi.h"
#include "text/ansi_platform.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace vq {
namespace {

constexpr UINT kCodePage936 = 936;

int checkedLength(size_t size)
{
    if (size > static_cast<size_t>(INT_MAX))
        throw std::runtime_error("text too long to convert");
    return static_cast<int>(size);
}

const wchar_t* wide(std::u16string_view text)
{
    return reinterpret_cast<const wchar_t*>(text.data());
}

// Multi-byte text to UTF-16; `flags` 0 substitutes what cannot be read.
int toUtf16(UINT codePage, DWORD flags, std::string_view in, std::u16string& out)
{
    const int n = checkedLength(in.size());
    const int length = ::MultiByteToWideChar(codePage, flags, in.data(), n, nullptr, 0);
    if (length <= 0)
        return 0;
    out.resize(static_cast<size_t>(length));
    return ::MultiByteToWideChar(codePage, flags, in.data(), n, reinterpret_cast<wchar_t*>(out.data()), length);
}

// UTF-16 to multi-byte text; `usedDefault` (code page 936 only) tells whether a
// character had no form and became the default character.
std::string fromUtf16(UINT codePage, DWORD flags, std::u16string_view in, BOOL* usedDefault)
{
    if (in.empty())
        return {};
    const int n = checkedLength(in.size());
    const int length = ::WideCharToMultiByte(codePage, flags, wide(in), n, nullptr, 0, nullptr, usedDefault);
    if (length <= 0)
        throw std::runtime_error(codePage == CP_UTF8 ? "UTF-16 conversion failed" : "code page 936 conversion failed");
    std::string out(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, flags, wide(in), n, out.data(), length, nullptr, usedDefault);
    return out;
}

} // namespace

bool utf8ToUtf16(std::string_view utf8, std::u16string& out)
{
    out.clear();
    if (utf8.empty())
        return true;
    if (toUtf16(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, out) > 0)
        return true;
    // Malformed: convert again with U+FFFD in place of each bad sequence.
    if (toUtf16(CP_UTF8, 0, utf8, out) <= 0)
        throw std::runtime_error("UTF-8 conversion failed");
    return false;
}

std::string utf16ToUtf8(std::u16string_view text)
{
    // Lone surrogates become U+FFFD.
    return fromUtf16(CP_UTF8, 0, text, nullptr);
}

AnsiString utf16ToAnsi(std::u16string_view text)
{
    // No "best fit" look-alikes: a character without a form of its own becomes
    // the code page's default character "?".
    return fromUtf16(kCodePage936, WC_NO_BEST_FIT_CHARS, text, nullptr);
}

std::u16string ansiToUtf16(std::string_view ansi)
{
    std::u16string out;
    if (!ansi.empty() && toUtf16(kCodePage936, 0, ansi, out) <= 0)
        throw std::runtime_error("code page 936 conversion failed");
    return out;
}

bool utf16RepresentableInAnsi(std::u16string_view text)
{
    BOOL usedDefault = FALSE;
    fromUtf16(kCodePage936, WC_NO_BEST_FIT_CHARS, text, &usedDefault);
    return !usedDefault;
}

} // namespace vq
