// The yardstick of bench_harvest lanes: a bare Qt WebEngine loop over a list
// of addresses with N pages at once on one off-the-record profile. Each page
// loads its address, and on its load's end reads the body text and the links
// with one script call, then takes the next address. Nothing else: no
// timers, no settle, no retries, no results kept. Its pages are laid out a
// screen wide as the lanes' are (a page without a view is 0 pixels wide).
//
// Usage: bench_bare_loop LIST N   (prints "N pages, X pages/s" on stdout)
#include <QFile>
#include <QGuiApplication>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>

#include "app/web_browser.h"

#include <QElapsedTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_bare_loop LIST N\n");
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

    QWebEngineProfile profile;
    vq::layOutHiddenPagesScreenWide(&profile);
    std::vector<std::unique_ptr<QWebEnginePage>> pages;
    size_t next = 0, done = 0;
    QElapsedTimer clock;
    std::function<void(QWebEnginePage*)> take = [&](QWebEnginePage* page) {
        if (next < urls.size())
            page->load(urls[next++]);
        else if (done == urls.size())
            app.quit();
    };
    for (int i = 0; i < lanes; ++i) {
        pages.push_back(std::make_unique<QWebEnginePage>(&profile));
        QWebEnginePage* page = pages.back().get();
        QObject::connect(page, &QWebEnginePage::loadFinished, page, [&, page](bool) {
            page->runJavaScript(QStringLiteral("[document.body.outerText, Array.from(document.links, a => a.href)]"),
                                QWebEngineScript::ApplicationWorld, [&, page](const QVariant&) {
                                    ++done;
                                    take(page);
                                });
        });
    }
    clock.start();
    for (auto& p : pages)
        take(p.get());
    app.exec();
    std::printf("%zu pages, %.1f pages/s\n", done, double(done) * 1000.0 / double(std::max<qint64>(1, clock.elapsed())));
    pages.clear();
    return 0;
}
