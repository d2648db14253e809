// The frames of a page that its own script cannot reach (another origin: a
// subdomain of the site, or another site), read one after another in a page
// of their own on the same profile, each as a top-level document, within a
// time bound. Frames of the page's own origin are read by the snapshot
// script itself.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QVariant>

#include <functional>
#include <vector>

class QWebEnginePage;
class QWebEngineProfile;

namespace vq {

// A frame's document as the harvest reads it.
struct FrameSnapshot {
    QString href;
    QStringList links;
    QString text;
};

// A snapshot's result as a document (its "href", "links" and "text"); its
// frames ("frames": readable ones; "foreign": the addresses of those the
// script could not reach).
FrameSnapshot documentOf(const QVariantMap& snapshot);
std::vector<FrameSnapshot> framesOf(const QVariantMap& snapshot);
QStringList foreignFramesOf(const QVariantMap& snapshot);

class FrameReader : public QObject {
    Q_OBJECT
public:
    // The snapshot script the pages are read with, frames included.
    explicit FrameReader(QString snapshotScript, QObject* parent = nullptr);
    ~FrameReader() override;

    // Reads the frames at `urls` (and theirs, to `levels` more levels), at
    // most kMaxFrames in all, then calls `done` with what it read, in order.
    // A frame that does not load within kFrameLoadMs is left out. A new
    // read() or cancel() drops the one under way without calling it.
    void read(QWebEngineProfile* profile, const QStringList& urls, int levels,
              std::function<void(std::vector<FrameSnapshot>)> done);
    void cancel();

    static constexpr int kMaxFrames = 16;
    static constexpr int kFrameLoadMs = 5000;

private:
    struct Pending {
        QUrl url;
        int levels;
    };
    void next();
    void loaded(bool ok);
    void finish();

    QString script_;
    QPointer<QWebEnginePage> page_;
    QWebEngineProfile* profile_ = nullptr;
    std::vector<Pending> queue_;
    std::vector<FrameSnapshot> read_;
    int taken_ = 0;
    int levels_ = 0;
    quint64 generation_ = 0;
    QTimer bound_;
    std::function<void(std::vector<FrameSnapshot>)> done_;
};

} // namespace vq
