// The search counters and flags. One instance lives in the search engine; the
// crawl driver owns and changes them, the URL list source sets UrlTotal when a
// list is chosen, the scanners raise LinkCount and FaxCount, and the state file
// reads and writes ProgressIndex and UrlTotal.
#pragma once

#include <cstdint>
#include <string>

namespace vq {

struct SearchCounters {
    int32_t progressIndex = 0; // ProgressIndex: lines read from the open URL list
    int32_t urlTotal = 0;      // UrlTotal: lines counted in the list
    int32_t linkCount = 0;     // LinkCount
    int32_t faxCount = 0;      // FaxCount
    int32_t watchdogIndex = 0; // WatchdogIndex
    int32_t waitTicks = 0;     // WaitTicks
    bool stopRequested = false; // StopRequested
    std::string searchId;       // the search the counters and the result lists belong to (saved_results.h)
};

} // namespace vq
