#include "search/crawl_driver.h"

#include "search/saved_results.h"
#include "state/search_state.h"
#include "text/integer.h"
#include "text/paths.h"

#include <algorithm>
#include <exception>
#include <system_error>

namespace vq {

namespace {

// Whether a file (not a directory) exists at the list path.
bool listFileExists(const AnsiString& ansiPath)
{
    if (ansiPath.empty())
        return false;
    std::error_code ec;
    const auto status = std::filesystem::status(ansiToPath(ansiPath), ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

} // namespace

int CrawlDriver::clampedSpeed(int seconds)
{
    return std::clamp(seconds, kMinSpeed, kMaxSpeed);
}

int CrawlDriver::pageIntervalMs(int seconds)
{
    return clampedSpeed(seconds) * 1000;
}

int CrawlDriver::watchdogIntervalMs(int seconds)
{
    return clampedSpeed(seconds) * 15000;
}

CrawlDriver::CrawlDriver(MainView& view, Prompts& prompts, Browser& browser, HostLookup& host,
                         Timer& timer1, Timer& timer2, Timer& timer3,
                         UrlListSource& urlList, PageCompleteRule& page,
                         LinkHarvester& harvester, FaxExtractor& extractor,
                         ResultList& links, ResultList& fax, SearchCounters& counters,
                         std::filesystem::path programDir)
    : view_(view), prompts_(prompts), browser_(browser), host_(host),
      timer1_(timer1), timer2_(timer2), timer3_(timer3),
      urlList_(urlList), page_(page), harvester_(harvester), extractor_(extractor),
      links_(links), fax_(fax), counters_(counters), programDir_(std::move(programDir))
{
}

void CrawlDriver::N2Click()
{
    // The refusals come first and touch nothing.
    if (!view_.isChecked(Switch::Links) && !view_.isChecked(Switch::Fax)) {
        prompts_.message("请至少选择一个搜索项目才可以开始");
        return;
    }
    if (!listFileExists(view_.listPath())) {
        prompts_.information("您还没有选择网址列表文件！");
        return;
    }
    if (host_.localAddress() == "127.0.0.1") {
        prompts_.information("您还没有连接到网上！");
        return;
    }

    counters_.stopRequested = false;
    counters_.progressIndex = 0;
    counters_.watchdogIndex = 0;
    counters_.faxCount = 0;
    counters_.linkCount = 0;
    counters_.searchId = newSearchId();
    links_.clear();
    fax_.clear();

    view_.applyButtonSet(ButtonSet::Searching);
    timer1_.setInterval(pageIntervalMs(view_.speed()));

    // Panel 1 shows the total as last counted; the list is not recounted here.
    view_.setPanel(kPanelUrlTotal, intToStr(counters_.urlTotal));
    view_.setPanel(kPanelLinks, "");
    view_.setPanel(kPanelFax, "");
    view_.setPanel(kPanelStatus, "正在搜索...");
    view_.setPanel(kPanelProgress, "");

    if (view_.isChecked(Switch::Autosave))
        timer2_.setEnabled(true);
    timer3_.setEnabled(true);

    try {
        urlList_.open();
    } catch (...) {
        // Nothing was read: leave the window in the stopped state instead of
        // showing a search that only the watchdog would end, then report.
        timer1_.setEnabled(false);
        timer2_.setEnabled(false);
        timer3_.setEnabled(false);
        try {
            urlList_.close(); // a list still open from a search that was stopping
        } catch (...) {
        }
        view_.setPanel(kPanelStatus, "搜索已经结束!");
        view_.applyButtonSet(ButtonSet::Stopped);
        throw;
    }

    // A failed first advance is dropped: the watchdog retries it. A failed
    // finish (an empty list whose state cannot be written) is reported, since
    // the window already shows the search as ended.
    firstAdvance();
}

void CrawlDriver::firstAdvance()
{
    bool finishing = false;
    try {
        advance(finishing);
    } catch (...) {
        if (finishing)
            throw;
    }
}

void CrawlDriver::N3Click()
{
    counters_.stopRequested = true;
    view_.setPanel(kPanelStatus, "终止搜索...");
    view_.applyButtonSet(ButtonSet::Stopped);
    // What was found so far is on disk before the current page ends.
    if (view_.isChecked(Switch::Autosave) && saveResults)
        saveResults();
}

void CrawlDriver::navigateTo(const AnsiString& address)
{
    page_.reset();
    try {
        browser_.navigate(address);
    } catch (...) {
        // A failed navigation leaves the marker at 0; the wait bound or the
        // watchdog moves the search on.
    }
}

void CrawlDriver::readAndNavigate()
{
    const AnsiString address = urlList_.readAddress();
    ++counters_.progressIndex;
    view_.setPanel(kPanelProgress, intToStr(counters_.progressIndex));
    view_.showProgress(counters_.progressIndex, counters_.urlTotal, address);
    counters_.waitTicks = 0;
    navigateTo(address);
}

void CrawlDriver::Button1Click()
{
    bool finishing = false;
    advance(finishing);
}

void CrawlDriver::advance(bool& finishing)
{
    if (urlList_.atEnd() || counters_.stopRequested) {
        finishing = true;
        BitBtn1Click();
        return;
    }
    readAndNavigate();
    timer1_.setEnabled(true);
    // Setting the interval restarts the watchdog's period.
    timer3_.setInterval(watchdogIntervalMs(view_.speed()));
}

void CrawlDriver::Timer1Timer()
{
    // Without a document no wait tick is counted; only the watchdog moves on.
    if (!browser_.hasDocument())
        return;

    timer1_.setEnabled(false);
    timer1_.setInterval(pageIntervalMs(view_.speed()));

    if (!page_.complete() && counters_.waitTicks < kMaxWaitTicks) {
        ++counters_.waitTicks;
        timer1_.setEnabled(true);
        return;
    }

    counters_.waitTicks = 0;
    ScanPage(); // a read error leaves here with the page timer off

    timer2_.setEnabled(view_.isChecked(Switch::Autosave));

    if (urlList_.atEnd() || counters_.stopRequested) {
        BitBtn1Click();
        return;
    }
    readAndNavigate();
    timer1_.setEnabled(true);
}

void CrawlDriver::Timer3Timer()
{
    if (counters_.progressIndex == counters_.watchdogIndex)
        Button1Click(); // the current page is abandoned without a scan
    else
        counters_.watchdogIndex = counters_.progressIndex;
}

void CrawlDriver::ScanPage()
{
    if (view_.isChecked(Switch::Links))
        harvester_.HarvestLinks();
    if (view_.isChecked(Switch::Fax))
        extractor_.ExtractFaxNumbers();
}

void CrawlDriver::BitBtn1Click()
{
    timer1_.setEnabled(false);
    timer2_.setEnabled(false);
    timer3_.setEnabled(false);

    std::exception_ptr closeError;
    try {
        urlList_.close();
    } catch (...) {
        closeError = std::current_exception();
    }

    // The window shows the search as ended even when the state cannot be
    // written; the write error is reported in preference to a close error,
    // since it means the resume point was not saved. With autosave on, the
    // result lists are written with the state.
    std::exception_ptr writeError;
    try {
        if (view_.isChecked(Switch::Autosave) && saveResults)
            saveResults();
        else
            writeSearchState();
    } catch (...) {
        writeError = std::current_exception();
    }

    view_.progressEnded();
    view_.setPanel(kPanelStatus, "搜索已经结束!");
    view_.repaint();
    view_.applyButtonSet(ButtonSet::Stopped);

    if (writeError)
        std::rethrow_exception(writeError);
    if (closeError)
        std::rethrow_exception(closeError);
}

void CrawlDriver::writeSearchState()
{
    vq::writeSearchState(programDir_, view_, counters_);
    SearchRecord record = readSearchRecord(programDir_);
    if (record.state != counters_.searchId) {
        record.state = counters_.searchId;
        writeSearchRecord(programDir_, record);
    }
}

} // namespace vq
