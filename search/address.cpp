#include "search/address.h"

#include <string_view>

namespace vq {

namespace {

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c;
}

bool isSchemeChar(char c, bool first)
{
    const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first)
        return alpha;
    return alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

} // namespace

bool isWebAddress(const AnsiString& address)
{
    size_t begin = 0;
    while (begin < address.size() && isAsciiSpace(address[begin]))
        ++begin;
    const std::string_view a = std::string_view(address).substr(begin);
    const size_t colon = a.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return true; // no scheme: the browser takes it as http
    for (size_t i = 0; i < colon; ++i) {
        if (!isSchemeChar(a[i], i == 0))
            return true; // "a/b:c" and the like: no scheme either
    }
    std::string scheme(a.substr(0, colon));
    for (char& c : scheme)
        c = lowerAscii(c);
    if (scheme == "http" || scheme == "https")
        return true;
    // "host:port" or "host:port/path" is an address without a scheme.
    size_t i = colon + 1;
    size_t digits = 0;
    while (i < a.size() && a[i] >= '0' && a[i] <= '9') {
        ++i;
        ++digits;
    }
    return digits > 0 && (i == a.size() || a[i] == '/' || a[i] == '?' || a[i] == '#');
}

AnsiString hostOf(const AnsiString& address)
{
    std::string_view a(address);
    if (const size_t p = a.find("://"); p != std::string_view::npos)
        a.remove_prefix(p + 3);
    a = a.substr(0, a.find_first_of("/?#"));
    if (const size_t at = a.rfind('@'); at != std::string_view::npos)
        a.remove_prefix(at + 1);
    if (!a.empty() && a.front() == '[') {
        a = a.substr(0, a.find(']') + 1); // [v6]:port
    } else if (const size_t colon = a.find(':'); colon != std::string_view::npos) {
        a = a.substr(0, colon);
    }
    AnsiString host(a.empty() ? std::string_view(address) : a);
    for (char& c : host)
        c = lowerAscii(c);
    return host;
}

} // namespace vq
