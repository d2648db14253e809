#include "search/fax_extractor.h"

#include "text/integer.h"
#include "text/replace.h"
#include "text/text_file.h"

#include <cstdint>
#include <cstring>

namespace vq {
namespace {

// Code page 936 bytes of the texts the extraction works with.
constexpr std::string_view kFaxWord = "\xB4\xAB\xD5\xE6";        // 传真
constexpr std::string_view kNormalMarker = "\xB4\xAB\xD5\xE6:";  // 传真:
constexpr std::string_view kFaxColon = "fax:";                  // any letter case
constexpr std::string_view kFaxWideColon = "fax\xA3\xBA";      // fax：
constexpr std::string_view kNumberChars = "0123456789(-+)";
constexpr size_t kMaxTail = 255;

struct Replacement {
    std::string_view find;
    std::string_view with;
};

// Applied to every line after the marker list, in this order.
constexpr Replacement kFixedReplacements[] = {
    {"\xB4\xAB\xD5\xE6 ", kNormalMarker},                     // "传真 "
    {" ", ""},
    {"\xA1\xA1", ""},                                         // ideographic space
    {"\xB4\xAB\xD5\xE6\xBA\xC5\xC2\xEB:", kNormalMarker},     // "传真号码:"
    {"\xB4\xAB\xD5\xE6\xBA\xC5\xC2\xEB\xA3\xBA", kNormalMarker}, // "传真号码："
    {"\xB4\xAB\xD5\xE6\xA3\xBA", kNormalMarker},              // "传真："
    {"Fax\xA3\xBA", kNormalMarker},                           // "Fax："
    {"Fax:", kNormalMarker},
    {"FAX\xA3\xBA", kNormalMarker},                           // "FAX："
    {"FAX:", kNormalMarker},
    {"\xB4\xAB\xD5\xE6):", kNormalMarker},                    // "传真):"
    {"\xB4\xAB\xD5\xE6\xA3\xA9\xA3\xBA", kNormalMarker},      // "传真）："
    {"\xB4\xAB\xD5\xE6)\xA3\xBA", kNormalMarker},             // "传真)："
    {kNormalMarker, kFaxWord},                                // "传真:" -> "传真"
};

// Prefixes of the international form, dropped in this order.
constexpr std::string_view kCountryPrefixes[] = {"0086-", "0086", "086-", "086", "86-", "86"};

constexpr unsigned char foldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c | 0x20 : c; }

// The number behind the first fax word of an already replaced line, normalised.
std::optional<AnsiString> numberBehindFaxWord(const AnsiString& line)
{
    const size_t at = findBytes(line, kFaxWord);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::string_view tail = std::string_view(line).substr(at + kFaxWord.size(), kMaxTail);

    const size_t end = tail.find_first_not_of(kNumberChars);
    AnsiString number(tail.substr(0, end));

    for (int pass = 0; pass < 2; ++pass) {
        replaceAllIgnoreCase(number, "(", "-");
        replaceAllIgnoreCase(number, ")", "-");
    }
    for (int pass = 0; pass < 2; ++pass)
        replaceAllIgnoreCase(number, "+", "");
    for (int pass = 0; pass < 2; ++pass)
        replaceAllIgnoreCase(number, "--", "-");
    if (!number.empty() && number.front() == '-')
        number.erase(0, 1);
    for (std::string_view prefix : kCountryPrefixes) {
        if (number.starts_with(prefix))
            number = number.substr(prefix.size(), kMaxTail);
    }
    if (number.empty() || number.front() != '0')
        number.insert(0, 1, '0');
    if (number.back() == '-')
        number.pop_back();

    if (number.size() <= 10 || number.size() >= 30)
        return std::nullopt;
    return number;
}

// Whether `pattern` occurs at `at` in `text`, ASCII letters compared without
// regard to case, where any 0x20 or 0xA1 bytes may stand between the pattern's
// bytes (they are what the replacements delete).
bool matchesAcrossDeletions(std::string_view text, size_t at, std::string_view pattern)
{
    const auto* b = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t j = at;
    for (size_t k = 0; k < pattern.size(); ++k) {
        if (k > 0) {
            while (j < n && (b[j] == 0x20 || b[j] == 0xA1))
                ++j;
        }
        if (j >= n || foldAscii(b[j]) != foldAscii(static_cast<unsigned char>(pattern[k])))
            return false;
        ++j;
    }
    return true;
}

// Whether `pattern` occurs at `at` in `text`, every ASCII letter byte compared
// without regard to case (also a trail byte that looks like one: this accepts
// at least every match the replacement can make).
bool matchesFolded(std::string_view text, size_t at, std::string_view pattern)
{
    if (pattern.size() > text.size() - at)
        return false;
    for (size_t k = 0; k < pattern.size(); ++k) {
        if (foldAscii(static_cast<unsigned char>(text[at + k])) != foldAscii(static_cast<unsigned char>(pattern[k])))
            return false;
    }
    return true;
}

bool containsFolded(std::string_view text, std::string_view pattern)
{
    for (size_t i = 0; i + pattern.size() <= text.size(); ++i) {
        if (matchesFolded(text, i, pattern))
            return true;
    }
    return false;
}

} // namespace

