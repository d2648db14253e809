// What vqharvest crawl prints and writes while a search runs: the progress
// line on stderr, the report (one JSON object per line of the list), and the
// summary at the end, all from the search's events.
#pragma once

#include "ports/search_observer.h"
#include "text/text_file.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace vq::cli {

// One JSON object per line of the list, written as each line is done:
// {"line","url","final","outcome","ms","fax":[…],"links","attempts"}, and
// "status" when an HTTP answer came; with --fast, "read" (browser, fast,
// checked or differed) and "why" a page was left to the browser.
class CrawlReport {
public:
    CrawlReport(const std::filesystem::path& path, bool append); // throws naming the file
    void write(const PageRecord& record);
    // Raises when a line could not be written.
    void close();

private:
    std::filesystem::path path_;
    LineLog log_;
    bool failed_ = false;
};

std::string reportLine(const PageRecord& record);

class CrawlOutput : public SearchObserver {
public:
    CrawlOutput(bool showProgress, std::unique_ptr<CrawlReport> report);

    void progress(const SearchProgress& p) override;
    void pageDone(const PageRecord& record) override;
    void finished(const SearchFinish& f) override;
    void stepFailed(const std::exception& e) override; // "vqharvest: error: FILE: text" on stderr

    // Errors reported so far (stepFailed(), and whatever the front end reports through error()).
    int errors() const { return errors_; }
    void error(const std::string& text);   // "vqharvest: error: text"
    void message(const std::string& text); // "vqharvest: text"

    // Called once the search has finished.
    std::function<void()> onFinished;
    std::string proxy; // as the messages name it; empty: none
    bool hasFinished() const { return finished_.has_value(); }
    const std::optional<SearchFinish>& finish() const { return finished_; }

    // Ends the progress line so that later output starts on a new line.
    void endProgressLine();
    // The report closed; false (with the reason on stderr) when it was incomplete.
    bool closeReport();
    // "vqharvest: N pages, R pages/s; failed: …"
    // Unless `saved`, the lines are reported as crawled and not saved.
    void printSummary(const SearchProgress& last, bool pagesReportedErrors, bool saved = true) const;

private:
    void draw(const SearchProgress& p);

    bool show_;
    bool tty_;
    std::unique_ptr<CrawlReport> report_;
    std::array<int, kPageOutcomeCount> byOutcome_{};
    int pages_ = 0;
    int doneOnRetry_ = 0; // scanned on a second or later attempt
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    int32_t firstLine_ = -1;
    std::chrono::steady_clock::time_point firstAt_;
    std::string lastText_;
    int32_t lastDrawnLine_ = -1;
    bool drawn_ = false;
    int errors_ = 0;
    std::optional<SearchFinish> finished_;
};

} // namespace vq::cli
