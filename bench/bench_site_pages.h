// A generated site for the depth crawl benchmark: pages spread over loopback
// hosts 127.0.2.1, 127.0.2.2, ... (one page server each, all on one port),
// every request of a page counted.
//
// Each host holds a tree of "/s/<k>.html" pages: the seed "/s/0.html" at depth
// 0, b pages at depth 1, b² at depth 2 and the rest at depth 3 (b the smallest
// branching that holds the host's pages), so that a crawl to depth 3 from the
// seeds reaches every page, each first at its depth in the tree. Besides its
// children (absolute and relative links, one again with a fragment) a page links
// to its parent (through "../"), the seed, two siblings and itself with a
// fragment, so that the links run in cycles; to "/x/" pages on two other hosts,
// which a crawl of each page's own site never visits; to mailto: and
// javascript: addresses. Pages at depth 3 link to "/d/" pages one level
// further down, which a crawl to depth 3 never visits. Text and fax lines are
// those of the other crawl benchmarks (bench_pages.h), numbered by the page's
// place in the whole site.
//
// Serve it on a thread of its own (moveServersTo); the counts may be read
// from any thread.
#pragma once

#include "bench/bench_pages.h"
#include "tests/support/page_server.h"

#include <QHostAddress>
#include <QObject>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

namespace vq::bench {

constexpr int kSiteDepth = 3;

class SitePages {
public:
    // pages is rounded down to a multiple of hosts, at least 20 a host.
    SitePages(int pages, int hosts, int paragraphs)
        : hosts_(hosts), perHost_(std::max(20, pages / hosts)), paragraphs_(paragraphs),
          counts_(size_t(hosts_) * size_t(perHost_))
    {
        while (1 + branching_ + branching_ * branching_ + branching_ * branching_ * branching_ < perHost_)
            ++branching_;
        // Every host on the same port: the first host picks a free one.
        for (int attempt = 0; attempt < 10 && !listening(); ++attempt) {
            holder_ = std::make_unique<QObject>();
            servers_.clear();
            for (int h = 0; h < hosts_; ++h) {
                auto* server = new test::PageServer(QHostAddress(hostAddress(h)), port_, holder_.get());
                if (h == 0)
                    port_ = server->port();
                servers_.push_back(server);
                if (!server->listening())
                    break;
                serve(*server, h);
            }
            if (!listening())
                port_ = 0;
        }
    }

    bool listening() const
    {
        if (int(servers_.size()) != hosts_)
            return false;
        for (const test::PageServer* s : servers_)
            if (!s->listening())
                return false;
        return true;
    }
    // The servers answer on `thread` from now on.
    void moveServersTo(QThread& thread)
    {
        holder_->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, holder_.release(), &QObject::deleteLater);
    }

    static QString hostAddress(int host) { return QStringLiteral("127.0.2.%1").arg(host + 1); }
    int hosts() const { return hosts_; }
    int pages() const { return hosts_ * perHost_; }
    QString url(int host, const QString& path) const
    {
        return QStringLiteral("http://%1:%2%3").arg(hostAddress(host)).arg(port_).arg(path);
    }
    QString seed(int host) const { return url(host, QStringLiteral("/s/0.html")); }
    int depthOf(int k) const
    {
        const int b = branching_;
        return k == 0 ? 0 : k <= b ? 1 : k <= b + b * b ? 2 : 3;
    }