std::optional<AnsiString> faxNumberFromLineReference(AnsiString line, const std::vector<AnsiString>& markers)
{
    for (const AnsiString& marker : markers)
        replaceAllIgnoreCase(line, marker, kNormalMarker);
    for (const Replacement& r : kFixedReplacements)
        replaceAllIgnoreCase(line, r.find, r.with);
    return numberBehindFaxWord(line);
}

bool pictureMayBeNumber(std::string_view before, const std::vector<AnsiString>& markers)
{
    constexpr char kPicture = '\x01'; // stands for the picture: no replacement touches it
    AnsiString line(before);
    line += kPicture;
    for (const AnsiString& marker : markers)
        replaceAllIgnoreCase(line, marker, kNormalMarker);
    for (const Replacement& r : kFixedReplacements)
        replaceAllIgnoreCase(line, r.find, r.with);
    const size_t at = findBytes(line, kFaxWord);
    if (at == std::string_view::npos)
        return false;
    const std::string_view between = std::string_view(line).substr(at + kFaxWord.size());
    const size_t picture = between.find(kPicture);
    return picture != std::string_view::npos &&
           between.substr(0, picture).find_first_of("0123456789") == std::string_view::npos;
}

std::optional<AnsiString> faxNumberFromLine(AnsiString line, const std::vector<AnsiString>& markers)
{
    return FaxLineScanner(markers)(line);
}

// ---- FaxLineScanner ----------------------------------------------------------

FaxLineScanner::FaxLineScanner(std::vector<AnsiString> markers) : markers_(std::move(markers))
{
    interesting_[0xB4] = true; // first byte of the fax word
    interesting_['f'] = interesting_['F'] = true;
    for (const AnsiString& marker : markers_) {
        if (marker.empty())
            continue; // an empty marker changes nothing
        // A match of this marker holds the fax word or "fax" with a colon
        // itself, which the pattern test finds anyway.
        if (containsFolded(marker, kFaxWord) || containsFolded(marker, kFaxColon)
            || containsFolded(marker, kFaxWideColon))
            continue;
        extraMarkers_.push_back(marker);
        const unsigned char first = foldAscii(static_cast<unsigned char>(marker[0]));
        interesting_[first] = true;
        if (first >= 'a' && first <= 'z')
            interesting_[first & ~0x20] = true;
    }
}

bool FaxLineScanner::mayStartAt(std::string_view line, size_t i) const
{
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c == 0xB4 && matchesAcrossDeletions(line, i, kFaxWord))
        return true;
    if ((c | 0x20) == 'f'
        && (matchesAcrossDeletions(line, i, kFaxColon) || matchesAcrossDeletions(line, i, kFaxWideColon)))
        return true;
    for (const AnsiString& marker : extraMarkers_) {
        if (matchesFolded(line, i, marker))
            return true;
    }
    return false;
}

bool FaxLineScanner::mayYield(std::string_view line) const
{
    const auto* b = reinterpret_cast<const unsigned char*>(line.data());
    const size_t n = line.size();
    size_t i = 0;
    if (extraMarkers_.empty()) {
        // Eight bytes at a time: go into a word only when it holds 0xB4, 'f' or 'F'.
        constexpr uint64_t ones = 0x0101010101010101ULL;
        constexpr uint64_t highs = 0x8080808080808080ULL;
        auto hasZeroByte = [](uint64_t v) { return ((v - ones) & ~v & highs) != 0; };
        for (; i + 8 <= n; i += 8) {
            uint64_t w;
            std::memcpy(&w, b + i, 8);
            if (!hasZeroByte(w ^ (0xB4 * ones)) && !hasZeroByte((w | (0x20 * ones)) ^ ('f' * ones)))
                continue;
            for (size_t k = i; k < i + 8; ++k) {
                if (interesting_[b[k]] && mayStartAt(line, k))
                    return true;
            }
        }
    }
    for (; i < n; ++i) {
        if (interesting_[b[i]] && mayStartAt(line, i))
            return true;
    }
    return false;
}

std::optional<AnsiString> FaxLineScanner::operator()(std::string_view line) const
{
    if (!mayYield(line))
        return std::nullopt;
    return faxNumberFromLineReference(AnsiString(line), markers_);
}

// ---- the page ------------------------------------------------------------------

void faxNumbersInText(const AnsiString& pageText, const FaxLineScanner& scan, std::vector<AnsiString>& out)
{
    for (const AnsiString& line : splitList(pageText)) {
        if (std::optional<AnsiString> number = scan(line))
            out.push_back(std::move(*number));
    }
}

void ExtractFaxNumbers(Browser& browser, const FaxLineScanner& scan, std::vector<AnsiString>& out,
                       std::vector<AnsiString>* fromPictures)
{
    const std::vector<AnsiString> pictures = fromPictures ? browser.pictureLines() : std::vector<AnsiString>{};
    for (const AnsiString& line : pictures) {
        if (std::optional<AnsiString> number = scan(line))
            fromPictures->push_back(std::move(*number));
    }
    faxNumbersInText(browser.bodyText(), scan, out);
    // A frame's lines come after the page's, each frame's after the one before.
    for (const FrameDocument& frame : browser.frames())
        faxNumbersInText(frame.text, scan, out);
}

} // namespace vq
