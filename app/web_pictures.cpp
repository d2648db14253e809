#include "app/web_pictures.h"

#include "app/picture_text.h"
#include "app/qt_text.h"
#include "search/fax_extractor.h"

#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace vq {

namespace {

bool isMark(QChar c)
{
    return c.unicode() >= PictureReader::kFirstMark && c.unicode() < PictureReader::kFirstMark + PictureReader::kMaxPictures;
}

constexpr qint64 kMaxPictureBytes = 2 * 1024 * 1024;

} // namespace

QString withoutPictureMarks(QString text)
{
    text.removeIf([](QChar c) { return isMark(c); });
    return text;
}

PictureReader::PictureReader(QObject* parent) : QObject(parent)
{
    bound_.setSingleShot(true);
    bound_.setInterval(kPictureWaitMs);
    connect(&bound_, &QTimer::timeout, this, [this] {
        dropPending(); // what has not arrived is left out
        finish();
    });
}

PictureReader::~PictureReader()
{
    cancel();
}

void PictureReader::dropPending()
{
    for (auto& [index, reply] : pending_) {
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    pending_.clear();
}

void PictureReader::cancel()
{
    bound_.stop();
    dropPending();
    readings_.clear();
    done_ = nullptr;
}

void PictureReader::read(const QString& text, const QStringList& sources, const std::vector<AnsiString>& markers,
                         const QUrl& page, const QString& userAgent, std::function<void(QString, QStringList)> done)
{
    cancel();
    text_ = text;
    done_ = std::move(done);
    // The pictures that stand where a number would, line by line.
    std::vector<int> wanted;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        for (int p = 0; p < line.size(); ++p) {
            if (!isMark(line[p]))
                continue;
            const int index = line[p].unicode() - kFirstMark;
            if (index < sources.size() && pictureMayBeNumber(toAnsi(withoutPictureMarks(line.left(p))), markers))
                wanted.push_back(index);
        }
    }
    if (!net_ && !wanted.empty())
        net_ = new QNetworkAccessManager(this);
    for (int index : wanted) {
        const QUrl url(sources[index]);
        if (url.scheme() == QLatin1String("data")) {
            // data:image/png;base64,...
            const QByteArray s = url.toString(QUrl::FullyEncoded).toLatin1();
            const int comma = s.indexOf(',');
            const QByteArray bytes = comma < 0 ? QByteArray() : QByteArray::fromBase64(s.mid(comma + 1));
            readings_[index] = QString::fromStdString(numberInPicture(QImage::fromData(bytes)));
            continue;
        }
        if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
            continue;
        QNetworkRequest request(url);
        request.setRawHeader("Referer", page.toString(QUrl::FullyEncoded).toLatin1());
        if (!userAgent.isEmpty())
            request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setTransferTimeout(kPictureWaitMs);
        QNetworkReply* reply = net_->get(request);
        pending_[index] = reply;
        connect(reply, &QNetworkReply::finished, this, [this, reply, index] { arrived(reply, index); });
    }
    if (pending_.empty()) {
        finish();
        return;
    }
    bound_.start();
}

void PictureReader::arrived(QNetworkReply* reply, int index)
{
    pending_.erase(index);
    reply->deleteLater();
    if (reply->error() == QNetworkReply::NoError) {
        const QByteArray bytes = reply->read(kMaxPictureBytes);
        readings_[index] = QString::fromStdString(numberInPicture(QImage::fromData(bytes)));
    }
    if (pending_.empty())
        finish();
}

void PictureReader::finish()
{
    bound_.stop();
    QStringList lines = text_.split(QLatin1Char('\n'));
    QStringList withReadings;
    for (QString& line : lines) {
        bool read = false;
        QString out;
        for (QChar c : line) {
            if (!isMark(c)) {
                out += c;
                continue;
            }
            const auto it = readings_.find(c.unicode() - kFirstMark);
            if (it != readings_.end() && !it->second.isEmpty()) {
                out += it->second;
                read = true;
            }
        }
        line = out;
        if (read)
            withReadings << line;
    }
    readings_.clear();
    auto done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(lines.join(QLatin1Char('\n')), withReadings);
}

} // namespace vq
