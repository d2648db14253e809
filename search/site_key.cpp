// The site key of a page address, used by "只搜索本站": a link belongs to the
// page's site when it contains the key.
#include "search/link_harvester.h"
#include "search/registrable_domain.h"

#include "text/replace.h"

namespace vq {
namespace {

constexpr size_t kMaxHost = 255;

std::string asciiLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c | 0x20);
    }
    return out;
}

bool isAscii(std::string_view text)
{
    for (unsigned char c : text) {
        if (c >= 0x80)
            return false;
    }
    return true;
}

size_t labelCount(std::string_view domain)
{
    size_t n = 1;
    for (char c : domain)
        n += c == '.';
    return n;
}

// The last `labels` labels of the host. '.' never occurs as a trail byte in
// code page 936, so labels can be counted on the bytes.
std::string_view lastLabels(std::string_view host, size_t labels)
{
    size_t start = host.size();
    while (labels > 0) {
        const size_t dot = start == 0 ? std::string_view::npos : host.rfind('.', start - 1);
        if (dot == std::string_view::npos)
            return host;
        start = dot;
        --labels;
    }
    return host.substr(start + 1);
}

// The registrable domain of a host name (no port, no user), as a suffix of the
// host in its own spelling; the whole host when the list knows no registrable
// part of it: the host is a public suffix itself, or its top-level label is
// not in the list at all.
std::string_view registrablePart(std::string_view host)
{
    if (host.empty())
        return host;
    // The list works on lower-case UTF-8 names.
    const std::string name = asciiLower(isAscii(host) ? std::string(host) : ansiToUtf8(host));
    const std::optional<std::string> domain = registrableDomain(name);
    if (!domain)
        return host;
    return lastLabels(host, labelCount(*domain));
}

// Dotted-quad IPv4 text as inet_pton reads it: four decimal numbers up to 255,
// no leading zeros, nothing else.
bool isIpv4Literal(std::string_view host)
{
    int octets = 0;
    int value = 0;
    bool sawDigit = false;
    for (char c : host) {
        if (c >= '0' && c <= '9') {
            if (sawDigit && value == 0)
                return false; // leading zero
            value = value * 10 + (c - '0');
            if (value > 255)
                return false;
            if (!sawDigit) {
                if (++octets > 4)
                    return false;
                sawDigit = true;
            }
        } else if (c == '.' && sawDigit) {
            if (octets == 4)
                return false;
            value = 0;
            sawDigit = false;
        } else {
            return false;
        }
    }
    return octets == 4 && sawDigit;
}

} // namespace

AnsiString SiteKey(const AnsiString& address)
{
    // The host part: behind "//" (or from the second byte when there is none),
    // at most 255 bytes, up to the first "/". Without a "/" there is no key.
    const std::string_view text(address);
    const size_t slashes = findBytes(text, "//");
    const size_t start = slashes == std::string_view::npos ? 1 : slashes + 2;
    if (start >= text.size())
        return {};
    const std::string_view rest = text.substr(start, kMaxHost);
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos)
        return {};
    std::string_view host = rest.substr(0, slash);

    // Neither the user part nor the port names the site.
    if (const size_t at = host.rfind('@'); at != std::string_view::npos)
        host.remove_prefix(at + 1);
    if (host.starts_with('[')) {
        // A numeric IPv6 host stands in brackets, as links spell it.
        const size_t close = host.find(']');
        return AnsiString(close == std::string_view::npos ? host : host.substr(0, close + 1));
    }
    if (const size_t colon = host.find(':'); colon != std::string_view::npos)
        host = host.substr(0, colon);
    if (host.empty())
        return {};

    if (isIpv4Literal(host))
        return AnsiString(host);
    return AnsiString(registrablePart(host));
}

} // namespace vq