    // Requests of each page, by its number in the site (host * pages a host + k).
    std::vector<int> counts() const
    {
        std::vector<int> v;
        v.reserve(counts_.size());
        for (const std::atomic<int>& c : counts_)
            v.push_back(c.load());
        return v;
    }
    int deeperFetches() const { return deeper_; } // "/d/" pages, below depth 3
    int foreignFetches() const { return foreign_; } // "/x/" pages, only linked from other hosts
    void resetCounts()
    {
        for (std::atomic<int>& c : counts_)
            c = 0;
        deeper_ = 0;
        foreign_ = 0;
    }

private:
    std::vector<int> children(int k) const
    {
        const int b = branching_;
        std::vector<int> c;
        if (depthOf(k) == 0) {
            for (int i = 1; i <= b && i < perHost_; ++i)
                c.push_back(i);
        } else if (depthOf(k) == 1) {
            for (int i = 0; i < b; ++i)
                if (const int child = 1 + b + (k - 1) * b + i; child < perHost_)
                    c.push_back(child);
        } else if (depthOf(k) == 2) {
            for (int child = 1 + b + b * b + (k - 1 - b); child < perHost_; child += b * b)
                c.push_back(child);
        }
        return c;
    }
    int parent(int k) const
    {
        const int b = branching_;
        switch (depthOf(k)) {
        case 1: return 0;
        case 2: return 1 + (k - 1 - b) / b;
        default: return 1 + b + (k - 1 - b - b * b) % (b * b);
        }
    }

    QByteArray page(int host, int k) const
    {
        const int g = host * perHost_ + k;
        QString html = pageText(g, paragraphs_) + QStringLiteral("<ul>");
        auto link = [&html](const QString& href) { html += QStringLiteral("<li><a href=\"%1\">链接</a></li>").arg(href); };
        const std::vector<int> below = children(k);
        for (size_t i = 0; i < below.size(); ++i)
            link(i % 2 ? QStringLiteral("%1.html").arg(below[i]) : url(host, QStringLiteral("/s/%1.html").arg(below[i])));
        if (!below.empty())
            link(QStringLiteral("/s/%1.html#contact").arg(below.back()));
        if (depthOf(k) == kSiteDepth)
            for (int i = 0; i < 2; ++i)
                link(QStringLiteral("/d/%1.html").arg(2 * g + i));
        if (k > 0)
            link(QStringLiteral("../s/%1.html").arg(parent(k)));
        link(QStringLiteral("/s/0.html#top"));
        for (const int sibling : {k - 1, k + 1})
            if (sibling > 0 && sibling < perHost_ && depthOf(sibling) == depthOf(k))
                link(QStringLiteral("./%1.html").arg(sibling));
        link(QStringLiteral("#top"));
        for (const int other : {1, hosts_ / 2})
            if (const int h = (host + other) % hosts_; h != host)
                link(url(h, QStringLiteral("/x/%1.html").arg(g)));
        link(QStringLiteral("mailto:sales%1@example.com").arg(g));
        link(QStringLiteral("javascript:void(0)"));
        html += QStringLiteral("</ul></body></html>");
        return html.toUtf8();
    }

    void serve(test::PageServer& server, int host)
    {
        server.setGenerator([this, host](const QByteArray& path) -> std::optional<test::PageServer::Response> {
            int k = 0;
            if (std::sscanf(path.constData(), "/s/%d.html", &k) == 1 && k >= 0 && k < perHost_) {
                ++counts_[size_t(host * perHost_ + k)];
                return test::PageServer::Response{"200 OK", "text/html; charset=utf-8", page(host, k), {}, true};
            }
            QByteArray body;
            if (std::sscanf(path.constData(), "/d/%d.html", &k) == 1)
                ++deeper_;
            else if (std::sscanf(path.constData(), "/x/%d.html", &k) == 1)
                ++foreign_;
            else
                return std::nullopt;
            // Pages no crawl of the site should reach; one more link leads on.
            body = (pageText(k, paragraphs_) + QStringLiteral("<a href=\"%1.html\">更多</a></body></html>").arg(k + 1))
                       .toUtf8();
            return test::PageServer::Response{"200 OK", "text/html; charset=utf-8", body, {}, true};
        });
    }

    int hosts_;
    int perHost_;
    int paragraphs_;
    int branching_ = 2;
    quint16 port_ = 0;
    std::unique_ptr<QObject> holder_;
    std::vector<test::PageServer*> servers_;
    std::vector<std::atomic<int>> counts_;
    std::atomic<int> deeper_{0};
    std::atomic<int> foreign_{0};
};

} // namespace vq::bench
