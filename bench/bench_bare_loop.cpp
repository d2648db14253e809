// The yardstick of bench_harvest lanes: a bare Qt WebEngine loop over a list
// of addresses with N pages at once on one off-the-record profile. Each page
// loads its address, and on its load's end reads the body text and the links
// with one script call, then takes the next address. Nothing else: no
// timers, no settle, no retries, no results kept. Its pages are laid out a
// screen wide as the lanes' are (a page without a view is 0 pixels wide).
// With TIMEOUT_S, a page whose load has not ended by then is given up and
// the next address taken (no retry), so a server that never answers does not
// hold the loop.
//
// Usage: bench_bare_loop LIST N [TIMEOUT_S]   (prints "N pages, X pages/s" on stdout)
#include <QFile>
#include <QGuiApplication>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>

#include "app/web_browser.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bench_bare_loop LIST N [TIMEOUT_S]\n");
        return 2;
    }
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Hidden pages at full pace, as vqharvest's lanes are.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-background-timer-throttling --disable-renderer-backgrounding");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QGuiApplication app(argc, argv);
    QFile list(QString::fromLocal8Bit(argv[1]));
    if (!list.open(QIODevice::ReadOnly))
        return 1;
    std::vector<QUrl> urls;
    for (const QByteArray& line : list.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            urls.push_back(QUrl(QString::fromLatin1(line.trimmed())));
    const int lanes = std::max(1, std::atoi(argv[2]));
    const int boundMs = argc == 4 ? std::max(1, std::atoi(argv[3])) * 1000 : 0;

    QWebEngineProfile profile;
    vq::layOutHiddenPagesScreenWide(&profile);
    std::vector<std::unique_ptr<QWebEnginePage>> pages(static_cast<size_t>(lanes));
    std::vector<std::unique_ptr<QTimer>> bounds;
    size_t next = 0, done = 0;
    QElapsedTimer clock;
    std::function<void(size_t)> take;
    // A lane's page; a page given up is replaced, so that nothing of its load comes back.
    std::function<void(size_t)> newPage = [&](size_t lane) {
        if (pages[lane])
            pages[lane].release()->deleteLater();
        pages[lane] = std::make_unique<QWebEnginePage>(&profile);
        QWebEnginePage* page = pages[lane].get();
        QObject::connect(page, &QWebEnginePage::loadFinished, page, [&, page, lane](bool) {
            bounds[lane]->stop();
            page->runJavaScript(QStringLiteral("[document.body.outerText, Array.from(document.links, a => a.href)]"),
                                QWebEngineScript::ApplicationWorld, [&, lane](const QVariant&) {
                                    ++done;
                                    take(lane);
                                });
        });
    };
    take = [&](size_t lane) {
        if (next < urls.size()) {
            pages[lane]->load(urls[next++]);
            if (boundMs > 0)
                bounds[lane]->start(boundMs);
        } else if (done == urls.size()) {
            app.quit();
        }
    };
    for (size_t i = 0; i < size_t(lanes); ++i) {
        bounds.push_back(std::make_unique<QTimer>());
        bounds.back()->setSingleShot(true);
        QObject::connect(bounds.back().get(), &QTimer::timeout, bounds.back().get(), [&, i] {
            ++done;
            newPage(i);
            take(i);
        });
        newPage(i);
    }
    clock.start();
    for (size_t i = 0; i < pages.size(); ++i)
        take(i);
    app.exec();
    std::printf("%zu pages, %.1f pages/s\n", done, double(done) * 1000.0 / double(std::max<qint64>(1, clock.elapsed())));
    pages.clear();
    return 0;
}
