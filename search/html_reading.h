// A page read from its HTML alone, without the browser: the text a person
// would see (as document.body.outerText gives it, in lines) and the page's
// links (as document.links gives them), for the same scanners. The reading
// vouches only for what HTML says by itself: a page whose text its own code
// could change (scripts written in it, handlers that run by themselves, a
// refresh), whose frames or layout rules it cannot follow, or whose bytes it
// cannot decode with certainty is refused, and left to the browser.
#pragma once

#include "text/ansi.h"

#include <string>
#include <string_view>
#include <vector>

namespace vq {

// Why a page is left to the browser; None: the reading holds.
enum class HtmlRefusal {
    None,
    Charset,  // no charset declared and not plain ASCII, or one it does not decode
    Parser,   // the parser gave no document (or none is built in), or the page is too big
    Frames,   // frames, iframes, objects or embedded documents
    Script,   // script code in the page itself, or handlers that run without the user
    Refresh,  // <meta http-equiv=refresh>
    Layout,   // style attributes or elements whose rendering it does not follow
    Link,     // a link or base address the browser would rewrite in a way of its own
    Pictures, // pictures, when numbers drawn as pictures are read
};
const char* refusalName(HtmlRefusal refusal);

struct HtmlReading {
    HtmlRefusal refusal = HtmlRefusal::None;
    AnsiString location;          // the page's address in the browser's form
    AnsiString text;              // its body text, lines separated by "\n"
    std::vector<AnsiString> links; // absolute, in document order
};

struct HtmlReadingRules {
    bool pictures = false; // numbers drawn as pictures are read: pages with pictures are refused
};

// The page at `url` (its final address, after redirects) from its bytes and
// the Content-Type of its answer.
HtmlReading readHtml(std::string_view body, std::string_view contentType, std::string_view url,
                     const HtmlReadingRules& rules = {});

// The encoding of a page's bytes as a browser decides it: a byte order mark,
// then the charset of the Content-Type, then a <meta> in the first 1024
// bytes; a page declaring none counts only when it is plain ASCII.
enum class PageCharset { Undecided, Utf8, Gbk, Latin1 };
PageCharset pageCharset(std::string_view contentType, std::string_view body);

// Whether a parser is built in (without one every page is refused).
bool htmlReadingAvailable();

} // namespace vq
