// Fax number extraction from the loaded page's visible text.
#pragma once

#include "ports/browser.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace vq {

// The number read from one line of page text after the marker and fixed
// replacements and normalisation, or nothing when the line yields none (also
// when its length is outside 11..29 bytes). `markers` are the marker-list lines.
std::optional<AnsiString> faxNumberFromLine(AnsiString line, const std::vector<AnsiString>& markers);

// The same, computed step by step on every line without the quick rejection of
// FaxLineScanner. Kept as the yardstick the fast path is checked and timed against.
std::optional<AnsiString> faxNumberFromLineReference(AnsiString line, const std::vector<AnsiString>& markers);

// faxNumberFromLine for many lines with one marker list. Most lines of a page
// cannot yield a number; mayYield() recognises them with one pass over the
// bytes, and only the remaining lines go through the full step-by-step work.
class FaxLineScanner {
public:
    explicit FaxLineScanner(std::vector<AnsiString> markers);

    std::optional<AnsiString> operator()(std::string_view line) const;

    // False only when the line certainly yields nothing. A line yields a number
    // only if, once all replacements are done, it holds the fax word. Before the
    // fax word search the replacements delete spaces and ideographic spaces, and
    // insert the fax word only where the text (as far as it is not yet changed)
    // holds a marker, the fax word, or "fax" in any letter case followed by ":"
    // or "：". So unless the original line holds a marker (any letter case, any
    // position), or the fax word or "fax:" / "fax：" (any case) with only 0x20 /
    // 0xA1 bytes between their bytes, nothing is ever inserted, the deletions
    // cannot assemble the fax word, and the fax word search fails.
    bool mayYield(std::string_view line) const;

private:
    bool mayStartAt(std::string_view line, size_t i) const; // a pattern or marker may begin at i

    std::vector<AnsiString> markers_;        // as given, for the full computation
    std::vector<AnsiString> extraMarkers_;   // markers the two patterns above do not cover
    std::array<bool, 256> interesting_{};    // bytes that may start a match
};

// Whether a picture that stands after `before` on its line stands where a
// number would: the line up to it holds a fax marker word (after the markers'
// normalisation, as faxNumberFromLine applies it), with no digit between the
// first one and the picture.
bool pictureMayBeNumber(std::string_view before, const std::vector<AnsiString>& markers);

// The numbers in a page's text, one at most from each line, in page order
// (repeats included): appended to `out`.
void faxNumbersInText(const AnsiString& pageText, const FaxLineScanner& scan, std::vector<AnsiString>& out);

// The same on the body text of the page `browser` holds, then on each of the
// frames read with it. A failed read throws and adds nothing. The numbers
// read from a line that holds a picture's reading also go to `fromPictures`.
void ExtractFaxNumbers(Browser& browser, const FaxLineScanner& scan, std::vector<AnsiString>& out,
                       std::vector<AnsiString>* fromPictures = nullptr);

} // namespace vq
