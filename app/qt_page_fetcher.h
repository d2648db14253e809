// Pages over plain HTTP for the fast reading (Qt Network, through the proxy
// the pages use, with their user agent).
#pragma once

#include "ports/page_fetcher.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace vq {

class QtPageFetcher : public QObject, public PageFetcher {
public:
    // `net` is shared by the lanes and outlives them; `ownUserAgent` is the
    // agent the browser's pages send by default.
    QtPageFetcher(QNetworkAccessManager& net, QString ownUserAgent, QObject* parent = nullptr);
    ~QtPageFetcher() override;

    void fetch(const std::string& url, int timeoutMs, std::function<void(FetchedPage)> done) override;
    void cancel() override;
    void setUserAgent(const std::string& userAgent) override;

private:
    void end(FetchedPage page);

    QNetworkAccessManager& net_;
    QString ownUserAgent_;
    QString userAgent_;
    QPointer<QNetworkReply> reply_;
    QTimer* timer_;
    std::function<void(FetchedPage)> done_;
};

} // namespace vq
