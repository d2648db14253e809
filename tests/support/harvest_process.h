// vqharvest as a child process of a test: its environment (offscreen, a home
// of its own), starting it, and waiting for it while the test's event loop
// keeps serving pages. Header-only; needs VQHARVEST_PATH.
#pragma once

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

namespace vq::test {

class HarvestProcess {
public:
    HarvestProcess()
    {
        QDir(home_.path()).mkpath("run");
        QFile::setPermissions(home_.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    static QString program() { return QStringLiteral(VQHARVEST_PATH); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home_.path());
        env.insert("XDG_DATA_HOME", home_.filePath("data"));
        env.insert("XDG_CACHE_HOME", home_.filePath("cache"));
        env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", home_.filePath("run"));
        env.insert("LC_ALL", "C.UTF-8");
        return env;
    }

    void start(QProcess& p, const QStringList& args) const
    {
        p.setProcessEnvironment(environment());
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(program(), args);
    }

    // Waits in an event loop; false (and the child killed) when it does not
    // end in time or crashes.
    static bool waitForExit(QProcess& p, int timeoutMs)
    {
        if (p.state() != QProcess::NotRunning) {
            QEventLoop loop;
            QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
            QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
            QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
            loop.exec();
        }
        if (p.state() == QProcess::NotRunning)
            return p.exitStatus() == QProcess::NormalExit;
        p.kill();
        p.waitForFinished(5000);
        return false;
    }

private:
    QTemporaryDir home_;
};

} // namespace vq::test
