#include "app/web_frames.h"

#include "app/web_browser.h"

#include <QAuthenticator>
#include <QWebEngineProfile>
#include <QWebEngineScript>

namespace vq {

FrameSnapshot documentOf(const QVariantMap& m)
{
    return {m.value(QStringLiteral("href")).toString(), m.value(QStringLiteral("links")).toStringList(),
            m.value(QStringLiteral("text")).toString()};
}

std::vector<FrameSnapshot> framesOf(const QVariantMap& snapshot)
{
    std::vector<FrameSnapshot> out;
    for (const QVariant& v : snapshot.value(QStringLiteral("frames")).toList())
        out.push_back(documentOf(v.toMap()));
    return out;
}

QStringList foreignFramesOf(const QVariantMap& snapshot)
{
    return snapshot.value(QStringLiteral("foreign")).toStringList();
}

FrameReader::FrameReader(QString snapshotScript, QObject* parent) : QObject(parent), script_(std::move(snapshotScript))
{
    bound_.setSingleShot(true);
    bound_.setInterval(kFrameLoadMs);
    connect(&bound_, &QTimer::timeout, this, [this] {
        if (page_)
            page_->triggerAction(QWebEnginePage::Stop);
        next(); // the frame is left out
    });
}

FrameReader::~FrameReader()
{
    delete page_;
}

void FrameReader::cancel()
{
    ++generation_;
    bound_.stop();
    queue_.clear();
    read_.clear();
    done_ = nullptr;
    if (page_)
        page_->triggerAction(QWebEnginePage::Stop);
}

void FrameReader::read(QWebEngineProfile* profile, const QStringList& urls, int levels,
                       std::function<void(std::vector<FrameSnapshot>)> done)
{
    cancel();
    if (page_ && profile_ != profile) {
        delete page_;
        page_ = nullptr;
    }
    profile_ = profile;
    if (!page_) {
        page_ = new QuietWebPage(profile);
        connect(page_, &QWebEnginePage::loadFinished, this, &FrameReader::loaded);
        connect(page_, &QWebEnginePage::proxyAuthenticationRequired, this,
                [](const QUrl&, QAuthenticator* a, const QString&) { answerProxyLogIn(a); }, Qt::DirectConnection);
    }
    for (const QString& u : urls)
        queue_.push_back({QUrl(u), levels});
    taken_ = 0;
    done_ = std::move(done);
    next();
}

void FrameReader::next()
{
    bound_.stop();
    while (!queue_.empty() && taken_ < kMaxFrames) {
        const Pending p = queue_.front();
        queue_.erase(queue_.begin());
        const QString scheme = p.url.scheme();
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
            continue; // about:blank and the like were read by the page's script, or hold nothing
        ++taken_;
        levels_ = p.levels;
        bound_.start();
        page_->load(p.url);
        return;
    }
    finish();
}

void FrameReader::loaded(bool)
{
    if (!bound_.isActive())
        return; // not a frame of ours, or one given up on
    bound_.stop();
    const quint64 generation = generation_;
    QPointer<FrameReader> self(this);
    page_->runJavaScript(script_, QWebEngineScript::ApplicationWorld, [self, generation](const QVariant& result) {
        if (!self || generation != self->generation_)
            return;
        const QVariantMap m = result.toMap();
        if (!m.isEmpty()) {
            self->read_.push_back(documentOf(m));
            for (FrameSnapshot& f : framesOf(m))
                self->read_.push_back(std::move(f));
            if (self->levels_ > 0)
                for (const QString& u : foreignFramesOf(m))
                    self->queue_.push_back({QUrl(u), self->levels_ - 1});
        }
        self->next();
    });
}

void FrameReader::finish()
{
    auto done = std::move(done_);
    done_ = nullptr;
    std::vector<FrameSnapshot> read = std::move(read_);
    read_.clear();
    if (page_)
        page_->load(QUrl(QStringLiteral("about:blank"))); // what it held goes
    if (done)
        done(std::move(read));
}

} // namespace vq
