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

SearchSettings settingsFromView(const MainView& view)
{
    SearchSettings s;
    s.listPath = view.listPath();
    s.links = view.isChecked(Switch::Links);
    s.fax = view.isChecked(Switch::Fax);
    s.dedup = view.isChecked(Switch::Dedup);
    s.filter = view.isChecked(Switch::LinkFilter);
    s.site = view.isChecked(Switch::OnlySite);
    s.https = view.isChecked(Switch::Https);
    s.autosave = view.isChecked(Switch::Autosave);
    s.speed = view.speed();
    s.markers = view.memoLines(Memo::FaxMarkers);
    s.mustContain = view.memoLines(Memo::MustContain);
    s.mustNotContain = view.memoLines(Memo::MustNotContain);
    // Every lane keeps the pace, which is the window's politeness: no cap on
    // the pages of one host beyond it.
    s.lanes.lanes = std::max(1, view.pagesAtOnce());
    if (s.lanes.lanes > 1) // the pages off screen are on the web as vqharvest's are
        s.lanes.retries = kRealWebRetries;
    const MainView* v = &view;
    s.live = [v] {
        return LiveSettings{v->speed(), v->isChecked(Switch::Links), v->isChecked(Switch::Fax),
                            v->isChecked(Switch::Autosave)};
    };
    return s;
}

Engine::Engine(EnginePorts p)
    : ports(std::move(p)),
      session(ports.prompts, ports.host, ports.timer2, results, ports.programDir),
      urlList(ports.view, ports.prompts, session.stored().urlTotal, ports.programDir),
      progress(ports.view, ports.prompts, ports.timer2, session, ports.programDir),
      merge(ports.view, ports.prompts, ports.programDir), shown_(ports.view)
{
    ports.timer1.setEnabled(false);
    ports.timer1.setInterval(kInitialPageTimerMs);
    ports.timer2.setEnabled(false);
    ports.timer2.setInterval(kAutosaveMs);
    ports.timer3.setEnabled(false);
    ports.timer3.setInterval(kInitialWatchdogMs);

    // The visible browser is lane 0, with Timer1 and Timer3.
    session.addLane(ports.browser, ports.timer1, ports.timer3);
    session.setObserver(&shown_);
    session.saveResults = [this] { progress.Button2Click(); };
    ports.timer2.onTimer = [this] { guarded(ports.prompts, [this] { progress.Timer2Timer(); }); };
}

void Engine::loadSettings()
{
    // An unreadable option list must not keep the search state from loading:
    // the state is read either way, and the first failure is raised after.
    std::exception_ptr failure;
    try {
        loadOptionLists(ports.view, ports.programDir);
    } catch (const std::exception&) {
        failure = std::current_exception();
    }
    if (searchStateExists(ports.programDir)) {
        try {
            readSearchState(ports.programDir, ports.view, session.stored());
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
    saveOptionLists(ports.view, ports.programDir);
}

// ---- the search commands ---------------------------------------------------------

SearchSettings Engine::searchSettings()
{
    SearchSettings settings = settingsFromView(ports.view);
    if (ports.provideLanes)
        ports.provideLanes(session, settings.lanes.lanes);
    return settings;
}

void Engine::N2Click()
{
    session.start(searchSettings());
}

void Engine::N3Click()
{
    session.stop();
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
    readSearchState(ports.programDir, view, session.stored());
    if (!session.resumable(view.listPath()))
        return;

    view.setPanel(kPanelUrlTotal, intToStr(session.stored().urlTotal));
    view.setPanel(kPanelProgress, "");
    view.setPanel(kPanelLinks, "");
    view.setPanel(kPanelFax, "");
    // The result lists stay as they are until the resume is confirmed.
    view.applyButtonSet(ButtonSet::Searching);
    ports.timer1.setInterval(pageIntervalMs(view.speed()));
    view.setPanel(kPanelStatus, "开始搜索...");
    view.pause(kPauseBeforeAskingMs);

    const std::optional<std::string> answer =
        ports.prompts.inputBox("继续搜索提示", "请输入您上次搜索断点位置        ",
                               intToStr(session.stored().progressIndex));
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
    session.resume(searchSettings(), done);
}

// ---- what the window shows of a search -----------------------------------------------

void Engine::Shown::showCounts(const SearchProgress& p)
{
    view_.setPanel(kPanelProgress, p.line > 0 ? intToStr(p.line) : "");
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
    view_.setPanel(kPanelUrlTotal, intToStr(p.total));
    showCounts(p);
}

void Engine::Shown::progress(const SearchProgress& p)
{
    showCounts(p);
    if (p.line > 0)
        view_.showProgress(p.line, p.total, p.address);
    view_.showLanes(p.busyLanes, p.lanes);
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

void Engine::Shown::finished(const SearchFinish&)
{
    view_.progressEnded();
    view_.repaint();
    view_.applyButtonSet(ButtonSet::Stopped);
}

} // namespace vq
