// A small site for crawls that follow links, served on 127.0.0.1: a
// directory page, company pages one click down (one reached through a
// redirect), their contact pages two clicks down and one level deeper.
// Header-only.
#pragma once

#include "tests/support/page_server.h"

#include <QByteArray>
#include <QHash>

#include <functional>
#include <optional>

namespace vq::test {

// The site: a directory page linking to company pages (one reached through a
// redirect), each linking to its contact page, which links one level deeper.
// Links come with fragments, "." and "..", repeats, cycles, other schemes and
// a page on another site ("localhost" is a site of its own).
class Site {
public:
    explicit Site(int companies = 2, int delayMs = 0) : companies_(companies)
    {
        server_.setGenerator([this, delayMs](const QByteArray& path) -> std::optional<PageServer::Response> {
            if (path.startsWith("/favicon") || path == "/robots.txt")
                return std::nullopt; // not pages of the site (a site crawl asks for robots.txt once per origin)
            ++served_[path];
            if (onServed)
                onServed();
            PageServer::Response r;
            r.delayMs = delayMs;
            if (path == "/moved") {
                r.status = "302 Found";
                r.extraHeaders = "Location: " + url("/co/9") + "\r\n";
                return r;
            }
            std::optional<QByteArray> body = page(path);
            if (!body)
                return std::nullopt;
            r.body = "<html><head><meta charset=\"utf-8\"></head><body>" + *body + "</body></html>";
            return r;
        });
    }

    QByteArray url(const QByteArray& path, bool otherSite = false) const
    {
        return (otherSite ? "http://localhost:" : "http://127.0.0.1:") + QByteArray::number(server_.port()) + path;
    }
    QByteArray port() const { return ":" + QByteArray::number(server_.port()) + "/"; }
    QHash<QByteArray, int> servedAll() const { return served_; }
    std::function<void()> onServed;

private:
    static QByteArray link(const QByteArray& href) { return "<a href=\"" + href + "\">x</a> "; }
    static QByteArray fax(const QByteArray& number) { return "<p>传真：" + number + "</p>"; }

    std::optional<QByteArray> page(const QByteArray& path) const
    {
        if (path == "/dir") {
            QByteArray b = fax("010-10000000");
            for (int i = 1; i <= companies_; ++i)
                b += link("/co/" + QByteArray::number(i) + (i == 2 ? "#about" : ""));
            return b + link("/moved") + link("/co/./1/../2") + link("mailto:a@b.c") +
                   link("javascript:void(0)") + link(url("/other", true)) + link("/dir");
        }
        if (path.startsWith("/co/")) {
            const QByteArray rest = path.mid(4);
            const QByteArray n = rest.left(rest.indexOf('/') < 0 ? rest.size() : rest.indexOf('/'));
            if (rest == n)
                return fax("010-2000000" + n) + link(path + "/contact") + link("/dir");
            if (rest == n + "/contact")
                return fax("021-3000000" + n) + link(path + "/more") + link("/dir");
            if (rest == n + "/contact/more")
                return fax("021-4000000" + n);
        }
        if (path == "/other")
            return fax("0755-5000000") + link(url("/other2", true));
        if (path == "/hog") // grows past any memory cap the first time only
            return served_.value(path) == 1
                       ? QByteArray("<script>var a = []; while (true) a.push(new Float64Array(1 << 20).fill(1));</script>")
                       : fax("0571-60000000");
        return std::nullopt;
    }

    PageServer server_;
    int companies_;
    QHash<QByteArray, int> served_;
};

} // namespace vq::test
