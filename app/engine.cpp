#include "app/engine.h"

#include "state/option_lists.h"
#include "state/search_state.h"
#include "text/ansi.h"
#include "text/integer.h"

#include <algorithm>
#include <array>
#include <exception>

namespace vq {

namespace {

constexpr int kPauseBeforeAskingMs = 1000;

} // namespace

void showRefusal(Prompts& prompts, SearchSession::Answer answer)
{
    using Answer = SearchSession::Answer;
    switch (answer) {
    case Answer::NoSearchItem:
        prompts.message("请至少选择一个搜索项目才可以开始");
        return;
    case Answer::NoListFile:
        prompts.information("您还没有选择网址列表文件！");
        return;
    case Answer::ListMissing:
        prompts.information("网址列表文件不存在！");
        return;
    case Answer::Offline:
        prompts.information("您还没有连接到网上！");
        return;
    case Answer::UnsavedResults: // asked by "搜索" itself
    case Answer::Running:
    case Answer::AtEnd:
        return;
    }
}

Engine::Engine(EnginePorts p)
    : ports(std::move(p)), session(ports.host, ports.timer2, results, ports.programDir),
      urlList(ports.view, ports.prompts, session.setup(), ports.programDir),
      progress(ports.view, ports.prompts, session, ports.programDir),
      merge(ports.view, ports.prompts, ports.programDir), siteCrawl(ports.prompts, session, ports.programDir),
      shown_(ports.view, ports.prompts)
{
    ports.timer1.setEnabled(false);
    ports.timer1.setInterval(kInitialPageTimerMs);
    ports.timer2.setEnabled(false);
    ports.timer2.setInterval(kAutosaveMs);
    ports.timer3.setEnabled(false);
    ports.timer3.setInterval(kInitialWatchdogMs);

    // The visible browser is lane 0, with Timer1 and Timer3; Timer2 is the
    // session's autosave.
    session.addLane(ports.browser, ports.timer1, ports.timer3, ports.fetcher);
    session.setObserver(&shown_);
    session.setListsFollowFrontier(true);
    session.setRobotsFetcher(ports.robots);
}

void Engine::loadSettings()
{
    // An unreadable option list must not keep the search state from loading:
    // the state is read either way, and the first failure is raised after.
    std::exception_ptr failure;
    try {
        loadOptionLists(setup(), ports.programDir);
    } catch (const std::exception&) {
        failure = std::current_exception();
    }
    if (searchStateExists(ports.programDir)) {
        try {
            readSearchState(ports.programDir, setup());
        } catch (const std::exception&) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void Engine::saveSettings()
{
    saveOptionLists(setup(), ports.programDir);
}

// ---- the search commands ---------------------------------------------------------

void Engine::provideLanes()
{
    if (ports.provideLanes)
        ports.provideLanes(session, setup().lanes().lanes);
}

void Engine::N2Click()
{
    SearchSession::Answer answer = session.startable();
    // Results not yet in any file are not thrown away without asking.
    bool discard = false;
    if (answer == SearchSession::Answer::UnsavedResults &&
        ports.prompts.confirm("当前有尚未保存的搜索结果，开始新的搜索将清空结果列表。\n确认开始新的搜索吗?")) {
        discard = true;
        answer = session.startable(true);
    }
    if (SearchSession::refused(answer)) {
        showRefusal(ports.prompts, answer);
        return;
    }
    startSearch(discard, false);
}

void Engine::startSearch(bool discardUnsaved, bool replaceAny)
{
    provideLanes();
    // The frontier is made only once nothing refuses: a fresh one replaces
    // the last site crawl's.
    if (!setup().frontier().on)
        siteCrawl.close();
    else if (!siteCrawl.openFresh(replaceAny))
        return;
    showRefusal(ports.prompts, session.start(discardUnsaved));
}

void Engine::N3Click()
{
    // The stop is asked for even when the save that goes with it fails; the
    // failure's box comes after the buttons show it.
    try {
        session.stop();
    } catch (...) {
        ports.view.applyButtonSet(ButtonSet::Stopped);
        throw;
    }
    ports.view.applyButtonSet(ButtonSet::Stopped);
}

// "继续": restore the saved state, ask how many lines are already done (the
// saved position is offered), skip them and go on with the next line. The
// number entered is the count of lines done, as panel 3 shows it.
void Engine::N4Click()
{
    MainView& view = ports.view;
    if (!searchStateExists(ports.programDir)) {
        ports.prompts.message("您还没有搜索或上次搜索没有保存！");
        return;
    }
    readSearchState(ports.programDir, setup());
    if (const SearchSession::Answer a = session.resumable(); SearchSession::refused(a)) {
        showRefusal(ports.prompts, a);
        return;
    }
    if (setup().frontier().on) {
        resumeSiteCrawl();
        return;
    }

    view.setPanel(kPanelUrlTotal, intToStr(setup().position().urlTotal));
    view.setPanel(kPanelProgress, "");
    view.setPanel(kPanelLinks, "");
    view.setPanel(kPanelFax, "");
    // The result lists stay as they are until the resume is confirmed.
    view.applyButtonSet(ButtonSet::Searching);
    ports.timer1.setInterval(pageIntervalMs(setup().speed()));
    view.setPanel(kPanelStatus, "开始搜索...");
    view.pause(kPauseBeforeAskingMs);

    const std::optional<std::string> answer =
        ports.prompts.inputBox("继续搜索提示", "请输入您上次搜索断点位置        ",
                               intToStr(setup().position().progressIndex));
    // "放弃", or a number that is not one (which then goes to the default
    // handler), leaves the window stopped with the counts as they were.
    const auto cancel = [&] {
        SearchProgress counts = session.progress();
        counts.line = 0;
        shown_.showCounts(counts);
        view.setPanel(kPanelStatus, "取消继续搜索...");
        view.applyButtonSet(ButtonSet::Stopped);
    };
    if (!answer) {
        cancel();
        return;
    }
    int32_t done = 0;
    try {
        // The box hands back UTF-8; the conversion error quotes the text as typed.
        done = strToInt(utf8ToAnsi(*answer));
    } catch (...) {
        cancel();
        throw;
    }
    provideLanes();
    const SearchSession::Answer resumed = session.resume(done);
    if (SearchSession::refused(resumed)) {
        // The list went away, or the machine off the net, while the box was open.
        cancel();
        showRefusal(ports.prompts, resumed);
    }
}

// A site crawl goes on where its frontier is: there is no position to ask for.
void Engine::resumeSiteCrawl()
{
    switch (siteCrawl.openToResume()) {
    case SiteCrawl::Resume::Refused:
        return;
    case SiteCrawl::Resume::StartAfresh:
        // The user has chosen a new search: its lists go.
        startSearch(true, true);
        return;
    case SiteCrawl::Resume::Ready:
        break;
    }
    provideLanes();
    const SearchSession::Answer resumed = session.resume(static_cast<int32_t>(siteCrawl.frontier()->counts().done));
    showRefusal(ports.prompts, resumed);
}

// ---- what the window shows of a search -----------------------------------------------

void Engine::Shown::showCounts(const SearchProgress& p)
{
    if (p.frontier) {
        // Pages done of those known so far.
        view_.setPanel(kPanelUrlTotal, intToStr(static_cast<int32_t>(p.position + p.queued)));
        view_.setPanel(kPanelProgress, intToStr(p.position));
    } else {
        view_.setPanel(kPanelProgress, p.line > 0 ? intToStr(p.line) : "");
    }
    view_.setPanel(kPanelLinks, p.links > 0 ? intToStr(p.links) : "");
    view_.setPanel(kPanelFax, p.fax > 0 ? intToStr(p.fax) : "");
}

void Engine::Shown::started(const SearchProgress& p)
{
    failed.clear();
    byKind = {};
    view_.showFailures(0, {});
    view_.applyButtonSet(ButtonSet::Searching);
    // The merge tool's last message gives way to the panel's label.
    view_.setPanel(kPanelMerge, kPanelMergeLabel);
    // Panel 1 shows the total as last counted; the list is not recounted here.
    if (!p.frontier)
        view_.setPanel(kPanelUrlTotal, intToStr(p.total));
    showCounts(p);
}

void Engine::Shown::progress(const SearchProgress& p)
{
    showCounts(p);
    if (p.frontier)
        showFrontier(p);
    else if (p.line > 0)
        view_.showProgress(p.line, p.total, p.address);
    view_.showLanes(p.busyLanes, p.lanes);
}

// A site crawl's progress: the next page of those known (done and queued),
// so that the time left comes from the queue, and the depth reached.
void Engine::Shown::showFrontier(const SearchProgress& p)
{
    const int64_t known = p.position + p.queued;
    if (known <= 0)
        return;
    view_.showDepth(p.depthReached);
    view_.showProgress(static_cast<int32_t>(std::min<int64_t>(p.position + 1, known)),
                       static_cast<int32_t>(std::min<int64_t>(known, INT32_MAX)), p.address);
}

void Engine::Shown::pageDone(const PageRecord& record)
{
    if (record.outcome == PageOutcome::Scanned)
        return;
    PageRecord kept = record;
    kept.fax.clear();
    failed.push_back(std::move(kept));
    ++byKind[static_cast<size_t>(record.outcome)];
    std::string text;
    for (size_t k = 0; k < byKind.size(); ++k) {
        if (byKind[k] > 0)
            text += (text.empty() ? "" : "，") + std::string(outcomeText(PageOutcome(k))) + " " +
                    std::to_string(byKind[k]);
    }
    view_.showFailures(static_cast<int>(failed.size()), text);
}

void Engine::Shown::status(const std::string& text)
{
    view_.setPanel(kPanelStatus, text);
}

void Engine::Shown::finished(const SearchFinish& f)
{
    view_.progressEnded();
    view_.repaint();
    view_.applyButtonSet(ButtonSet::Stopped);
    if (f.how == SearchEnd::RenderFailures)
        prompts_.message(renderFailuresText(f.renderFailures));
    if (f.how == SearchEnd::ProxyFailures)
        prompts_.message("通过代理服务器连续" + std::to_string(f.proxyFailures) +
                         "个网址无法打开（代理服务器拒绝连接、无法连接或没有响应），搜索已停止并保存。");
}

void Engine::Shown::stepFailed(const std::exception& e)
{
    reportException(prompts_, e);
}

void Engine::Shown::saving(bool on)
{
    if (on == busy_)
        return;
    busy_ = on;
    if (!on)
        view_.repaint();
    view_.setBusyCursor(on);
}

} // namespace vq
