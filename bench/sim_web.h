// A simulated slice of the web on this machine, for benchmarks: pages on many
// loopback hosts (127.0.1.1, 127.0.1.2, ...), each answer after a log-normal
// latency, pages of 20-60 KB with pictures, a stylesheet and a script, some in
// GBK, fax numbers drawn by scripts during and after the load, and the faults
// a crawl meets: answers that never come, 404 and 500, redirect chains,
// trickled bodies, huge pages and a host that refuses connections.
//
// Serve it on a thread of its own: every server and socket is a child of the
// SimWeb object. Header-only; link Qt6::Network.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace vq::bench {

struct SimWebOptions {
    int pages = 600;
    int hosts = 60;
    int medianLatencyMs = 300;
    double latencySigma = 0.6; // of the latency's logarithm
    unsigned seed = 1;
    bool scripts = true; // false: no script file and every number written in the page
};

class SimWeb : public QObject {
public:
    enum class Kind { Plain, Redirected, Trickled, Huge, Hung, NotFound, ServerError, Refused };
    enum class Drawn { InPage, AtDomReady, AfterLoad }; // how the fax line gets into the page

    struct Page {
        int host = 0;
        Kind kind = Kind::Plain;
        Drawn drawn = Drawn::InPage;
        bool gbk = false;
        int sizeKb = 20;
        QByteArray number;
        // Whether the number can be found at all (an answer with the page came).
        bool expected() const { return kind != Kind::Hung && kind != Kind::NotFound && kind != Kind::ServerError && kind != Kind::Refused; }
    };

    explicit SimWeb(const SimWebOptions& o) : options_(o), rng_(o.seed)
    {
        std::uniform_real_distribution<double> u(0, 1);
        std::uniform_int_distribution<int> size(20, 60);
        for (int i = 0; i < o.pages; ++i) {
            Page p;
            p.host = int(rng_() % unsigned(o.hosts));
            const double f = u(rng_);
            p.kind = f < 0.02 ? Kind::Hung : f < 0.035 ? Kind::NotFound : f < 0.05 ? Kind::ServerError
                   : f < 0.08 ? Kind::Redirected : f < 0.10 ? Kind::Trickled : f < 0.11 ? Kind::Huge : Kind::Plain;
            if (p.host == 0)
                p.kind = Kind::Refused; // nobody answers there
            const double d = u(rng_);
            p.drawn = !o.scripts ? Drawn::InPage : d < 0.10 ? Drawn::AtDomReady : d < 0.15 ? Drawn::AfterLoad : Drawn::InPage;
            p.gbk = u(rng_) < 0.35;
            p.sizeKb = size(rng_);
            p.number = "0519-" + QByteArray::number(20000000 + i);
            pages_.push_back(p);
        }
        for (int h = 1; h < o.hosts; ++h) {
            auto* server = new QTcpServer(this);
            connect(server, &QTcpServer::newConnection, this, [this, server] { accept(server); });
            if (server->listen(QHostAddress(hostAddress(h)), 0))
                ports_.push_back(server->serverPort());
            else
                ports_.push_back(0);
        }
        // Host 0's port: taken, then closed, so that connections are refused.
        QTcpServer probe;
        probe.listen(QHostAddress(hostAddress(0)), 0);
        refusedPort_ = probe.serverPort();
        probe.close();
    }

    bool listening() const
    {
        for (quint16 p : ports_)
            if (p == 0)
                return false;
        return true;
    }
    const std::vector<Page>& pages() const { return pages_; }
    static QString hostAddress(int host) { return QStringLiteral("127.0.1.%1").arg(host + 1); }
    QByteArray url(int page) const
    {
        const Page& p = pages_.at(size_t(page));
        const quint16 port = p.host == 0 ? refusedPort_ : ports_.at(size_t(p.host - 1));
        return "http://" + hostAddress(p.host).toLatin1() + ":" + QByteArray::number(port) + "/p/" +
               QByteArray::number(page) + ".html";
    }

private:
    struct Answer {
        QByteArray head;
        QByteArray body;
        bool never = false;
        int trickleChunks = 0; // > 0: the body in this many parts, 300 ms apart
    };

