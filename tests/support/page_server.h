// A small HTTP server on 127.0.0.1 (a free port), or on another loopback
// address and port, for tests and benchmarks that load pages in a real browser. Header-only; link Qt6::Network.
//
// Canned responses are served by path; a generator may answer further paths;
// anything else gets a 404. Paths under "/never" are accepted and never
// answered (a server that hangs).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QPointer>
#include <QTimer>

#include <algorithm>

#include <functional>
#include <optional>
#include <utility>

namespace vq::test {

class PageServer : public QObject {
public:
    struct Response {
        QByteArray status = "200 OK";
        QByteArray contentType = "text/html; charset=utf-8";
        QByteArray body;
        QByteArray extraHeaders;
        bool complete = true; // false: send the body, keep the connection open, never end
        int delayMs = 0;      // the answer waits this long
    };
    // Answers a path that has no canned response, or declines with nullopt.
    using Generator = std::function<std::optional<Response>(const QByteArray& path)>;

    // Listens at once. The server, its sockets and its state are children of
    // this object, so it may be moved to a thread of its own once its pages
    // are set (set(), setGenerator() and requested() are then off limits).
    explicit PageServer(QObject* parent = nullptr) : PageServer(QHostAddress(QHostAddress::LocalHost), 0, parent) {}
    // Port 0 takes a free one.
    PageServer(const QHostAddress& address, quint16 port, QObject* parent = nullptr)
        : QObject(parent), server_(new QTcpServer(this)), address_(address)
    {
        connect(server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_->nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { answer(s); });
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    pending_.remove(s);
                    s->deleteLater();
                });
            }
        });
        server_->listen(address_, port);
        port_ = server_->serverPort();
    }

    bool listening() const { return server_->isListening(); }
    // Stops accepting connections (they are refused) and starts again on the
    // same port.
    void refuse() { server_->close(); }
    bool accept() { return server_->isListening() || server_->listen(address_, port_); }
    quint16 port() const { return port_; }
    QString url(const QString& path) const
    {
        return QStringLiteral("http://%1:%2%3").arg(address_.toString()).arg(port()).arg(path);
    }
    void set(const QByteArray& path, Response r) { pages_[path] = std::move(r); }
    void setGenerator(Generator g) { generator_ = std::move(g); }
    bool requested(const QByteArray& path) const { return requested_.contains(path); }
    void clearRequested()
    {
        requested_.clear();
        agents_.clear();
    }
    // The User-Agent headers of the requests, in order.
    QList<QByteArray> userAgents() const { return agents_; }
    // The most requests of one host (the Host header without port) waiting for
    // their answer at the same time.
    int maxConcurrent(const QByteArray& host) const { return maxBusy_.value(host); }
    int requestCount(const QByteArray& path) const { return int(requested_.count(path)); }

private:
    void answer(QTcpSocket* s)
    {
        QByteArray& buf = pending_[s];
        buf += s->readAll();
        if (buf.indexOf("\r\n\r\n") < 0)
            return;
        const QByteArray path = buf.left(buf.indexOf("\r\n")).split(' ').value(1);
        QByteArray host;
        for (const QByteArray& line : buf.split('\n')) {
            if (line.toLower().startsWith("user-agent:"))
                agents_.append(line.mid(11).trimmed());
            if (line.toLower().startsWith("host:")) {
                host = line.mid(5).trimmed();
                if (!host.startsWith('[') && host.contains(':'))
                    host = host.left(host.indexOf(':'));
            }
        }
        pending_.remove(s);
        requested_.append(path);
        if (path.startsWith("/never"))
            return;
        Response r{"404 Not Found", "text/plain", "none", {}, true};
        if (const auto it = pages_.constFind(path); it != pages_.constEnd()) {
            r = *it;
        } else if (generator_) {
            if (std::optional<Response> made = generator_(path))
                r = std::move(*made);
        }
        if (r.delayMs > 0) {
            const int busy = ++busy_[host];
            maxBusy_[host] = std::max(maxBusy_.value(host), busy);
            QPointer<QTcpSocket> socket(s);
            QTimer::singleShot(r.delayMs, this, [this, socket, host, r] {
                --busy_[host];
                if (socket)
                    send(socket, r);
            });
            return;
        }
        send(s, r);
    }

    void send(QTcpSocket* s, const Response& r)
    {
        QByteArray head = "HTTP/1.1 " + r.status + "\r\nContent-Type: " + r.contentType + "\r\n" +
                          r.extraHeaders;
        if (r.complete)
            head += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\nConnection: close\r\n";
        s->write(head + "\r\n" + r.body);
        s->flush();
        if (r.complete)
            s->disconnectFromHost();
    }

    QTcpServer* server_;
    QHostAddress address_;
    quint16 port_ = 0;
    QHash<QByteArray, Response> pages_;
    Generator generator_;
    QHash<QTcpSocket*, QByteArray> pending_;
    QList<QByteArray> requested_;
    QList<QByteArray> agents_;
    QHash<QByteArray, int> busy_;
    QHash<QByteArray, int> maxBusy_;
};

} // namespace vq::test
