#include "search/resume.h"

#include "search/saved_results.h"
#include "state/search_state.h"
#include "text/ansi.h"
#include "text/integer.h"
#include "text/paths.h"

#include <algorithm>
#include <utility>

namespace vq {

namespace {

constexpr int kPauseBeforeAskingMs = 1000;

} // namespace

ResumeCommand::ResumeCommand(MainView& view, Prompts& prompts, HostLookup& host,
                             Timer& timer1, Timer& timer2, Timer& timer3,
                             UrlListSource& urlList, CrawlDriver& driver,
                             ResultList& links, ResultList& fax, SearchCounters& counters,
                             std::filesystem::path programDir)
    : view_(view), prompts_(prompts), host_(host),
      timer1_(timer1), timer2_(timer2), timer3_(timer3),
      urlList_(urlList), driver_(driver), links_(links), fax_(fax),
      counters_(counters), programDir_(std::move(programDir))
{
}

// "继续": restore the saved state, ask how many lines are already done (the
// saved position is offered), skip them and go on with the next line.
//
// The number entered is the count of lines done, as panel 3 shows it: n >= 1
// skips n lines, so the first page visited is line n + 1; 0 or a negative
// number skips nothing and starts at line 1.
void ResumeCommand::N4Click()
{
    if (!searchStateExists(programDir_)) {
        prompts_.message("您还没有搜索或上次搜索没有保存！");
        return;
    }

    readSearchState(programDir_, view_, counters_);

    if (view_.listPath().empty() || !fileExists(ansiToPath(view_.listPath()))) {
        prompts_.information("网址列表文件不存在！");
        return;
    }
    if (host_.localAddress() == "127.0.0.1") {
        prompts_.information("您还没有连接到网上！");
        return;
    }

    view_.setPanel(kPanelUrlTotal, intToStr(counters_.urlTotal));
    view_.setPanel(kPanelProgress, "");
    view_.setPanel(kPanelLinks, "");
    view_.setPanel(kPanelFax, "");

    // The result lists stay as they are until the resume is confirmed.
    counters_.stopRequested = false;

    view_.applyButtonSet(ButtonSet::Searching);
    timer1_.setInterval(driver_.pageInterval());
    view_.setPanel(kPanelStatus, "开始搜索...");

    view_.pause(kPauseBeforeAskingMs);

    const std::optional<std::string> answer =
        prompts_.inputBox("继续搜索提示", "请输入您上次搜索断点位置        ",
                          intToStr(counters_.progressIndex));
    if (!answer) {
        showResultCounts();
        view_.setPanel(kPanelStatus, "取消继续搜索...");
        view_.applyButtonSet(ButtonSet::Stopped);
        return;
    }

    // Until the crawl is under way, any failure (a non-number typed, a list that
    // cannot be read) leaves the window stopped with nothing running, and goes
    // on to the default handler.
    try {
        // The box hands back UTF-8; the conversion error quotes the text as typed.
        const int32_t done = strToInt(utf8ToAnsi(*answer));
        counters_.progressIndex = std::max<int32_t>(done, 0);
        takeBackResults();
        view_.repaint();

        urlList_.open();
        for (int32_t skipped = 0; skipped < counters_.progressIndex && !urlList_.atEnd(); ++skipped)
            urlList_.readLine();

        if (urlList_.atEnd()) {
            view_.setPanel(kPanelStatus, "网址列表搜索完毕...");
            view_.applyButtonSet(ButtonSet::Stopped);
            urlList_.close();
            return;
        }
    } catch (...) {
        try {
            urlList_.close();
        } catch (...) {
            // The first error is the one worth reporting.
        }
        showResultCounts();
        view_.setPanel(kPanelStatus, "取消继续搜索...");
        view_.applyButtonSet(ButtonSet::Stopped);
        throw;
    }

    view_.setPanel(kPanelStatus, "继续搜索...");
    counters_.watchdogIndex = counters_.progressIndex;
    timer3_.setEnabled(true);
    if (view_.isChecked(Switch::Autosave))
        timer2_.setEnabled(true);
    // A failed read or navigation is retried by the watchdog; a failure to
    // finish (the state file) is reported.
    driver_.firstAdvance();
}

void ResumeCommand::takeBackResults()
{
    const SearchRecord record = readSearchRecord(programDir_);
    if (counters_.searchId.empty() || counters_.searchId != record.state) {
        links_.clear();
        fax_.clear();
        restoreSavedResults(programDir_, record, links_, fax_);
        counters_.searchId = record.state.empty() ? newSearchId() : record.state;
    }
    counters_.linkCount = static_cast<int32_t>(links_.size());
    counters_.faxCount = static_cast<int32_t>(fax_.size());
    showResultCounts();
}

void ResumeCommand::showResultCounts()
{
    view_.setPanel(kPanelLinks, counters_.linkCount > 0 ? intToStr(counters_.linkCount) : "");
    view_.setPanel(kPanelFax, counters_.faxCount > 0 ? intToStr(counters_.faxCount) : "");
}

} // namespace vq
