#include "text/integer.h"

#include "text/ansi.h"
#include "text/errors.h"

#include <limits>

namespace vq {
namespace {

[[noreturn]] void invalid(std::string_view text)
{
    throw EConvertError("'" + ansiToUtf8(text) + "' is not a valid integer value");
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

int32_t strToInt(std::string_view text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == ' ')
        ++i;

    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    int base = 10;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }

    if (i == n)
        invalid(text); // no digits at all
    // The magnitude is accumulated with a ceiling just above the 32-bit range, so
    // arbitrarily long digit strings cannot overflow.
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : static_cast<int64_t>(std::numeric_limits<int32_t>::max());
    int64_t value = 0;
    for (; i < n; ++i) {
        int d = base == 16 ? hexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (d < 0)
            invalid(text);
        value = value * base + d;
        if (value > limit)
            invalid(text);
    }
    return static_cast<int32_t>(negative ? -value : value);
}

std::string intToStr(int64_t value)
{
    return std::to_string(value);
}

} // namespace vq
