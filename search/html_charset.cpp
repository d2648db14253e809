// How a page read without the browser is decoded: the encoding a browser
// would pick, and the decoding of the three families the reading takes.
#include "search/html_charset.h"

#include <algorithm>
#include <array>

namespace vq {

std::string asciiLowered(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c | 0x20);
    return out;
}

namespace {

bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (space(s.front()) || s.front() == '"' || s.front() == '\''))
        s.remove_prefix(1);
    while (!s.empty() && (space(s.back()) || s.back() == '"' || s.back() == '\'' || s.back() == ';'))
        s.remove_suffix(1);
    return s;
}

// The encoding a label names (WHATWG's labels of the three families).
PageCharset labelled(std::string_view label)
{
    static const char* const utf8[] = {"utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8",
                                       "x-unicode20utf8"};
    static const char* const gbk[] = {"gbk",      "gb2312",          "gb_2312",    "gb_2312-80", "chinese",
                                      "csgb2312", "csiso58gb231280", "iso-ir-58",  "x-gbk",      "gb18030"};
    static const char* const latin[] = {"ascii",      "us-ascii",   "iso-8859-1", "iso8859-1",       "iso_8859-1",
                                        "latin1",     "l1",         "windows-1252", "cp1252",        "x-cp1252",
                                        "cp819",      "ibm819",     "iso-ir-100", "csisolatin1",     "iso88591",
                                        "iso_8859-1:1987", "ansi_x3.4-1968", "csascii", "us-ascii"};
    const std::string l = asciiLowered(trimmed(label));
    for (const char* n : utf8)
        if (l == n)
            return PageCharset::Utf8;
    for (const char* n : gbk)
        if (l == n)
            return PageCharset::Gbk;
    for (const char* n : latin)
        if (l == n)
            return PageCharset::Latin1;
    return PageCharset::Undecided;
}

// The charset= parameter of a Content-Type value, if any.
std::optional<std::string> charsetParameter(std::string_view value)
{
    const std::string l = asciiLowered(value);
    const size_t at = l.find("charset");
    if (at == std::string::npos)
        return std::nullopt;
    size_t i = at + 7;
    while (i < l.size() && space(l[i]))
        ++i;
    if (i >= l.size() || l[i] != '=')
        return std::nullopt;
    ++i;
    while (i < l.size() && space(l[i]))
        ++i;
    size_t end = i;
    const char quote = i < l.size() && (l[i] == '"' || l[i] == '\'') ? l[i] : 0;
    if (quote)
        end = l.find(quote, ++i);
    else
        while (end < l.size() && l[end] != ';' && !space(l[end]))
            ++end;
    if (end == std::string::npos)
        end = l.size();
    return l.substr(i, end - i);
}

// The value of attribute `name` in a tag's text (behind "<meta").
std::optional<std::string> attribute(std::string_view tag, std::string_view name)
{
    const std::string l = asciiLowered(tag);
    size_t i = 0;
    while (i < l.size()) {
        while (i < l.size() && (space(l[i]) || l[i] == '/'))
            ++i;
        size_t e = i;
        while (e < l.size() && l[e] != '=' && !space(l[e]) && l[e] != '/')
            ++e;
        const std::string key = l.substr(i, e - i);
        while (e < l.size() && space(l[e]))
            ++e;
        std::string value;
        if (e < l.size() && l[e] == '=') {
            ++e;
            while (e < l.size() && space(l[e]))
                ++e;
            if (e < l.size() && (l[e] == '"' || l[e] == '\'')) {
                const char q = l[e];
                const size_t close = l.find(q, e + 1);
                const size_t stop = close == std::string::npos ? l.size() : close;
                value = std::string(tag.substr(e + 1, stop - e - 1));
                e = stop + 1;
            } else {
                size_t v = e;
                while (v < l.size() && !space(l[v]))
                    ++v;
                value = std::string(tag.substr(e, v - e));
                e = v;
            }
        }
        if (key == name)
            return value;
        if (e == i)
            ++e;
        i = e;
    }
    return std::nullopt;
}

// The charset a <meta> in the first 1024 bytes declares (the prescan, without
// its finer points: comments are passed over, the first declaring meta wins).
std::optional<std::string> metaCharset(std::string_view body)
{
    const std::string head = asciiLowered(body.substr(0, 1024));
    size_t i = 0;
    while ((i = head.find('<', i)) != std::string::npos) {
        if (head.compare(i, 4, "<!--") == 0) {
            const size_t end = head.find("-->", i + 4);
            if (end == std::string::npos)
                return std::nullopt;
            i = end + 3;
            continue;
        }
        if (head.compare(i, 5, "<meta") != 0 || i + 5 >= head.size() || !(space(head[i + 5]) || head[i + 5] == '/')) {
            ++i;
            continue;
        }
        const size_t end = head.find('>', i);
        if (end == std::string::npos)
            return std::nullopt;
        const std::string_view tag = std::string_view(body).substr(i + 5, end - i - 5);
        if (const auto cs = attribute(tag, "charset"))
            return *cs;
        const auto equiv = attribute(tag, "http-equiv");
        const auto content = attribute(tag, "content");
        if (equiv && asciiLowered(*equiv) == "content-type" && content)
            if (const auto cs = charsetParameter(*content))
                return *cs;
        i = end;
    }
    return std::nullopt;
}

bool ascii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Windows-1252's bytes 0x80..0x9F (0 where it has none: the browser keeps the C1 control).
constexpr std::array<char16_t, 32> kWindows1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

PageCharset pageCharset(std::string_view contentType, std::string_view body)
{
    if (body.starts_with("\xEF\xBB\xBF"))
        return PageCharset::Utf8;
    if (body.starts_with("\xFE\xFF") || body.starts_with("\xFF\xFE"))
        return PageCharset::Undecided; // UTF-16: the browser's
    if (const auto cs = charsetParameter(contentType))
        return labelled(*cs);
    if (const auto cs = metaCharset(body))
        return labelled(*cs);
    return ascii(body) ? PageCharset::Latin1 : PageCharset::Undecided;
}

std::optional<std::string> decodedToUtf8(std::string_view body, PageCharset charset)
{
    switch (charset) {
    case PageCharset::Undecided:
        return std::nullopt;
    case PageCharset::Utf8:
        if (body.starts_with("\xEF\xBB\xBF"))
            body.remove_prefix(3);
        return std::string(body); // the parser reads malformed bytes as U+FFFD, as the browser does
    case PageCharset::Gbk:
        // Code page 936 holds GBK's two-byte characters; GB 18030's four-byte
        // ones and stray bytes are left to the browser.
        for (size_t i = 0; i < body.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(body[i]);
            if (c < 0x80)
                continue;
            if (c == 0x80 || c == 0xFF || i + 1 >= body.size())
                return std::nullopt;
            const unsigned char t = static_cast<unsigned char>(body[i + 1]);
            if (t < 0x40 || t == 0x7F || t == 0xFF)
                return std::nullopt;
            ++i;
        }
        return ansiToUtf8(body);
    case PageCharset::Latin1: {
        if (ascii(body))
            return std::string(body);
        std::string out;
        out.reserve(body.size() + body.size() / 8);
        for (char b : body) {
            const unsigned char c = static_cast<unsigned char>(b);
            appendUtf8(out, c >= 0x80 && c < 0xA0 ? kWindows1252[c - 0x80] : char32_t(c));
        }
        return out;
    }
    }
    return std::nullopt;
}

} // namespace vq
