// What the Qt side needs of the operating system beyond Qt: one POSIX and one
// Windows implementation (os_posix.cpp, os_win.cpp), chosen by the build.
#pragma once

#include <QObject>
#include <QString>

#include <filesystem>

namespace vq::os {

// A path as the file system names it, and back: the file-name bytes here
// (QFile's encoding), UTF-16 on Windows.
std::filesystem::path toNativePath(const QString& path);
QString fromNativePath(const std::filesystem::path& path);

// Whether the program runs with the highest rights (root); WebEngine's
// sandbox then has to be switched off.
bool runningAsAdministrator();
// Ends a process at once (a renderer left in a hung page or over its memory cap).
void killProcess(qint64 pid);
// The resident memory of a process in bytes; 0 when unknown.
qint64 residentBytes(qint64 pid);
// Milliseconds since the operating system started this process (-1 when unknown).
long long msSinceProcessStart();
// Whether standard error goes to a terminal (a progress line is redrawn in place).
bool stderrIsTerminal();

// Requests from outside to stop: SIGINT and SIGTERM here; Ctrl-C, Ctrl-Break
// and closing the console on Windows. Each is handed to the event loop as
// requested(); a third one ends the process at once with exitCode(), for an
// event loop that no longer answers. One instance at a time.
class StopRequests : public QObject {
    Q_OBJECT
public:
    explicit StopRequests(QObject* parent = nullptr);
    ~StopRequests() override;

    int count() const;    // requests so far
    int exitCode() const; // 130 for an interrupt, 143 for a termination

signals:
    void requested(int count);

private:
    struct Impl;
    Impl* impl_;
};

} // namespace vq::os
