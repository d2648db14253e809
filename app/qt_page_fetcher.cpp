#include "app/qt_page_fetcher.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace vq {

namespace {
constexpr qint64 kMaxPageBytes = 16 * 1024 * 1024; // a bigger page is the browser's
} // namespace

QtPageFetcher::QtPageFetcher(QNetworkAccessManager& net, QString ownUserAgent, QObject* parent)
    : QObject(parent), net_(net), ownUserAgent_(std::move(ownUserAgent)), userAgent_(ownUserAgent_),
      timer_(new QTimer(this))
{
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] {
        FetchedPage p;
        p.ending = FetchedPage::Ending::TimedOut;
        end(std::move(p));
    });
}

QtPageFetcher::~QtPageFetcher()
{
    done_ = nullptr;
    cancel();
}

void QtPageFetcher::setUserAgent(const std::string& userAgent)
{
    userAgent_ = userAgent.empty() ? ownUserAgent_ : QString::fromStdString(userAgent);
}

void QtPageFetcher::cancel()
{
    timer_->stop();
    done_ = nullptr;
    if (QNetworkReply* r = reply_.data()) {
        reply_ = nullptr;
        r->disconnect(this);
        r->abort();
        r->deleteLater();
    }
}

void QtPageFetcher::end(FetchedPage page)
{
    std::function<void(FetchedPage)> done = std::move(done_);
    cancel();
    if (done)
        done(std::move(page));
}

void QtPageFetcher::fetch(const std::string& url, int timeoutMs, std::function<void(FetchedPage)> done)
{
    cancel();
    done_ = std::move(done);
    QNetworkRequest request(QUrl(QString::fromStdString(url)));
    if (!userAgent_.isEmpty())
        request.setHeader(QNetworkRequest::UserAgentHeader, userAgent_);
    request.setRawHeader("Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(20);
    QNetworkReply* reply = net_.get(request);
    reply_ = reply;
    timer_->start(std::max(1, timeoutMs));
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64 received, qint64) {
        if (received > kMaxPageBytes && reply == reply_.data())
            end(FetchedPage{}); // too big: Failed
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        if (reply != reply_.data())
            return;
        FetchedPage p;
        p.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // An HTTP error status is an answer; a transport error is not.
        const bool answered = p.httpStatus > 0 && (reply->error() == QNetworkReply::NoError ||
                                                   reply->error() >= QNetworkReply::ContentAccessDenied);
        p.ending = answered ? FetchedPage::Ending::Answered : FetchedPage::Ending::Failed;
        p.finalUrl = reply->url().toString(QUrl::FullyEncoded).toStdString();
        p.contentType = reply->rawHeader("Content-Type").toStdString();
        const QByteArray body = reply->readAll();
        p.body.assign(body.constData(), size_t(body.size()));
        end(std::move(p));
    });
}

} // namespace vq
