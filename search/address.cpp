#include "search/address.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

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

bool isControl(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}

bool isAsciiAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Whether the host of an address without a scheme could be looked up: ASCII
// letters, digits, "-", ".", "_" and "%", and code page 936 characters (0x80,
// or a lead byte 0x81..0xFE and a trail byte 0x40..0xFE other than 0x7F),
// with at least one letter, digit or non-ASCII character; or an IPv6 address
// in brackets. So a host of punctuation ("...", "~"), none at all ("/etc/x",
// "?q", ":80"), or bytes that are no code page 936 text ("\xFF\xFE") is not
// an address; the browser would find nothing to load for it either.
bool plausibleHost(std::string_view host)
{
    if (!host.empty() && host.front() == '[') {
        const size_t close = host.find(']');
        if (close == std::string_view::npos || close < 2)
            return false;
        const std::string_view inner = host.substr(1, close - 1);
        return std::all_of(inner.begin(), inner.end(),
                           [](char c) { return isAsciiAlnum(c) || c == ':' || c == '.' || c == '%'; });
    }
    bool named = false;
    for (size_t i = 0; i < host.size(); ++i) {
        const auto b = static_cast<unsigned char>(host[i]);
        if (isAsciiAlnum(host[i])) {
            named = true;
        } else if (b == 0x80) {
            named = true; // the euro sign
        } else if (b > 0x80) {
            if (!isLeadByte(b) || i + 1 >= host.size())
                return false;
            const auto trail = static_cast<unsigned char>(host[++i]);
            if (trail < 0x40 || trail == 0x7F || trail == 0xFF)
                return false;
            named = true;
        } else if (host[i] != '-' && host[i] != '.' && host[i] != '_' && host[i] != '%') {
            return false;
        }
    }
    return named;
}

// The host of an address without a scheme: up to the path, query or
// fragment, after a user part, without the port.
std::string_view schemelessHost(std::string_view a)
{
    a = a.substr(0, a.find_first_of("/?#"));
    if (const size_t at = a.rfind('@'); at != std::string_view::npos)
        a.remove_prefix(at + 1);
    if (!a.empty() && a.front() == '[')
        return a.substr(0, a.find(']') + 1);
    return a.substr(0, a.find(':'));
}

AddressKind schemeless(std::string_view a)
{
    return plausibleHost(schemelessHost(a)) ? AddressKind::Web : AddressKind::NotAnAddress;
}

} // namespace

AddressKind addressKind(const AnsiString& address)
{
    std::string_view a(address);
    while (!a.empty() && isAsciiSpace(a.front()))
        a.remove_prefix(1);
    while (!a.empty() && isAsciiSpace(a.back()))
        a.remove_suffix(1);
    if (a.empty())
        return AddressKind::Web; // an empty line: the browser shows a blank page
    if (std::any_of(a.begin(), a.end(), isControl))
        return AddressKind::NotAnAddress;
    const size_t colon = a.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return schemeless(a); // no scheme: the browser takes it as http
    for (size_t i = 0; i < colon; ++i) {
        if (!isSchemeChar(a[i], i == 0))
            return schemeless(a); // "a/b:c" and the like: no scheme either
    }
    std::string scheme(a.substr(0, colon));
    for (char& c : scheme)
        c = lowerAscii(c);
    if (scheme == "http" || scheme == "https")
        return AddressKind::Web;
    // "host:port" or "host:port/path" is an address without a scheme.
    size_t i = colon + 1;
    size_t digits = 0;
    while (i < a.size() && a[i] >= '0' && a[i] <= '9') {
        ++i;
        ++digits;
    }
    if (digits > 0 && (i == a.size() || a[i] == '/' || a[i] == '?' || a[i] == '#'))
        return schemeless(a);
    return AddressKind::OtherScheme;
}

bool isWebAddress(const AnsiString& address)
{
    return addressKind(address) == AddressKind::Web;
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

namespace {

// RFC 3986's remove_dot_segments on a path that starts with "/".
std::string withoutDotSegments(std::string_view path)
{
    std::vector<std::string_view> kept;
    size_t i = 1;
    bool trailingSlash = false;
    while (i <= path.size()) {
        size_t end = path.find('/', i);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view segment = path.substr(i, end - i);
        const bool last = end == path.size();
        if (segment == ".") {
            trailingSlash = last;
        } else if (segment == "..") {
            if (!kept.empty())
                kept.pop_back();
            trailingSlash = last;
        } else {
            kept.push_back(segment);
            trailingSlash = false;
        }
        i = end + 1;
    }
    std::string out;
    for (const std::string_view s : kept) {
        out += '/';
        out += s;
    }
    if (trailingSlash || out.empty())
        out += '/';
    return out;
}

} // namespace

std::optional<AnsiString> normalisedAddress(const AnsiString& address)
{
    std::string_view a(address);
    while (!a.empty() && isAsciiSpace(a.front()))
        a.remove_prefix(1);
    while (!a.empty() && isAsciiSpace(a.back()))
        a.remove_suffix(1);
    if (a.empty() || !isWebAddress(AnsiString(a)))
        return std::nullopt;
    std::string scheme = "http";
    if (const size_t p = a.find("://"); p != std::string_view::npos && p == a.find(':') && a.substr(0, p).find_first_of("/?#") == std::string_view::npos) {
        scheme.assign(a.substr(0, p));
        for (char& c : scheme)
            c = lowerAscii(c);
        a.remove_prefix(p + 3);
    }
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    a = a.substr(0, a.find('#'));
    const size_t authorityEnd = std::min(a.find_first_of("/?"), a.size());
    std::string_view authority = a.substr(0, authorityEnd);
    std::string_view rest = a.substr(authorityEnd);

    std::string user;
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
        user.assign(authority.substr(0, at + 1));
        authority.remove_prefix(at + 1);
    }
    std::string host(authority);
    std::string port;
    const size_t close = host.rfind(']');
    if (const size_t colon = host.rfind(':'); colon != std::string::npos && (close == std::string::npos || colon > close)) {
        port = host.substr(colon + 1);
        host.resize(colon);
    }
    if (host.empty())
        return std::nullopt;
    for (char& c : host)
        c = lowerAscii(c);
    while (port.size() > 1 && port.front() == '0')
        port.erase(0, 1);
    if (port.empty() || (scheme == "http" && port == "80") || (scheme == "https" && port == "443"))
        port.clear();

    const size_t q = rest.find('?');
    const std::string_view path = rest.substr(0, q);
    const std::string_view query = q == std::string_view::npos ? std::string_view() : rest.substr(q);
    AnsiString out = scheme + "://" + user + host + (port.empty() ? "" : ":" + port);
    out += path.empty() ? std::string("/") : withoutDotSegments(path);
    out += query;
    return out;
}

} // namespace vq
