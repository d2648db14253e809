// Numbers drawn as pictures on a page: of the pictures the snapshot marked in
// the page's text (character U+E000 + i at picture i's place), those that
// stand where a number would after a fax marker are fetched over HTTP (the
// lanes load no pictures) and read, and their readings take their places in
// the text; the other marks go. Within a time bound: a picture that does not
// arrive in time is left out.
#pragma once

#include "text/ansi.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <map>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace vq {

class PictureReader : public QObject {
    Q_OBJECT
public:
    explicit PictureReader(QObject* parent = nullptr);
    ~PictureReader() override;

    // `text` with its marks, `sources` the pictures' addresses by index. Calls
    // `done` with the text as read and the lines that hold a reading (at
    // once when no picture stands where a number would). A new read() or
    // cancel() drops the one under way without calling it.
    void read(const QString& text, const QStringList& sources, const std::vector<AnsiString>& markers,
              const QUrl& page, const QString& userAgent, std::function<void(QString, QStringList)> done);
    void cancel();

    static constexpr char16_t kFirstMark = 0xE000;
    static constexpr int kMaxPictures = 64;
    static constexpr int kPictureWaitMs = 5000;

private:
    void arrived(QNetworkReply* reply, int index);
    void dropPending(); // the requests under way, given up
    void finish();

    QNetworkAccessManager* net_ = nullptr;
    std::map<int, QNetworkReply*> pending_;
    std::map<int, QString> readings_; // by picture index
    QString text_;
    QTimer bound_;
    std::function<void(QString, QStringList)> done_;
};

// The text with every picture mark removed.
QString withoutPictureMarks(QString text);

} // namespace vq
