// Fax number extraction from the loaded page's visible text.
#pragma once

#include "ports/browser.h"
#include "ports/main_view.h"
#include "search/counters.h"
#include "search/result_list.h"

#include <optional>
#include <vector>

namespace vq {

// The number read from one line of page text after the marker and fixed
// replacements and normalisation, or nothing when the line yields none (also
// when its length is outside 11..29 bytes). `markers` are the marker-list lines.
std::optional<AnsiString> faxNumberFromLine(AnsiString line, const std::vector<AnsiString>& markers);

class FaxExtractor {
public:
    FaxExtractor(Browser& browser, MainView& view, ResultList& faxList, SearchCounters& counters);

    // Reads the body text, splits it into lines, takes at most one number from
    // each, and appends new ones to the fax list (dedup when "去重" is checked).
    void ExtractFaxNumbers();

    // The same on text already read (used by ExtractFaxNumbers and the batch command).
    void extractFromText(const AnsiString& pageText);

private:
    Browser& browser_;
    MainView& view_;
    ResultList& fax_;
    SearchCounters& counters_;
    std::vector<AnsiString> pageBuffer_; // PageBuffer: the lines of the page text
};

} // namespace vq
