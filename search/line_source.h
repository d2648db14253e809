// Where the lanes take their lines from: the open URL list of a list crawl,
// or the frontier of a crawl that follows links.
#pragma once

#include "text/ansi.h"

#include <cstdint>

namespace vq {

// A line handed to the lanes.
struct SourceLine {
    AnsiString address;
    int64_t row = 0;     // the frontier's row; 0 for a list's line
    int depth = -1;      // on a frontier: clicks from a seed; -1 for a list's line
    AnsiString referrer; // on a frontier: the page it was found on; empty for a seed
};

class LineSource {
public:
    enum class Next {
        Line,  // `line` holds the next line
        Later, // none now, but pages still being done may bring more
        End,   // none left
    };
    virtual ~LineSource() = default;
    virtual Next next(SourceLine& line) = 0;
    // No line left, now or later.
    virtual bool exhausted() = 0;
};

} // namespace vq
