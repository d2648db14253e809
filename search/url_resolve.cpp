#include "search/url_resolve.h"

#include <vector>

namespace vq {

namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; }

// Bytes the browser would percent-encode or read in a way of its own
// somewhere in a URL: left to it. '%' must start an escape, and one that
// could be a dot ("%2e") is left to it too.
bool plainText(std::string_view s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c <= 0x20 || c >= 0x7F)
            return false;
        switch (c) {
        case '\\': case '"': case '<': case '>': case '`': case '{': case '}': case '^': case '|':
            return false;
        case '%':
            if (i + 2 >= s.size() || !isHex(s[i + 1]) || !isHex(s[i + 2]))
                return false;
            if (s[i + 1] == '2' && lower(s[i + 2]) == 'e')
                return false;
            break;
        default:
            break;
        }
    }
    return true;
}

struct Parts {
    std::string scheme; // "http" or "https"
    std::string host;   // with ":port" when not the default
    std::string path;   // starts with '/'
    std::string query;  // with its '?', or empty
    std::string fragment; // with its '#', or empty
};

// Drops "." and ".." segments as the browser does: a final one leaves the
// path ending in '/'.
std::string withoutDots(std::string_view path)
{
    std::vector<std::string_view> kept;
    size_t i = 1; // behind the leading '/'
    bool trailing = false;
    while (i <= path.size()) {
        size_t end = path.find('/', i);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view seg = path.substr(i, end - i);
        const bool last = end == path.size();
        trailing = false;
        if (seg == ".") {
            trailing = last;
        } else if (seg == "..") {
            if (!kept.empty())
                kept.pop_back();
            trailing = last;
        } else {
            kept.push_back(seg);
        }
        i = end + 1;
    }
    std::string out;
    for (std::string_view seg : kept)
        out.append("/").append(seg);
    if (out.empty() || trailing)
        out += '/';
    return out;
}

// A dotted-quad IPv4 address, each part without leading zeros.
bool plainIpv4(std::string_view host)
{
    int parts = 0;
    size_t i = 0;
    while (i <= host.size()) {
        size_t end = host.find('.', i);
        if (end == std::string_view::npos)
            end = host.size();
        const std::string_view p = host.substr(i, end - i);
        if (p.empty() || p.size() > 3 || (p.size() > 1 && p[0] == '0'))
            return false;
        int v = 0;
        for (char c : p) {
            if (!isDigit(c))
                return false;
            v = v * 10 + (c - '0');
        }
        if (v > 255)
            return false;
        ++parts;
        i = end + 1;
    }
    return parts == 4;
}

// "host[:port]" of an http(s) address in the browser's form.
std::optional<std::string> authority(std::string_view a, std::string_view scheme)
{
    if (a.find('@') != std::string_view::npos || a.find('[') != std::string_view::npos)
        return std::nullopt; // user parts and IPv6 are the browser's
    const size_t colon = a.find(':');
    std::string host(a.substr(0, colon));
    if (host.empty())
        return std::nullopt;
    for (char& c : host) {
        c = lower(c);
        if (!isAlpha(c) && !isDigit(c) && c != '-' && c != '.' && c != '_')
            return std::nullopt;
    }
    // A last label of digits makes the browser read the host as IPv4.
    const size_t dot = host.rfind('.', host.size() > 1 ? host.size() - 2 : 0);
    std::string_view lastLabel = std::string_view(host).substr(dot == std::string::npos ? 0 : dot + 1);
    if (!lastLabel.empty() && lastLabel.back() == '.')
        lastLabel.remove_suffix(1);
    if (!lastLabel.empty() && (isDigit(lastLabel[0])) && !plainIpv4(host))
        return std::nullopt;
    if (colon == std::string_view::npos)
        return host;
    const std::string_view port = a.substr(colon + 1);
    if (port.empty())
        return host;
    long value = 0;
    for (char c : port) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 65535)
            return std::nullopt;
    }
    if ((scheme == "http" && value == 80) || (scheme == "https" && value == 443))
        return host;
    return host + ":" + std::to_string(value);
}

