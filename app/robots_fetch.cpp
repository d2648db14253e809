#include "app/robots_fetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace vq {

namespace {
constexpr qint64 kMaxRobotsBytes = 512 * 1024; // what crawlers read of a robots.txt, at most
} // namespace

QtRobotsFetcher::QtRobotsFetcher(QObject* parent) : QObject(parent), net_(new QNetworkAccessManager(this)) {}

void QtRobotsFetcher::fetch(const std::string& robotsUrl, const std::string& userAgent,
                            std::function<void(int status, std::string body)> done)
{
    QNetworkRequest request(QUrl(QString::fromStdString(robotsUrl)));
    if (!userAgent.empty())
        request.setHeader(QNetworkRequest::UserAgentHeader, QString::fromStdString(userAgent));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = net_->get(request);
    connect(reply, &QNetworkReply::finished, this, [reply, done = std::move(done)] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->read(kMaxRobotsBytes);
        done(status, body.toStdString());
    });
}

} // namespace vq
