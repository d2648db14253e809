#include "search/fast_reader.h"

#include "search/html_charset.h"
#include "search/link_harvester.h"
#include "search/url_resolve.h"
#include "text/errors.h"

#include <utility>

namespace vq {

// ---- trust ------------------------------------------------------------------------

FastTrust::Way FastTrust::wayFor(const AnsiString& site)
{
    Site& s = sites_[site];
    if (s.differed)
        return Way::Browser;
    if (s.matched < kProofPages)
        return Way::Both;
    if (++s.sinceCheck >= kSampleEvery) {
        s.sinceCheck = 0;
        return Way::Both;
    }
    return Way::Fast;
}

void FastTrust::record(const AnsiString& site, bool matched)
{
    Site& s = sites_[site];
    if (matched)
        ++s.matched;
    else
        s.differed = true;
}

// ---- a page read from its HTML -------------------------------------------------------

void HtmlPage::set(HtmlReading reading, int httpStatus)
{
    reading_ = std::move(reading);
    status_ = httpStatus;
}

AnsiString HtmlPage::link(int index)
{
    if (index < 0 || index >= linkCount())
        throw Exception("link index out of range");
    return reading_.links[size_t(index)];
}

// ---- the reader -------------------------------------------------------------------------

FastReader::FastReader(Browser& browser, PageFetcher& fetcher, FastTrust& trust)
    : browser_(browser), fetcher_(fetcher), trust_(trust)
{
    // The browser's events count only while it has the page; whoever
    // listened to the browser before still hears them all.
    prevNavigate_ = browser_.onNavigateComplete2;
    prevDocument_ = browser_.onDocumentComplete;
    prevGone_ = browser_.onRendererGone;
    // The reader may go before the browser: its part of the listeners then
    // stays silent.
    std::weak_ptr<int> alive = alive_;
    browser_.onNavigateComplete2 = [this, alive, prev = prevNavigate_](FrameId f, const AnsiString& u) {
        if (prev)
            prev(f, u);
        if (!alive.expired() && fromBrowser() && onNavigateComplete2)
            onNavigateComplete2(f, u);
    };
    browser_.onDocumentComplete = [this, alive, prev = prevDocument_](FrameId f, const AnsiString& u) {
        if (prev)
            prev(f, u);
        if (!alive.expired() && fromBrowser() && onDocumentComplete)
            onDocumentComplete(f, u);
    };
    browser_.onRendererGone = [this, alive, prev = prevGone_] {
        if (prev)
            prev();
        if (!alive.expired() && fromBrowser() && onRendererGone)
            onRendererGone();
    };
}

// The browser and the fetcher may already be gone (they belong to the front
// end): nothing of theirs is touched here.
FastReader::~FastReader() = default;

void FastReader::setOn(bool on, int timeoutMs)
{
    on_ = on;
    timeoutMs_ = timeoutMs;
}

FastTrust::Way FastReader::way() const
{
    if (state_ == State::Html)
        return FastTrust::Way::Fast;
    return compare_ ? FastTrust::Way::Both : FastTrust::Way::Browser;
}

void FastReader::navigate(const AnsiString& url)
{
    ++generation_;
    fetcher_.cancel();
    state_ = State::Browser;
    compare_ = false;
    leftToBrowser_ = nullptr;
    url_ = url;
    site_.clear();
    if (!on_) {
        browser_.navigate(url);
        return;
    }
    // The browser puts "http://" in front of an address without a scheme.
    std::string address = ansiToUtf8(url);
    if (address.find("://") == std::string::npos)
        address = "http://" + address;
    const std::optional<std::string> canonical = canonicalAddress(address);
    if (!canonical) {
        toBrowser(refusalName(HtmlRefusal::Link));
        return;
    }
    site_ = SiteKey(*canonical); // plain ASCII: the same bytes in code page 936
    planned_ = trust_.wayFor(site_);
    if (planned_ == FastTrust::Way::Browser) {
        toBrowser("site"); // a site whose HTML reading has differed
        return;
    }
    state_ = State::Fetching;
    const uint64_t generation = generation_;
    std::weak_ptr<int> alive = alive_;
    fetcher_.fetch(*canonical, timeoutMs_, [this, alive, generation](FetchedPage page) {
        if (!alive.expired())
            fetched(generation, std::move(page));
    });
}

void FastReader::toBrowser(const char* why)
{
    leftToBrowser_ = why;
    state_ = State::Browser;
    browser_.navigate(url_);
}

void FastReader::fetched(uint64_t generation, FetchedPage page)
{
    if (generation != generation_ || state_ != State::Fetching)
        return;
    if (page.ending == FetchedPage::Ending::TimedOut)
        return; // the page's own bound ends it, as a page the browser waited for
    const bool html = asciiLowered(std::string_view(page.contentType).substr(0, 9)) == "text/html";
    if (page.ending != FetchedPage::Ending::Answered || page.httpStatus < 200 || page.httpStatus > 299 || !html) {
        // Errors, redirects left over and other types: the browser's word on them.
        toBrowser("answer");
        return;
    }
    HtmlReading reading = readHtml(page.body, page.contentType, page.finalUrl, rules_);
    if (reading.refusal != HtmlRefusal::None) {
        toBrowser(refusalName(reading.refusal));
        return;
    }
    page_.set(std::move(reading), page.httpStatus);
    if (planned_ == FastTrust::Way::Both) {
        compare_ = true;
        state_ = State::Browser;
        browser_.navigate(url_);
        return;
    }
    state_ = State::Html;
    const AnsiString location = page_.locationUrl();
    if (onNavigateComplete2)
        onNavigateComplete2(this, location);
    if (onDocumentComplete)
        onDocumentComplete(this, location);
}

bool FastReader::hasDocument()
{
    // While the HTML is on its way the page is loading, as a browser's page
    // is: its bound applies, not the watchdog's.
    return state_ != State::Browser || browser_.hasDocument();
}

AnsiString FastReader::locationUrl()
{
    if (state_ == State::Fetching)
        return {};
    return state_ == State::Html ? page_.locationUrl() : browser_.locationUrl();
}

int FastReader::linkCount()
{
    if (state_ == State::Fetching)
        return 0;
    return state_ == State::Html ? page_.linkCount() : browser_.linkCount();
}

AnsiString FastReader::link(int index)
{
    return state_ == State::Html ? page_.link(index) : browser_.link(index);
}

AnsiString FastReader::bodyText()
{
    if (state_ == State::Fetching)
        return {};
    return state_ == State::Html ? page_.bodyText() : browser_.bodyText();
}

std::vector<FrameDocument> FastReader::frames()
{
    return fromBrowser() ? browser_.frames() : std::vector<FrameDocument>{};
}

void FastReader::setPictureMarkers(const std::vector<AnsiString>& markers)
{
    rules_.pictures = !markers.empty();
    browser_.setPictureMarkers(markers);
}

std::vector<AnsiString> FastReader::pictureLines()
{
    return fromBrowser() ? browser_.pictureLines() : std::vector<AnsiString>{};
}

void FastReader::setUserAgent(const std::string& userAgent)
{
    browser_.setUserAgent(userAgent);
    fetcher_.setUserAgent(userAgent);
}

bool FastReader::proxyFailed()
{
    return fromBrowser() && browser_.proxyFailed();
}

LoadResult FastReader::loadResult()
{
    switch (state_) {
    case State::Fetching: return LoadResult::Pending;
    case State::Html: return LoadResult::Succeeded;
    case State::Browser: break;
    }
    return browser_.loadResult();
}

int FastReader::httpStatus()
{
    switch (state_) {
    case State::Fetching: return 0;
    case State::Html: return page_.httpStatus();
    case State::Browser: break;
    }
    return browser_.httpStatus();
}

bool FastReader::answered()
{
    switch (state_) {
    case State::Fetching: return false;
    case State::Html: return true;
    case State::Browser: break;
    }
    return browser_.answered();
}

} // namespace vq
