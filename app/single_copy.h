// One running copy of the program per program directory. Two copies would share
// and overwrite each other's files and show two tray icons, so the first copy
// holds a lock file in the program's directory and listens on a local socket
// named after that directory; a later copy finds the lock taken, asks the
// running copy to come forward, and ends.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <filesystem>
#include <memory>

class QLocalServer;

namespace vq {

class SingleCopy : public QObject {
    Q_OBJECT
public:
    explicit SingleCopy(const std::filesystem::path& programDir, QObject* parent = nullptr);
    ~SingleCopy() override;

    // Takes the directory for this process; false when another copy holds it.
    bool acquire();
    // From a copy that could not acquire: asks the running copy to come
    // forward. False when it could not be reached.
    bool bringRunningCopyForward(int timeoutMs = 2000);

    static constexpr const char* kLockFileName = "velqordornavik.lock";
    // The local socket's name for a program directory.
    static QString serverName(const std::filesystem::path& programDir);

signals:
    // Another copy was started for this directory.
    void anotherCopyStarted();

private:
    QString serverName_;
    QLockFile lock_;
    std::unique_ptr<QLocalServer> server_;
};

} // namespace vq