    void accept(QTcpServer* server)
    {
        while (QTcpSocket* s = server->nextPendingConnection()) {
            s->setParent(this);
            connect(s, &QTcpSocket::readyRead, this, [this, s] { request(s); });
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    }

    int latencyMs()
    {
        std::normal_distribution<double> n(0, options_.latencySigma);
        return int(std::min(5000.0, options_.medianLatencyMs * std::exp(n(rng_))));
    }

    void request(QTcpSocket* s)
    {
        QByteArray& buf = pending_[s];
        buf += s->readAll();
        if (buf.indexOf("\r\n\r\n") < 0)
            return;
        const QByteArray path = buf.left(buf.indexOf("\r\n")).split(' ').value(1);
        pending_.remove(s);
        const Answer a = answer(path);
        if (a.never)
            return; // the connection stays open, silent
        QPointer<QTcpSocket> socket(s);
        QTimer::singleShot(latencyMs(), this, [this, socket, a] {
            if (!socket)
                return;
            socket->write(a.head);
            if (a.trickleChunks <= 0) {
                socket->write(a.body);
                socket->disconnectFromHost();
                return;
            }
            trickle(socket, a.body, a.trickleChunks);
        });
    }

    void trickle(QPointer<QTcpSocket> socket, QByteArray rest, int chunks)
    {
        if (!socket)
            return;
        const qsizetype part = chunks <= 1 ? rest.size() : rest.size() / chunks;
        socket->write(rest.left(part));
        rest = rest.mid(part);
        if (rest.isEmpty()) {
            socket->disconnectFromHost();
            return;
        }
        QTimer::singleShot(300, this, [this, socket, rest, chunks] { trickle(socket, rest, chunks - 1); });
    }

    static QByteArray head(const QByteArray& status, const QByteArray& type, qsizetype length,
                           const QByteArray& extra = {})
    {
        return "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " +
               QByteArray::number(length) + "\r\nConnection: close\r\n" + extra + "\r\n";
    }

    Answer answer(const QByteArray& path)
    {
        Answer a;
        const QList<QByteArray> parts = path.split('/');
        const QByteArray kind = parts.value(1);
        const int n = parts.value(2).split('.').value(0).split('-').value(0).toInt();
        if (kind == "i") { // a picture
            a.body = QByteArray(8 * 1024 + int(rng_() % (24 * 1024)), '\x5a');
            a.head = head("200 OK", "image/png", a.body.size());
            return a;
        }
        if (kind == "c") {
            a.body = "body{font:14px serif;margin:1em} .n{color:#333} p{line-height:1.4}";
            a.head = head("200 OK", "text/css", a.body.size());
            return a;
        }
        if (kind == "j") {
            a.body = "var t = 0; for (var i = 0; i < 20000; ++i) t += i; document.documentElement.dataset.t = t;";
            a.head = head("200 OK", "text/javascript", a.body.size());
            return a;
        }
        if (n < 0 || n >= int(pages_.size())) {
            a.body = "none";
            a.head = head("404 Not Found", "text/plain", a.body.size());
            return a;
        }
        const Page& p = pages_[size_t(n)];
        if (kind == "p" || kind == "r") {
            const int step = kind == "r" ? parts.value(3).toInt() : 0;
            switch (p.kind) {
            case Kind::Hung:
                a.never = true;
                return a;
            case Kind::NotFound:
                a.body = "<html><body><h1>404</h1><p>Not here.</p></body></html>";
                a.head = head("404 Not Found", "text/html", a.body.size());
                return a;
            case Kind::ServerError:
                a.body = "<html><body><h1>500</h1><p>Server error.</p></body></html>";
                a.head = head("500 Internal Server Error", "text/html", a.body.size());
                return a;
            case Kind::Redirected:
                if (step < 2) {
                    const QByteArray next = step == 0 ? "/r/" + QByteArray::number(n) + "/1"
                                                      : "/r/" + QByteArray::number(n) + "/2";
                    const QByteArray where = step == 1 ? "/q/" + QByteArray::number(n) + ".html" : next;
                    a.head = head("302 Found", "text/html", 0, "Location: " + where + "\r\n");
                    return a;
                }
                break;
            default:
                break;
            }
        }
        a.body = page(n);
        a.head = head("200 OK", p.gbk ? "text/html; charset=gbk" : "text/html; charset=utf-8", a.body.size());
        if (p.kind == Kind::Trickled)
            a.trickleChunks = 10;
        return a;
    }

    QByteArray page(int n)
    {
        const Page& p = pages_[size_t(n)];
        static const char* const words[] = {"公司", "产品", "服务", "联系", "我们", "地址", "电话", "欢迎",
                                            "质量", "客户", "市场", "技术", "news", "about", "index", "shop"};
        const QString script = options_.scripts ? QStringLiteral("<script src=\"/j/%1.js\"></script>").arg(n) : QString();
        QString html = QStringLiteral("<html><head><meta charset=\"%1\"><title>页面 %2</title>"
                                      "<link rel=\"stylesheet\" href=\"/c/%2.css\">%3"
                                      "</head><body><h1>企业 %2</h1>")
                           .arg(p.gbk ? "gbk" : "utf-8")
                           .arg(n)
                           .arg(script);
        const QString fax = QStringLiteral("传真：") + QString::fromLatin1(p.number);
        if (p.drawn == Drawn::InPage)
            html += "<p class=\"n\">" + fax + "</p>";
        else
            html += QStringLiteral("<p class=\"n\" id=\"fax\"></p><script>(function () {"
                                   "var draw = function () { document.getElementById('fax').textContent = '传真：' + '%1' + '%2'; };")
                        .arg(QString::fromLatin1(p.number.left(5)), QString::fromLatin1(p.number.mid(5))) +
                    (p.drawn == Drawn::AtDomReady
                         ? QStringLiteral("document.addEventListener('DOMContentLoaded', draw);")
                         : QStringLiteral("addEventListener('load', function () { setTimeout(draw, 1000); });")) +
                    "})();</script>";
        for (int k = 0; k < 8; ++k)
            html += QStringLiteral("<img src=\"/i/%1-%2.png\" width=\"120\" height=\"80\">").arg(n).arg(k);
        for (int k = 0; k < 20; ++k)
            html += QStringLiteral("<a href=\"/p/%1.html\">链接 %2</a> ").arg((n + k * 7) % pages_.size()).arg(k);
        const int target = (p.kind == Kind::Huge ? 3 * 1024 : p.sizeKb) * 1024;
        QString filler;
        unsigned x = unsigned(n) * 2654435761u;
        while (filler.size() * 2 < target) { // about two bytes a character either way
            filler += "<p>";
            for (int w = 0; w < 40; ++w) {
                x = x * 1103515245u + 12345u;
                filler += QString::fromUtf8(words[(x >> 16) % 16]);
            }
            filler += "</p>";
        }
        html += filler + "</body></html>";
        if (!p.gbk)
            return html.toUtf8();
        QStringEncoder gbk("GBK");
        return gbk.encode(html);
    }

    SimWebOptions options_;
    std::mt19937 rng_;
    std::vector<Page> pages_;
    std::vector<quint16> ports_;
    quint16 refusedPort_ = 0;
    QHash<QTcpSocket*, QByteArray> pending_;
};

} // namespace vq::bench
