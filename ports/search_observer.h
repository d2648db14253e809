// What a running search tells its front end: the window maps these events to
// its panels, lists, progress bar and tray; vqharvest prints its progress line,
// report and summary from them. All calls come on the thread the search runs on.
#pragma once

#include "text/ansi.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace vq {

// How the search left one line of the list.
enum class PageOutcome {
    Scanned,         // the page completed and was scanned
    Timeout,         // the wait bound ran out (scanned as far as loaded) or the watchdog moved on
    NavigationError, // the load failed; what the browser showed was scanned
    RenderFailure,   // the page's renderer died or could not be read
    SkippedScheme,   // not an http or https address: not navigated
    NotAnAddress,    // no address at all (binary junk, no host): not navigated
    Robots,          // its site's robots.txt forbids it: not navigated
};
inline constexpr size_t kPageOutcomeCount = 7;
const char* outcomeName(PageOutcome outcome); // vqharvest's report: "timeout", ...
const char* outcomeText(PageOutcome outcome); // the window's words, UTF-8: "超时", ...
// Why a search stopped after `count` render failures in a row (UTF-8).
std::string renderFailuresText(int count);

// One line done, reported in list order.
// How a page was read with the fast reading on: by the browser alone, from
// its HTML alone, or both ways, the two readings compared.
enum class PageReading {
    Browser, // the browser (also every page with the fast reading off)
    Fast,    // its HTML, on a site whose readings have matched the browser's
    Checked, // both ways, and they matched
    Differed, // both ways, and they did not: the browser's reading was taken
};

struct PageRecord {
    int32_t line = 0;            // counted from 1
    AnsiString address;          // as read from the list
    AnsiString finalUrl;         // where the browser ended up (empty when unknown)
    PageOutcome outcome = PageOutcome::Scanned;
    int64_t ms = 0;              // from navigation to done
    std::vector<AnsiString> fax; // numbers this line added to the fax list
    std::vector<AnsiString> ocr; // those of `fax` read from a picture
    int32_t links = 0;           // links this line added to the link list
    int attempts = 1;            // navigations of this line (more than 1: retried)
    int httpStatus = 0;          // the answer's HTTP status; 0 when none came
    int depth = -1;              // on a frontier: clicks from a seed; -1 for a list's line
    AnsiString referrer;         // on a frontier: the page it was found on (empty: a seed)
    PageReading reading = PageReading::Browser;
    const char* leftToBrowser = nullptr; // why its HTML alone would not do (HtmlRefusal's name), if it was read
};

struct SearchProgress {
    int32_t line = 0;      // lines read from the list so far (0: none yet)
    int32_t position = 0;  // lines from the top that are all done: the resume point
    int32_t total = 0;     // lines in the list, as last counted
    int32_t links = 0;     // items in the link list
    int32_t fax = 0;       // items in the fax list
    size_t busyLanes = 0;  // lanes with a page in flight
    size_t lanes = 0;
    double pagesPerSecond = 0;
    AnsiString address;    // the address read last
    // On a frontier: pages done (as `position`), waiting, and the deepest depth reached.
    bool frontier = false;
    int64_t queued = 0;
    int depthReached = 0;
};

enum class SearchEnd {
    Completed,      // the list was worked through
    Stopped,        // "终止", or a stop at once
    RenderFailures, // pages could no longer be rendered: stopped, saved
    ProxyFailures,  // lines in a row failed at the proxy: stopped, saved
};

struct SearchFinish {
    SearchEnd how = SearchEnd::Completed;
    int32_t position = 0;   // the resume point saved
    std::string error;      // the state could not be saved (UTF-8), empty when it was
    int renderFailures = 0; // with RenderFailures: how many pages in a row could not be shown
    int proxyFailures = 0;  // with ProxyFailures: how many lines in a row failed at the proxy
};

class SearchObserver {
public:
    virtual ~SearchObserver() = default;
    virtual void started(const SearchProgress&) {}
    virtual void progress(const SearchProgress&) {}
    virtual void pageDone(const PageRecord&) {}
    virtual void status(const std::string& utf8) { (void)utf8; } // the status line's text
    virtual void finished(const SearchFinish&) {}
    // A step of the search failed (a tick, an autosave, a page that could not
    // be stored); the search has done what it could and goes on or has stopped.
    virtual void stepFailed(const std::exception&) {}
    // The search's state and results are being written (true), or are written (false).
    virtual void saving(bool) {}
};

} // namespace vq
