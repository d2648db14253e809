// A page read by a lane, waiting for its turn to be added to the results (the
// result lists, or the frontier).
#pragma once

#include "ports/search_observer.h"
#include "text/ansi.h"

#include <cstdint>
#include <vector>

namespace vq {

struct PageResult {
    PageRecord record;
    bool report = true;             // false: a line of another shard, never visited
    std::vector<AnsiString> links;  // read from the page, not yet added
    std::vector<AnsiString> fax;
    std::vector<AnsiString> pictureFax; // those of `fax` read from a picture
    int64_t row = 0;                // the frontier's row; 0 for a list's line
    std::vector<AnsiString> follow; // on a frontier below its depth: the links to follow
};

} // namespace vq
