#include "app/single_copy.h"

#include "app/qt_text.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace vq {

namespace {

constexpr char kComeForward = 'S';

} // namespace

QString SingleCopy::serverName(const std::filesystem::path& programDir)
{
    std::error_code ec;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(programDir, ec);
    if (ec)
        canonical = programDir;
    // The path's own encoding, hashed as bytes: UTF-16 on Windows, where
    // string() would go through the ANSI code page and throw for a folder
    // whose name it cannot spell; the locale's bytes elsewhere.
    const auto& native = canonical.native();
    const QByteArray bytes(reinterpret_cast<const char*>(native.data()),
                           static_cast<qsizetype>(native.size() * sizeof(native[0])));
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
    return QStringLiteral("velqordornavik-") + QString::fromLatin1(hash.toHex().left(16));
}

SingleCopy::SingleCopy(const std::filesystem::path& programDir, QObject* parent)
    : QObject(parent),
      serverName_(serverName(programDir)),
      lock_(pathToQString(programDir / kLockFileName))
{
    // A copy that runs for days keeps its lock; only a lock whose process is
    // gone is taken over.
    lock_.setStaleLockTime(0);
}

SingleCopy::~SingleCopy() = default;

bool SingleCopy::acquire()
{
    if (!lock_.tryLock(0))
        return false;
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a copy that crashed is in the way; the lock says no copy
    // is running now.
    QLocalServer::removeServer(serverName_);
    server_->listen(serverName_); // without it the lock still keeps a second copy out
    connect(server_.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains(kComeForward))
                    emit anotherCopyStarted();
            });
        }
    });
    return true;
}

bool SingleCopy::bringRunningCopyForward(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(QByteArray(1, kComeForward));
    const bool sent = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return sent;
}

} // namespace vq
