// robots.txt over plain HTTP (Qt Network, through the proxy the pages use),
// with the crawl's user agent, within the page bound.
#pragma once

#include "search/robots.h"

#include <QObject>

#include <string>

class QNetworkAccessManager;

namespace vq {

class QtRobotsFetcher : public QObject, public RobotsFetcher {
    Q_OBJECT
public:
    explicit QtRobotsFetcher(QObject* parent = nullptr);
    void fetch(const std::string& robotsUrl, const std::string& userAgent,
               std::function<void(int status, std::string body)> done) override;

    int timeoutMs = 30000; // the page bound

private:
    QNetworkAccessManager* net_;
};

} // namespace vq
