// The search's own cost per page: a crawl over generated pages served on
// 127.0.0.1 (a server on a thread of its own), at speed 1, through the real
// main window (offscreen) and Qt WebEngine, with links, fax numbers, dedup and
// the link filter on.
//
// Two figures per page:
//  - handler time: the time spent in the engine's handlers on the GUI thread
//    (page ticks, watchdog ticks, the browser's completion events), summed per
//    page; this is what the driver and the scanners cost;
//  - wall time beyond the page interval: the time from one navigation to the
//    next minus the 1 s interval, i.e. the handler time plus the event loop's
//    and the timers' latency (a page that needs a second tick shows up here).
//
// With --lanes=N the window loads N pages at once ("同时打开") and the figure
// is its pages per second.
//
// Usage: bench_crawl [--pages=N] [--lanes=N]   (200 pages by default, about 3.5 minutes at 1 lane)
#include "app/form1.h"
#include "app/qt_text.h"
#include "app/qt_timer.h"
#include "app/web_browser.h"
#include "bench/bench_pages.h"
#include "tests/support/event_wait.h"
#include "tests/support/fakes.h"
#include "tests/support/page_server.h"
#include "text/text_file.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <numeric>
#include <string>
#include <vector>

using namespace vq;

namespace {

using bench::kFaxPerPage;
using bench::kLinksPerPage;
using bench::makePage;

struct Stats {
    double mean = 0, p95 = 0, max = 0;
};

Stats stats(std::vector<double> v)
{
    Stats s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.mean = std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
    s.p95 = v[std::min(v.size() - 1, size_t(double(v.size()) * 0.95))];
    s.max = v.back();
    return s;
}

void print(const char* what, const Stats& s)
{
    std::printf("  %-44s mean %7.2f ms   p95 %7.2f ms   max %7.2f ms\n", what, s.mean, s.p95, s.max);
}

} // namespace

