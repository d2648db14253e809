// Built without an HTML parser: every page is left to the browser.
#include "search/html_reading.h"

namespace vq {

bool htmlReadingAvailable() { return false; }

HtmlReading readHtml(std::string_view, std::string_view, std::string_view, const HtmlReadingRules&)
{
    HtmlReading r;
    r.refusal = HtmlRefusal::Parser;
    return r;
}

} // namespace vq
