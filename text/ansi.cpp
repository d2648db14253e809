#include "text/ansi.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/utf8.h>
#include <unicode/ustring.h>

#include <stdexcept>

namespace vq {
namespace {

// One converter pair per thread, opened on first use. Conversions run for every
// page and every list line, so opening a converter each time would be far too slow.
class Converters {
public:
    Converters()
    {
        substituting_ = open();
        UErrorCode err = U_ZERO_ERROR;
        // The code page's default character; also switches off ICU's own
        // single-byte substitute (0x1A), which would end a line-by-line file.
        ucnv_setSubstChars(substituting_, "?", 1, &err);
        if (U_FAILURE(err))
            throw std::runtime_error("cannot set the code page 936 substitution character");

        strict_ = open();
        err = U_ZERO_ERROR;
        ucnv_setFromUCallBack(strict_, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
        if (U_FAILURE(err))
            throw std::runtime_error("cannot configure the code page 936 converter");
    }
    ~Converters()
    {
        ucnv_close(substituting_);
        ucnv_close(strict_);
    }
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;

    UConverter* substituting() { return substituting_; }
    UConverter* strict() { return strict_; }

private:
    static UConverter* open()
    {
        UErrorCode err = U_ZERO_ERROR;
        // "windows-936" is an ambiguous alias and reports a warning: only a
        // failure counts.
        UConverter* c = ucnv_open("windows-936", &err);
        if (U_FAILURE(err) || !c)
            throw std::runtime_error("ICU has no code page 936 converter");
        return c;
    }

    UConverter* substituting_ = nullptr;
    UConverter* strict_ = nullptr;
};

Converters& converters()
{
    thread_local Converters c;
    return c;
}

bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// UTF-8 to UTF-16; malformed sequences become U+FFFD. Returns false when the
// input was malformed.
bool utf8ToUtf16(std::string_view utf8, std::u16string& out)
{
    out.resize(utf8.size());
    int32_t length = 0;
    int32_t substitutions = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length,
                         utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD, &substitutions, &err);
    if (err == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(length);
        err = U_ZERO_ERROR;
        u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length,
                             utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD, &substitutions, &err);
    }
    if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING)
        throw std::runtime_error("UTF-8 conversion failed");
    out.resize(length);
    return substitutions == 0;
}

std::string utf16ToUtf8(std::u16string_view text)
{
    std::string out(text.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length,
                       reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()), 0xFFFD,
                       nullptr, &err);
    if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING)
        throw std::runtime_error("UTF-16 conversion failed");
    out.resize(length);
    return out;
}

} // namespace

AnsiString utf16ToAnsi(std::u16string_view text)
{
    if (text.empty())
        return {};
    UConverter* cnv = converters().substituting();
    // A UTF-16 unit needs at most two bytes.
    AnsiString out(text.size() * 2, '\0');
    UErrorCode err = U_ZERO_ERROR;
    int32_t length = ucnv_fromUChars(cnv, out.data(), static_cast<int32_t>(out.size()),
                                     reinterpret_cast<const UChar*>(text.data()),
                                     static_cast<int32_t>(text.size()), &err);
    if (err == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(length);
        err = U_ZERO_ERROR;
        length = ucnv_fromUChars(cnv, out.data(), static_cast<int32_t>(out.size()),
                                 reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                                 &err);
    }
    if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING)
        throw std::runtime_error("code page 936 conversion failed");
    out.resize(length);
    return out;
}

std::u16string ansiToUtf16(std::string_view ansi)
{
    if (ansi.empty())
        return {};
    UConverter* cnv = converters().substituting();
    // Every byte, or pair of bytes, gives at most one UTF-16 unit.
    std::u16string out(ansi.size(), u'\0');
    UErrorCode err = U_ZERO_ERROR;
    int32_t length = ucnv_toUChars(cnv, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                                   ansi.data(), static_cast<int32_t>(ansi.size()), &err);
    if (err == U_BUFFER_OVERFLOW_ERROR) {
        out.resize(length);
        err = U_ZERO_ERROR;
        length = ucnv_toUChars(cnv, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                               ansi.data(), static_cast<int32_t>(ansi.size()), &err);
    }
    if (U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING)
        throw std::runtime_error("code page 936 conversion failed");
    out.resize(length);
    return out;
}

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
    UConverter* cnv = converters().strict();
    std::string out(wide.size() * 2 + 1, '\0');
    UErrorCode err = U_ZERO_ERROR;
    ucnv_fromUChars(cnv, out.data(), static_cast<int32_t>(out.size()), reinterpret_cast<const UChar*>(wide.data()),
                    static_cast<int32_t>(wide.size()), &err);
    return !U_FAILURE(err);
}

ByteText classifyBytes(std::string_view bytes)
{
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto size = static_cast<int64_t>(bytes.size());
    bool ascii = true;
    for (int64_t i = 0; i < size;) {
        if (data[i] < 0x80) {
            ++i;
            continue;
        }
        ascii = false;
        // ICU's well-formedness: no overlong forms, no surrogates, nothing above U+10FFFF.
        UChar32 c;
        U8_NEXT(data, i, size, c);
        if (c < 0)
            return ByteText::NotUtf8;
    }
    return ascii ? ByteText::Ascii : ByteText::Utf8;
}

} // namespace vq