int main(int argc, char** argv)
{
    const int pages = bench::intArgument(argc, argv, "--pages=", 200, 1, 1000000);
    const int lanes = bench::intArgument(argc, argv, "--lanes=", 1, 1, 16);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    vq::prepareWebEngine();
    QApplication app(argc, argv);

    // The server answers on its own thread, so that serving costs the GUI
    // thread nothing.
    bench::ServerThread serving;
    test::PageServer* server = &serving.server();
    if (!server->listening()) {
        std::fprintf(stderr, "bench_crawl: cannot listen on 127.0.0.1\n");
        return 1;
    }
    const int port = server->port();
    bench::servePages(*server);
    serving.start();

    QTemporaryDir dir;
    fake::FakePrompts prompts;
    fake::FakeHostLookup host;
    TForm1::Options options;
    options.prompts = &prompts;
    options.host = &host;
    options.programDir = toPath(dir.path());
    TForm1 form(options);
    form.show();

    std::vector<AnsiString> lines;
    for (int i = 0; i < pages; ++i)
        lines.push_back(toAnsi(server->url(QStringLiteral("/p/%1.html").arg(i))));
    const QString listPath = dir.filePath(QStringLiteral("list.txt"));
    writeAllLines(toPath(listPath), lines);
    prompts.fileAnswers = {toPath(listPath)};
    form.N1Click();
    form.setSpeed(1);
    form.setPagesAtOnce(lanes);
    form.setChecked(Switch::Links, true);
    form.setChecked(Switch::Fax, true);
    form.setChecked(Switch::Dedup, true);
    form.setChecked(Switch::LinkFilter, true);

    // Every handler call is timed and booked to the page current when it began.
    Engine& engine = form.engine();
    std::map<int, double> handlerMs;  // ProgressIndex -> ms in handlers
    std::map<int, int> pageTicks;     // ProgressIndex -> page ticks
    std::map<int, qint64> enteredNs;  // ProgressIndex -> wall clock at its navigation
    QElapsedTimer wall;
    qint64 lastHandlerEndNs = 0; // the search ends inside a handler
    auto timed = [&](std::function<void()> inner, bool pageTick) {
        return [&, inner = std::move(inner), pageTick] {
            const int page = engine.session.lanes().linesRead();
            QElapsedTimer t;
            t.start();
            inner();
            handlerMs[page] += double(t.nsecsElapsed()) / 1e6;
            if (pageTick)
                ++pageTicks[page];
            const int now = engine.session.lanes().linesRead();
            if (wall.isValid()) {
                lastHandlerEndNs = wall.nsecsElapsed();
                if (now != page)
                    enteredNs[now] = lastHandlerEndNs;
            }
        };
    };
    form.Timer1->onTimer = timed(form.Timer1->onTimer, true);
    form.Timer3->onTimer = timed(form.Timer3->onTimer, false);
    Browser& browser = engine.ports.browser;
    for (auto* event : {&browser.onNavigateComplete2, &browser.onDocumentComplete}) {
        auto inner = *event;
        *event = [&, inner](FrameId f, const AnsiString& url) {
            const int page = engine.session.lanes().linesRead();
            QElapsedTimer t;
            t.start();
            inner(f, url);
            handlerMs[page] += double(t.nsecsElapsed()) / 1e6;
        };
    }

    std::printf("bench_crawl: %d pages of %d KB, %d links and %d new fax numbers each, speed 1\n", pages,
                int(makePage(0, port).size() / 1024), kLinksPerPage, kFaxPerPage);
    std::fflush(stdout);
    wall.start();
    QElapsedTimer start;
    start.start();
    form.N2Click();
    const double startMs = double(start.nsecsElapsed()) / 1e6;
    enteredNs[engine.session.lanes().linesRead()] = wall.nsecsElapsed();
    const bool ended = test::waitFor([&] { return form.panel(8) == "搜索已经结束!"; },
                                     pages * 4000 + 60000);
    const qint64 totalNs = lastHandlerEndNs;

    serving.stop();

    const size_t expectedFax = size_t(pages) * kFaxPerPage + 1;
    if (!ended || engine.session.lanes().linesRead() != pages || engine.fax.size() != expectedFax
        || !prompts.texts("error").empty()) {
        std::fprintf(stderr, "bench_crawl: the crawl went wrong: ended %d, progress %d of %d, %zu of %zu numbers, %zu errors\n",
                     int(ended), engine.session.lanes().linesRead(), pages, engine.fax.size(), expectedFax,
                     prompts.texts("error").size());
        return 1;
    }

    if (lanes > 1) {
        std::printf("  %d pages at once: %.2f pages/s (%.2f s in all), %zu links, %zu fax numbers listed\n", lanes,
                    pages / (double(totalNs) / 1e9), double(totalNs) / 1e9, engine.links.size(), engine.fax.size());
        return 0;
    }
    std::vector<double> handlers;
    std::vector<double> beyond;
    int slow = 0;
    for (int p = 1; p <= pages; ++p) {
        handlers.push_back(handlerMs[p]);
        slow += pageTicks[p] > 1;
        const auto next = enteredNs.find(p + 1);
        const qint64 leftNs = next != enteredNs.end() ? next->second : totalNs;
        beyond.push_back(double(leftNs - enteredNs[p]) / 1e6 - 1000.0);
    }
    const double totalOverMs = double(totalNs) / 1e6 - pages * 1000.0;
    const Stats h = stats(handlers);
    std::printf("  links listed %zu, fax numbers listed %zu\n", engine.links.size(), engine.fax.size());
    std::printf("  start command (opens the list, first navigation): %.2f ms\n", startMs);
    print("handler time per page:", h);
    print("wall time per page beyond the 1 s interval:", stats(beyond));
    std::printf("  total wall %.2f s = %d x 1 s + %.0f ms, %.2f ms per page\n", double(totalNs) / 1e9, pages,
                totalOverMs, totalOverMs / pages);
    std::printf("  pages that needed more than one page tick: %d\n", slow);
    std::printf("  target under 20 ms per page: %s\n",
                h.p95 < 20.0 && totalOverMs / pages < 20.0 ? "met" : "NOT met");
    return 0;
}