// Splits "path?query#fragment" (the path may be empty).
void splitTail(std::string_view tail, std::string& path, std::string& query, std::string& fragment)
{
    const size_t hash = tail.find('#');
    if (hash != std::string_view::npos) {
        fragment = std::string(tail.substr(hash));
        tail = tail.substr(0, hash);
    }
    const size_t q = tail.find('?');
    if (q != std::string_view::npos) {
        query = std::string(tail.substr(q));
        tail = tail.substr(0, q);
    }
    path = std::string(tail);
}

std::string queryOf(std::string q)
{
    // In the query of an http(s) address the browser escapes the apostrophe.
    std::string out;
    for (char c : q)
        out += c == '\'' ? std::string("%27") : std::string(1, c);
    return out;
}

std::string joined(const Parts& p)
{
    return p.scheme + "://" + p.host + withoutDots(p.path) + queryOf(p.query) + p.fragment;
}

// "//authority/path..." behind the scheme.
std::optional<Parts> fromAuthority(std::string_view scheme, std::string_view rest)
{
    rest.remove_prefix(2);
    const size_t end = rest.find_first_of("/?#");
    const std::string_view a = rest.substr(0, end);
    const std::optional<std::string> host = authority(a, scheme);
    if (!host)
        return std::nullopt;
    Parts p;
    p.scheme = std::string(scheme);
    p.host = *host;
    splitTail(end == std::string_view::npos ? std::string_view() : rest.substr(end), p.path, p.query, p.fragment);
    if (p.path.empty())
        p.path = "/";
    return p;
}

std::optional<Parts> parseAbsolute(std::string_view address)
{
    const size_t colon = address.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string scheme;
    for (char c : address.substr(0, colon))
        scheme += lower(c);
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    const std::string_view rest = address.substr(colon + 1);
    if (!rest.starts_with("//"))
        return std::nullopt;
    return fromAuthority(scheme, rest);
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20)
        s.remove_suffix(1);
    return s;
}

} // namespace

std::optional<std::string> canonicalAddress(std::string_view address)
{
    address = trimmed(address);
    if (!plainText(address))
        return std::nullopt;
    const std::optional<Parts> p = parseAbsolute(address);
    if (!p)
        return std::nullopt;
    return joined(*p);
}

std::optional<std::string> resolveLink(std::string_view base, std::string_view href)
{
    href = trimmed(href);
    // A scheme of its own other than http(s): kept as written, never harvested.
    size_t s = 0;
    while (s < href.size() && (isAlpha(href[s]) || (s > 0 && (isDigit(href[s]) || href[s] == '+' || href[s] == '-' || href[s] == '.'))))
        ++s;
    std::string scheme;
    if (s > 0 && s < href.size() && href[s] == ':') {
        for (char c : href.substr(0, s))
            scheme += lower(c);
        if (scheme != "http" && scheme != "https") {
            if (href.find_first_of("\t\n\r") != std::string_view::npos)
                return std::nullopt;
            return std::string(href);
        }
    }
    if (!plainText(href))
        return std::nullopt;
    std::optional<Parts> b = parseAbsolute(base);
    if (!b)
        return std::nullopt;
    if (!scheme.empty()) {
        const std::string_view rest = href.substr(s + 1);
        if (rest.starts_with("//")) {
            const std::optional<Parts> p = fromAuthority(scheme, rest);
            return p ? std::optional<std::string>(joined(*p)) : std::nullopt;
        }
        if (scheme != b->scheme)
            return std::nullopt; // "http:host" against https: the browser's reading
        href = rest;             // "http:page.html" against http: relative
    }
    if (href.starts_with("//")) {
        const std::optional<Parts> p = fromAuthority(b->scheme, href);
        return p ? std::optional<std::string>(joined(*p)) : std::nullopt;
    }
    Parts p = *b;
    p.fragment.clear();
    if (href.empty())
        return joined(p);
    if (href[0] == '#') {
        p.fragment = std::string(href);
        return joined(p);
    }
    std::string path, query, fragment;
    splitTail(href, path, query, fragment);
    p.fragment = fragment;
    if (path.empty()) { // "?q": the base's path
        p.query = query;
        return joined(p);
    }
    p.query = query;
    if (path[0] == '/') {
        p.path = path;
    } else {
        const size_t slash = b->path.rfind('/');
        p.path = b->path.substr(0, slash + 1) + path;
    }
    return joined(p);
}

} // namespace vq
