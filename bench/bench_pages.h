// The generated pages of the crawl benchmarks, served on 127.0.0.1 by the test
// page server: page i is about 15 KB of Chinese and ASCII text with three fax
// numbers of its own, one number shared by every page (a duplicate from the
// second page on) and 50 links, of which about two thirds pass the default
// link filter. Pages are answered under "/p/<i>.html".
#pragma once

#include "tests/support/page_server.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace vq::bench {

constexpr int kLinksPerPage = 50;
constexpr int kFaxPerPage = 3;

// The head and text of page i, up to its links: `paragraphs` paragraphs of
// about 150 bytes, the page's own fax lines and the shared one. The number i
// tells pages' numbers apart (up to 79,999,999).
inline QString pageText(int i, int paragraphs = 100)
{
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"><title>第%1页</title></head><body>").arg(i);
    for (int p = 0; p < paragraphs; ++p)
        html += QStringLiteral("<p>本公司主营各类产品，欢迎来电咨询。Company profile paragraph %1 of page %2, "
                               "address, products and services.</p>").arg(p).arg(i);
    for (int f = 0; f < kFaxPerPage; ++f)
        html += QStringLiteral("<p>传真：0%1-%2</p>").arg(510 + f).arg(20000000 + i);
    return html + QStringLiteral("<p>FAX: +86-10-6666 8888</p>");
}

inline QByteArray makePage(int i, int port)
{
    QString html = pageText(i) + QStringLiteral("<ul>");
    for (int l = 0; l < kLinksPerPage; ++l) {
        QString href;
        switch (l % 6) {
        case 0: href = QStringLiteral("http://127.0.0.1:%1/site/%2/%3.html").arg(port).arg(i).arg(l); break;
        case 1: href = QStringLiteral("/rel/%1/%2.html").arg(i).arg(l); break;
        case 2: href = QStringLiteral("https://127.0.0.1:%1/secure/%2.html").arg(port).arg(l); break;
        case 3: href = QStringLiteral("/page.html#part%1").arg(l); break;
        case 4: href = QStringLiteral("/common/%1.html").arg(l); break;
        default: href = QStringLiteral("news/%1.html?id=%2").arg(l).arg(i); break;
        }
        html += QStringLiteral("<li><a href=\"%1\">链接 %2</a></li>").arg(href).arg(l);
    }
    html += QStringLiteral("</ul></body></html>");
    return html.toUtf8();
}

// Lets the server answer "/p/<i>.html" with page i.
inline void servePages(test::PageServer& server)
{
    const int port = server.port();
    server.setGenerator([port](const QByteArray& path) -> std::optional<test::PageServer::Response> {
        int index = 0;
        if (std::sscanf(path.constData(), "/p/%d.html", &index) != 1)
            return std::nullopt;
        return test::PageServer::Response{"200 OK", "text/html; charset=utf-8", makePage(index, port), {}, true};
    });
}

// The value of "NAME=N" among the arguments, kept within lo..hi; `fallback` when absent.
inline int intArgument(int argc, char** argv, const char* name, int fallback, int lo, int hi)
{
    const size_t n = std::strlen(name);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], name, n) == 0)
            return std::clamp(std::atoi(argv[i] + n), lo, hi);
    return fallback;
}

// The page server on a thread of its own, so that serving costs the GUI
// thread nothing. Given its generator before it moves there.
class ServerThread {
public:
    ServerThread() : server_(new test::PageServer) {}
    ~ServerThread() { stop(); }
    test::PageServer& server() { return *server_; }
    void start()
    {
        server_->moveToThread(&thread_);
        QObject::connect(&thread_, &QThread::finished, server_, &QObject::deleteLater);
        thread_.start();
    }
    void stop()
    {
        if (thread_.isRunning()) {
            thread_.quit();
            thread_.wait();
        }
    }

private:
    QThread thread_;
    test::PageServer* server_;
};

} // namespace vq::bench
