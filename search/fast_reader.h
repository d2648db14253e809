// The fast reading: a lane's pages read from their HTML over plain HTTP
// (html_reading.h) where that reading has proved to give what the browser's
// gives. A site's first pages are read both ways and compared; once
// kProofPages have matched, its pages are read from their HTML alone, every
// kSampleEvery-th one still both ways; the first difference sends the site
// back to the browser for the rest of the search. Pages the HTML reading
// cannot vouch for always go to the browser.
#pragma once

#include "ports/browser.h"
#include "ports/page_fetcher.h"
#include "search/html_reading.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace vq {

class FastTrust {
public:
    static constexpr int kProofPages = 2;
    static constexpr int kSampleEvery = 10;
    enum class Way { Browser, Both, Fast };

    // How the next page of `site` is read.
    Way wayFor(const AnsiString& site);
    // A page of `site` read both ways: whether the two readings matched.
    void record(const AnsiString& site, bool matched);
    void clear() { sites_.clear(); }

private:
    struct Site {
        int matched = 0;
        bool differed = false;
        int sinceCheck = 0;
    };
    std::map<AnsiString, Site> sites_;
};

// A page as its HTML reads, seen through the browser port.
class HtmlPage : public Browser {
public:
    void set(HtmlReading reading, int httpStatus);
    void navigate(const AnsiString&) override {}
    bool hasDocument() override { return true; }
    AnsiString locationUrl() override { return reading_.location; }
    int linkCount() override { return static_cast<int>(reading_.links.size()); }
    AnsiString link(int index) override;
    AnsiString bodyText() override { return reading_.text; }
    int httpStatus() override { return status_; }

private:
    HtmlReading reading_;
    int status_ = 0;
};

// A lane's browser with the fast reading in front of it. Off, it passes
// everything through.
class FastReader : public Browser {
public:
    FastReader(Browser& browser, PageFetcher& fetcher, FastTrust& trust);
    ~FastReader() override;
    FastReader(const FastReader&) = delete;
    FastReader& operator=(const FastReader&) = delete;

    // From the next navigation on; a fetch gives up after `timeoutMs`.
    void setOn(bool on, int timeoutMs);
    // How the latest navigation is read: Fast once its HTML is read and
    // trusted, Both when the browser reads it and its HTML reading waits to
    // be compared, Browser otherwise.
    FastTrust::Way way() const;
    // The HTML reading of a page read both ways.
    Browser& htmlReading() { return page_; }
    // The latest page's site, and why its HTML reading was not taken (null: it was).
    const AnsiString& site() const { return site_; }
    const char* leftToBrowser() const { return leftToBrowser_; }

    void navigate(const AnsiString& url) override;
    bool hasDocument() override;
    AnsiString locationUrl() override;
    int linkCount() override;
    AnsiString link(int index) override;
    AnsiString bodyText() override;
    void setReadFrames(bool on) override { browser_.setReadFrames(on); }
    void setSettleWhenIdle(bool on) override { browser_.setSettleWhenIdle(on); }
    std::vector<FrameDocument> frames() override;
    void setPictureMarkers(const std::vector<AnsiString>& markers) override;
    std::vector<AnsiString> pictureLines() override;
    void setUserAgent(const std::string& userAgent) override;
    bool proxyFailed() override;
    LoadResult loadResult() override;
    int httpStatus() override;
    bool answered() override;
    void recycle() override { browser_.recycle(); }

private:
    enum class State {
        Browser,  // the browser has the page (alone, or to be compared)
        Fetching, // its HTML is on its way
        Html,     // read from its HTML
    };
    void fetched(uint64_t generation, FetchedPage page);
    void toBrowser(const char* why);
    bool fromBrowser() const { return state_ == State::Browser; }

    Browser& browser_;
    PageFetcher& fetcher_;
    FastTrust& trust_;
    HtmlPage page_;
    bool on_ = false;
    int timeoutMs_ = 15000;
    HtmlReadingRules rules_;
    State state_ = State::Browser;
    FastTrust::Way planned_ = FastTrust::Way::Browser;
    bool compare_ = false; // the browser reads a page whose HTML reading waits
    AnsiString url_;
    AnsiString site_;
    const char* leftToBrowser_ = nullptr;
    uint64_t generation_ = 0;
    std::function<void(FrameId, const AnsiString&)> prevNavigate_, prevDocument_; // the browser's listeners before
    std::function<void()> prevGone_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0); // what the listeners and fetches check
};

} // namespace vq
